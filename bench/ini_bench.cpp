// The INI store against QSettings (IniFormat) on the same 10,000-key file in 100 sections:
// loading, 100,000 look-ups, and saving.
#include <benchmark/benchmark.h>

#include <QSettings>
#include <QString>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "TempEnvironment.h"
#include "hs_reg.h"

namespace {

constexpr int kSections = 100;
constexpr int kKeysPerSection = 100;
constexpr int kLookups = 100000;

struct Fixture {
    testsupport::TempFolder folder;
    std::string file = (folder.path() / "SOLVEMAR.INI").string();
    std::vector<std::pair<std::string, std::string>> lookups;
    std::vector<QString> qtLookups;

    Fixture() {
        std::string text;
        for (int s = 0; s < kSections; ++s) {
            text += "[SECTION" + std::to_string(s) + "]\r\n";
            for (int k = 0; k < kKeysPerSection; ++k) {
                text += "key" + std::to_string(k) + "=value of key " + std::to_string(k) + " in section " +
                        std::to_string(s) + "\r\n";
            }
            text += "\r\n";
        }
        testsupport::WriteFileBytes(file, text);
        std::mt19937 random(42);
        for (int i = 0; i < kLookups; ++i) {
            const std::string section = "SECTION" + std::to_string(random() % kSections);
            const std::string key = "key" + std::to_string(random() % kKeysPerSection);
            lookups.emplace_back(section, key);
            qtLookups.push_back(QString::fromStdString(section + "/" + key));
        }
    }
};

Fixture& fixture() {
    static Fixture f;
    return f;
}

// Each load reads a fresh copy: QSettings keeps parsed files in a cache keyed by name and would
// otherwise not read the file again.
std::string freshCopy(benchmark::State& state) {
    static int n = 0;
    state.PauseTiming();
    const std::string copy = (fixture().folder.path() / ("copy" + std::to_string(++n) + ".ini")).string();
    std::filesystem::copy_file(fixture().file, copy);
    state.ResumeTiming();
    return copy;
}

void BM_Ini_Load(benchmark::State& state) {
    for (auto _ : state) {
        hs_reg::setIniFileName(freshCopy(state));
        hs_reg::loadini();
        benchmark::DoNotOptimize(hs_reg::readstr("key1"));
    }
    hs_reg::freeini();
}
BENCHMARK(BM_Ini_Load)->Unit(benchmark::kMillisecond)->Iterations(200);

void BM_QSettings_Load(benchmark::State& state) {
    for (auto _ : state) {
        QSettings settings(QString::fromStdString(freshCopy(state)), QSettings::IniFormat);
        benchmark::DoNotOptimize(settings.value("SECTION0/key1"));
    }
}
BENCHMARK(BM_QSettings_Load)->Unit(benchmark::kMillisecond)->Iterations(200);

void BM_Ini_Lookups100k(benchmark::State& state) {
    hs_reg::setIniFileName(fixture().file);
    hs_reg::loadini();
    for (auto _ : state) {
        for (const auto& [section, key] : fixture().lookups) {
            hs_reg::setsection(section);
            benchmark::DoNotOptimize(hs_reg::readstr(key));
        }
    }
    hs_reg::freeini();
    hs_reg::resetsection();
}
BENCHMARK(BM_Ini_Lookups100k)->Unit(benchmark::kMillisecond);

void BM_QSettings_Lookups100k(benchmark::State& state) {
    QSettings settings(QString::fromStdString(fixture().file), QSettings::IniFormat);
    for (auto _ : state) {
        for (const QString& key : fixture().qtLookups) {
            benchmark::DoNotOptimize(settings.value(key).toString());
        }
    }
}
BENCHMARK(BM_QSettings_Lookups100k)->Unit(benchmark::kMillisecond);

// One changed value, then the whole file written out (both write a new file and rename it).
void BM_Ini_Save(benchmark::State& state) {
    hs_reg::setIniFileName(fixture().file);
    hs_reg::loadini();
    hs_reg::setsection("SECTION5");
    int n = 0;
    for (auto _ : state) {
        hs_reg::writeint("key5", ++n);
        benchmark::DoNotOptimize(hs_reg::saveIniFile());
    }
    hs_reg::freeini();
    hs_reg::resetsection();
}
BENCHMARK(BM_Ini_Save)->Unit(benchmark::kMillisecond);

void BM_QSettings_Save(benchmark::State& state) {
    QSettings settings(QString::fromStdString(fixture().file), QSettings::IniFormat);
    settings.value("SECTION0/key1");
    int n = 0;
    for (auto _ : state) {
        settings.setValue("SECTION5/key5", ++n);
        settings.sync();
    }
}
BENCHMARK(BM_QSettings_Save)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
