#include <regex>

#include "SupportFixture.h"

namespace supporttest {

std::string MessageOf(const std::string& line) {
    // Under the C locale: 2026-12-08, and 20:56:09 unless the time is midnight.
    static const std::regex stamp(R"(^\d{4}-\d\d-\d\d( \d\d:\d\d:\d\d)? (.*)$)");
    std::smatch match;
    if (!std::regex_match(line, match, stamp)) {
        return "<bad stamp>" + line;
    }
    return match[2].str();
}

} // namespace supporttest
