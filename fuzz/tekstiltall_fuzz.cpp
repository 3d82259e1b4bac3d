// Any bytes read as a number: never a crash, and the answer is the reference reading of the
// cleaned text (blanks gone, comma as point, only + - . digits and capital E kept).
#include "Felles.h"

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <regex>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The reference's regex recurses per character; texts of this system are short anyway.
    if (size > 512)
        return 0;
    const std::string input(reinterpret_cast<const char*>(data), size);
    const double got = felles::TekstTilTall(input);

    std::string cleaned;
    for (char c : input) {
        if (c == ' ')
            continue;
        if (c == ',')
            c = '.';
        if (c == '+' || c == '-' || c == '.' || c == 'E' || (c >= '0' && c <= '9'))
            cleaned += c;
    }
    static const std::regex number(R"([+-]?([0-9]+\.?[0-9]*|\.[0-9]+)(E[+-]?[0-9]+)?)");
    double expected = 0;
    if (std::regex_match(cleaned, number)) {
        errno = 0;
        expected = std::strtod(cleaned.c_str(), nullptr);
        if (errno == ERANGE && std::isinf(expected))
            expected = 0;
    }
    const bool same = got == expected && std::signbit(got) == std::signbit(expected);
    if (!same && !(std::isnan(got) && std::isnan(expected))) {
        std::fprintf(stderr, "TekstTilTall('%s') = %.17g, reference %.17g\n", input.c_str(), got, expected);
        std::abort();
    }
    return 0;
}
