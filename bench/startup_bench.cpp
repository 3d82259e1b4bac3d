// Start-up (command line to the first log lines) with the folder tree in place and logging on.
#include <benchmark/benchmark.h>

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

} // namespace

BENCHMARK_MAIN();
