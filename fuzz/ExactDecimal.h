// A slow, obviously correct reference for number texts: the exact decimal expansion of a double
// by big-integer arithmetic, and the display rounding built on it digit by digit.
#pragma once

#include <optional>
#include <string>

namespace fuzzref {

// Every digit of |v| (finite): integer digits, then the fraction digits, with no trailing zeros
// beyond the point. intDigits counts the digits before the point (at least 1).
struct Exact {
    std::string digits;
    int intDigits = 1;
};
Exact exactDecimal(double magnitude);

// The number text for (bredde, desimaler, verdi) by the 18-digit rule, for |verdi| < 1e36.
// Empty when the 18-digit step meets an exact tie, which the rule leaves open.
std::optional<std::string> referenceTallTilTekst(int bredde, int desimaler, double verdi);

} // namespace fuzzref
