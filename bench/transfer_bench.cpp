// Download throughput through the transfer window against the bare FTP client, on the same server
// in the same run: repainting the progress must not slow the transfer down.
//
// Run through bench/transfer-bench.sh, which starts a local vsftpd with a 1 GiB file and sets:
//   TRANSFER_BENCH_PORT     the server's port on 127.0.0.1 (anonymous login)
//   TRANSFER_BENCH_FILE     the remote file's name
//   TRANSFER_BENCH_PROGRAM  the solvemar-ftp program
//   TRANSFER_BENCH_FOLDER   a scratch folder for the downloads
// Each iteration runs the three ways once, interleaved in a rotating order; the counters are medians in MB/s and the
// ratios against the bare client.
#include "NetFTP.h"
#include "TempEnvironment.h"
#include "ftpunit.h"
#include "hs_reg.h"
#include "textfil.h"

#include <QApplication>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

std::string env(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? std::string() : value;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n == 0 ? 0.0 : (n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2);
}

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

struct Setup {
    int port = 0;
    std::string remote;
    std::string program;
    fs::path folder;
};

double bareClient(const Setup& s, std::int64_t& bytes) {
    const fs::path local = s.folder / "bare" / s.remote;
    fs::create_directories(local.parent_path());
    const auto start = Clock::now();
    net::TNetFTP client;
    client.Host = "127.0.0.1";
    client.Port = s.port;
    client.User = std::string(ftpunit::kGuestUser);
    client.Password = std::string(ftpunit::kGuestPassword);
    client.OpenSession(true);
    client.DownloadFile(s.remote, local.string(), true);
    client.CloseConnection();
    const double seconds = secondsSince(start);
    bytes = static_cast<std::int64_t>(fs::file_size(local));
    fs::remove(local);
    return seconds;
}

void writeIni(const fs::path& file, int port) {
    std::ofstream(file) << "[SERVER-SETTING-FTP]\nserver=127.0.0.1\nport=" << port
                        << "\nusername=anonymous\npassword=zcgvspkuln2\n";
}

double windowInProcess(const Setup& s, ftpunit::TFTPform& form) {
    const fs::path folder = s.folder / "window";
    fs::create_directories(folder);
    const auto start = Clock::now();
    form.HentFil((folder / s.remote).string());
    const double seconds = secondsSince(start);
    if (ftpunit::LastOutcome() != ftpunit::Outcome::Completed) {
        return -1;
    }
    fs::remove_all(folder);
    return seconds;
}

double program(const Setup& s) {
    const fs::path folder = s.folder / "program";
    fs::create_directories(folder);
    writeIni(folder / "SOLVEMAR.INI", s.port);
    testsupport::SpawnOptions options;
    options.workingFolder = folder;
    const auto start = Clock::now();
    const int pid = testsupport::SpawnProcess({s.program, "hent", (folder / s.remote).string()}, options);
    const int status = pid < 0 ? -1 : testsupport::WaitForExit(pid);
    const double seconds = secondsSince(start);
    fs::remove_all(folder);
    return status == 0 ? seconds : -1;
}

void BM_DownloadThroughWindow(benchmark::State& state) {
    Setup s;
    s.port = std::atoi(env("TRANSFER_BENCH_PORT").c_str());
    s.remote = env("TRANSFER_BENCH_FILE");
    s.program = env("TRANSFER_BENCH_PROGRAM");
    s.folder = env("TRANSFER_BENCH_FOLDER");
    if (s.port <= 0 || s.remote.empty() || s.program.empty() || s.folder.empty()) {
        state.SkipWithError("run through bench/transfer-bench.sh (needs a local FTP server)");
        return;
    }

    // The in-process window works from its own INI store, with the log off as by default.
    fs::create_directories(s.folder);
    writeIni(s.folder / "SOLVEMAR.INI", s.port);
    hs_reg::setIniFileName((s.folder / "SOLVEMAR.INI").string());
    hs_reg::loadini();
    ftpunit::TFTPform form;

    std::vector<double> bare, window, host;
    std::int64_t bytes = 0;
    int round = 0;
    for (auto _ : state) {
        // Each way takes every place in the order in turn, so none always follows the same one.
        for (int i = 0; i < 3; ++i) {
            switch ((round + i) % 3) {
            case 0:
                bare.push_back(bareClient(s, bytes));
                break;
            case 1:
                window.push_back(windowInProcess(s, form));
                break;
            default:
                host.push_back(program(s));
                break;
            }
        }
        ++round;
        if (window.back() < 0 || host.back() < 0) {
            state.SkipWithError("a download through the window failed");
            break;
        }
        state.SetIterationTime(bare.back() + window.back() + host.back());
    }
    const double mb = double(bytes) / 1e6;
    const double bareRate = mb / median(bare);
    state.counters["bare_MBps"] = bareRate;
    state.counters["window_MBps"] = mb / median(window);
    state.counters["program_MBps"] = mb / median(host);
    state.counters["window_ratio"] = (mb / median(window)) / bareRate;
    state.counters["program_ratio"] = (mb / median(host)) / bareRate;
    state.counters["bytes"] = double(bytes);
    hs_reg::resetIni();
}

BENCHMARK(BM_DownloadThroughWindow)->Iterations(9)->UseManualTime()->Unit(benchmark::kSecond);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
