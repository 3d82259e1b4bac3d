// Emptying a tree of 20,000 files in 200 folders, against `rm -rf` of the same tree in the same run.
// The tree lies under TMPDIR; on a tmpfs (TMPDIR=/dev/shm) disk write-back does not blur the figures.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include <fcntl.h>
#include <unistd.h>

#include "TempEnvironment.h"
#include "hs_reg.h"
#include "textfil.h"

namespace {

namespace fs = std::filesystem;

constexpr int kFolders = 200;
constexpr int kFilesPerFolder = 100;

void buildTree(const fs::path& top) {
    for (int f = 0; f < kFolders; ++f) {
        const fs::path folder = top / ("folder" + std::to_string(f));
        fs::create_directories(folder);
        for (int i = 0; i < kFilesPerFolder; ++i) {
            const std::string name = (folder / ("file" + std::to_string(i) + ".tmp")).string();
            const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (fd >= 0) {
                [[maybe_unused]] const auto n = ::write(fd, "x", 1);
                ::close(fd);
            }
        }
    }
}

void BM_Cleanfolder(benchmark::State& state) {
    testsupport::TempFolder temp;
    const fs::path top = temp.path() / "tmp";
    textfil::SetLogToFile(false);
    for (auto _ : state) {
        state.PauseTiming();
        buildTree(top);
        state.ResumeTiming();
        hs_reg::cleanfolder(top.string());
    }
}
BENCHMARK(BM_Cleanfolder)->Unit(benchmark::kMillisecond)->Iterations(5)->Repetitions(3);

void BM_RmRf(benchmark::State& state) {
    testsupport::TempFolder temp;
    const fs::path top = temp.path() / "tmp";
    const std::string command = "rm -rf '" + top.string() + "'";
    for (auto _ : state) {
        state.PauseTiming();
        buildTree(top);
        state.ResumeTiming();
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("rm -rf failed");
        }
    }
}
BENCHMARK(BM_RmRf)->Unit(benchmark::kMillisecond)->Iterations(5)->Repetitions(3);

} // namespace

BENCHMARK_MAIN();
