// Checks number texts against the exact reference: any double below 1e36, width and decimals
// 0..255. The sign of a value that rounds to zero is left free.
#include "ExactDecimal.h"
#include "Felles.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < sizeof(double) + 2)
        return 0;
    double verdi = 0;
    std::memcpy(&verdi, data, sizeof verdi);
    // Mostly small widths and decimals, as the program uses them, but the whole range too.
    const int bredde = data[8] < 200 ? data[8] % 16 : data[8];
    const int desimaler = data[9] < 200 ? data[9] % 8 : data[9];
    if (!std::isfinite(verdi) || std::fabs(verdi) >= 1e36)
        return 0;

    const std::string got = felles::TallTilTekst(bredde, desimaler, verdi);
    const auto want = fuzzref::referenceTallTilTekst(bredde, desimaler, verdi);
    if (!want)
        return 0;
    std::string expected = *want;
    if (got != expected) {
        // A value that rounds to zero may or may not carry its minus sign.
        const auto unsignedExpected = fuzzref::referenceTallTilTekst(bredde, desimaler, std::fabs(verdi));
        const bool zero = expected.find_first_not_of("-0. ") == std::string::npos;
        if (zero && unsignedExpected && got == *unsignedExpected)
            return 0;
        std::fprintf(stderr, "TallTilTekst(%d, %d, %.17g) = '%s', reference '%s'\n", bredde, desimaler, verdi,
                     got.c_str(), expected.c_str());
        std::abort();
    }
    return 0;
}
