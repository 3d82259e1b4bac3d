// Start-up (command line to the first log lines) with the folder tree in place and logging on, and
// the time stamp of one log line.
#include <benchmark/benchmark.h>

#include <clocale>
#include <ctime>

#include "TempEnvironment.h"
#include "hs_reg.h"
#include "textfil.h"

namespace {

void resetSupport() {
    textfil::ResetLogState();
    hs_reg::resetIni();
    hs_reg::resetSystemInfo();
}

void BM_Startup(benchmark::State& state) {
    testsupport::TempEnvironment env;
    testsupport::WriteFileBytes(env.work() / "SOLVEMAR.INI", "[STANDARD]\r\nLogToFile=1\r\nVerboseLogging=1\r\n");
    hs_reg::Startup({});
    hs_reg::Shutdown();
    for (auto _ : state) {
        resetSupport();
        hs_reg::Startup({});
        state.PauseTiming();
        hs_reg::Shutdown();
        state.ResumeTiming();
    }
    resetSupport();
}
BENCHMARK(BM_Startup)->Unit(benchmark::kMicrosecond)->Repetitions(10)->ReportAggregatesOnly(true);

// The clock read, the local time and its text in the patterns of the LC_TIME locale the environment
// selects (run with LC_TIME=nb_NO.UTF-8, say), as every log line does.
void BM_LogTimeStamp(benchmark::State& state) {
    const std::string saved = std::setlocale(LC_TIME, nullptr);
    std::setlocale(LC_TIME, "");
    state.SetLabel(std::setlocale(LC_TIME, nullptr));
    for (auto _ : state) {
        const std::time_t now = std::time(nullptr);
        std::tm local{};
        localtime_r(&now, &local);
        benchmark::DoNotOptimize(textfil::TimeStamp(local));
    }
    std::setlocale(LC_TIME, saved.c_str());
}
BENCHMARK(BM_LogTimeStamp)->Unit(benchmark::kNanosecond);

} // namespace

BENCHMARK_MAIN();
