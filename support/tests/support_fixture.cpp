#include <regex>

#include "SupportFixture.h"

namespace supporttest {

std::string MessageOf(const std::string& line) {
    // Under the C locale: %m/%d/%y, and %H:%M:%S unless the time is midnight.
    static const std::regex stamp(R"(^(\d\d)/(\d\d)/\d\d( \d\d:\d\d:\d\d)? (.*)$)");
    std::smatch match;
    if (!std::regex_match(line, match, stamp)) {
        return "<bad stamp>" + line;
    }
    return match[4].str();
}

} // namespace supporttest
