#include "ExactDecimal.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace fuzzref {

namespace {

// Little-endian base-10^9 big integer; only what the expansion needs.
using Big = std::vector<std::uint32_t>;

void multiply(Big& n, std::uint32_t by) {
    std::uint64_t carry = 0;
    for (auto& limb : n) {
        const std::uint64_t x = std::uint64_t{limb} * by + carry;
        limb = static_cast<std::uint32_t>(x % 1000000000u);
        carry = x / 1000000000u;
    }
    while (carry) {
        n.push_back(static_cast<std::uint32_t>(carry % 1000000000u));
        carry /= 1000000000u;
    }
}

std::string toText(const Big& n) {
    std::string text = std::to_string(n.back());
    for (std::size_t i = n.size() - 1; i-- > 0;) {
        const std::string limb = std::to_string(n[i]);
        text.append(9 - limb.size(), '0');
        text += limb;
    }
    return text;
}

// Adds one in the last place of a digit string; returns true when a new leading digit appeared.
bool increment(std::string& digits) {
    for (std::size_t i = digits.size(); i-- > 0;) {
        if (digits[i] != '9') {
            ++digits[i];
            return false;
        }
        digits[i] = '0';
    }
    digits.insert(digits.begin(), '1');
    return true;
}

} // namespace

Exact exactDecimal(double magnitude) {
    int exponent = 0;
    const double fraction = std::frexp(magnitude, &exponent);
    const auto mantissa = static_cast<std::uint64_t>(std::ldexp(fraction, 53));
    exponent -= 53;
    Big n{static_cast<std::uint32_t>(mantissa % 1000000000u)};
    for (std::uint64_t rest = mantissa / 1000000000u; rest; rest /= 1000000000u)
        n.push_back(static_cast<std::uint32_t>(rest % 1000000000u));
    Exact result;
    if (exponent >= 0) {
        for (int i = 0; i < exponent; i += 16)
            multiply(n, 1u << std::min(16, exponent - i));
        result.digits = toText(n);
        result.intDigits = static_cast<int>(result.digits.size());
        return result;
    }
    // m * 2^-k = m * 5^k / 10^k
    const int k = -exponent;
    // 5^13 is the largest power of five below 2^32.
    for (int i = 0; i < k; i += 13) {
        std::uint32_t power = 1;
        for (int j = 0; j < std::min(13, k - i); ++j)
            power *= 5;
        multiply(n, power);
    }
    std::string digits = toText(n);
    if (static_cast<int>(digits.size()) <= k)
        digits.insert(0, static_cast<std::size_t>(k) + 1 - digits.size(), '0');
    result.intDigits = static_cast<int>(digits.size()) - k;
    while (static_cast<int>(digits.size()) > result.intDigits && digits.back() == '0')
        digits.pop_back();
    // Strip leading zeros of the integer part but keep one.
    while (result.intDigits > 1 && digits.front() == '0') {
        digits.erase(digits.begin());
        --result.intDigits;
    }
    result.digits = digits;
    return result;
}

std::optional<std::string> referenceTallTilTekst(int bredde, int desimaler, double verdi) {
    const bool displayForm = bredde == 0 && desimaler == 0;
    const int decimals = displayForm ? 2 : desimaler;
    Exact e = exactDecimal(std::fabs(verdi));

    // Step 1: the nearest 18-digit form.
    int keep = 18;
    if (std::fabs(verdi) < 10) {
        keep = e.intDigits + 17; // units digit (intDigits is 1) and 17 decimals
    } else {
        std::size_t firstNonZero = e.digits.find_first_not_of('0');
        keep = static_cast<int>(firstNonZero) + 18;
    }
    std::string digits = e.digits;
    int intDigits = e.intDigits;
    if (static_cast<int>(digits.size()) > keep) {
        const std::string rest = digits.substr(static_cast<std::size_t>(keep));
        digits.resize(static_cast<std::size_t>(keep));
        if (rest[0] > '5' || (rest[0] == '5' && rest.find_first_not_of('0', 1) != std::string::npos)) {
            if (increment(digits))
                ++intDigits;
        } else if (rest[0] == '5') {
            return std::nullopt;
        }
    }
    // Step 2: cut after the requested decimal, half up on the first digit cut off.
    const std::size_t cut = static_cast<std::size_t>(intDigits + decimals);
    bool up = cut < digits.size() && digits[cut] >= '5';
    if (digits.size() < cut)
        digits.append(cut - digits.size(), '0');
    digits.resize(cut);
    if (up && increment(digits))
        ++intDigits;
    std::string text = digits.substr(0, static_cast<std::size_t>(intDigits));
    if (decimals > 0)
        text += "." + digits.substr(static_cast<std::size_t>(intDigits));
    if (verdi < 0)
        text.insert(0, 1, '-');
    if (displayForm) {
        while (text.back() == '0' && text.find('.') != std::string::npos)
            text.pop_back();
        if (text.back() == '.')
            text.pop_back();
    } else if (static_cast<int>(text.size()) < bredde) {
        text.insert(0, static_cast<std::size_t>(bredde) - text.size(), ' ');
    }
    if (text.size() > 255)
        text.resize(255);
    return text;
}

} // namespace fuzzref
