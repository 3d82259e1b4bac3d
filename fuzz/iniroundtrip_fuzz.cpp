// Any text loaded as SOLVEMAR.INI saves to a text that loads back to the same store: saving that
// again gives the same bytes, and every key reads the same value through the store's operations.
#include "hs_reg.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace {

// Section and key names of a saved text, in order, with their values as the store reads them.
std::vector<std::pair<std::string, std::string>> readEveryKey(const std::string& saved) {
    std::vector<std::pair<std::string, std::string>> values;
    std::string section;
    // A byte-order mark written back in front of the first section is not part of its line.
    std::size_t start = saved.rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : 0;
    while (start < saved.size()) {
        std::size_t end = saved.find("\r\n", start);
        if (end == std::string::npos)
            end = saved.size();
        const std::string line = saved.substr(start, end - start);
        start = end + 2;
        if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
            section = line.substr(1, line.size() - 2);
            continue;
        }
        const auto equals = line.find('=');
        if (line.empty() || equals == std::string::npos)
            continue;
        hs_reg::setsection(section);
        const std::string key = line.substr(0, equals);
        values.emplace_back(section + "/" + key, hs_reg::readstr(key));
    }
    hs_reg::resetsection();
    return values;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    hs_reg::loadIniText(std::string(reinterpret_cast<const char*>(data), size));
    const std::string first = hs_reg::iniText();
    const auto firstValues = readEveryKey(first);

    hs_reg::loadIniText(first);
    const std::string second = hs_reg::iniText();
    const auto secondValues = readEveryKey(second);

    if (first != second || firstValues != secondValues) {
        std::fprintf(stderr, "INI text does not load back to the same store:\n--- saved\n%s--- saved again\n%s",
                     first.c_str(), second.c_str());
        std::abort();
    }
    hs_reg::freeini();
    return 0;
}
