#include "Felles.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "platform.h"

namespace felles {

namespace {

// Magnitudes from here on are written in exponent form; fixed-point would run to dozens of digits.
constexpr double kExponentFrom = 1e36;

// The digits of a magnitude as "digits" with the decimal point after the first intDigits of them.
struct DecimalDigits {
    std::string digits;
    int intDigits = 1;
};

// The nearest 18-digit decimal form of a finite magnitude below 1e36: the units digit and 17
// decimals below 10, else 18 significant digits. to_chars converts exactly, so the nearest form
// is what it writes; unlike printf it ignores the locale, so the point stays a point.
DecimalDigits eighteenDigits(double magnitude) {
    char buffer[64];
    DecimalDigits result;
    if (magnitude < 10) {
        *std::to_chars(buffer, buffer + sizeof buffer - 1, magnitude, std::chars_format::fixed, 17).ptr = '\0';
        // "d.ddddddddddddddddd"
        result.digits.push_back(buffer[0]);
        result.digits.append(buffer + 2);
        result.intDigits = 1;
        return result;
    }
    // "d.ddddddddddddddddde+XX"
    *std::to_chars(buffer, buffer + sizeof buffer - 1, magnitude, std::chars_format::scientific, 17).ptr = '\0';
    const std::string text(buffer);
    const auto e = text.find('e');
    result.digits.push_back(text[0]);
    result.digits.append(text, 2, e - 2);
    result.intDigits = std::atoi(text.c_str() + e + 1) + 1;
    if (result.intDigits > static_cast<int>(result.digits.size()))
        result.digits.append(static_cast<std::size_t>(result.intDigits) - result.digits.size(), '0');
    return result;
}

// Cuts the digit string after the given decimal and rounds half up on the first digit cut off.
std::string roundedFixed(double magnitude, int decimals) {
    DecimalDigits d = eighteenDigits(magnitude);
    const std::size_t keep = static_cast<std::size_t>(d.intDigits) + static_cast<std::size_t>(decimals);
    const bool roundUp = keep < d.digits.size() && d.digits[keep] >= '5';
    if (d.digits.size() < keep)
        d.digits.append(keep - d.digits.size(), '0');
    d.digits.resize(keep);
    if (roundUp) {
        std::size_t i = keep;
        while (i > 0) {
            --i;
            if (d.digits[i] != '9') {
                ++d.digits[i];
                break;
            }
            d.digits[i] = '0';
            if (i == 0) {
                d.digits.insert(d.digits.begin(), '1');
                ++d.intDigits;
            }
        }
    }
    std::string text = d.digits.substr(0, static_cast<std::size_t>(d.intDigits));
    if (decimals > 0) {
        text.push_back('.');
        text.append(d.digits, static_cast<std::size_t>(d.intDigits), std::string::npos);
    }
    return text;
}

bool allZeros(const std::string& text) {
    return text.find_first_not_of("0.") == std::string::npos;
}

// Values no fixed-point text can hold: infinities, NaN and magnitudes of 1e36 or more.
std::string exponentForm(double verdi, int decimals) {
    if (std::isnan(verdi))
        return "NAN";
    if (std::isinf(verdi))
        return verdi < 0 ? "-INF" : "INF";
    char buffer[400];
    *std::to_chars(buffer, buffer + sizeof buffer - 1, verdi, std::chars_format::scientific, decimals).ptr = '\0';
    std::string text = buffer;
    std::replace(text.begin(), text.end(), 'e', 'E');
    return text;
}

std::string padLeft(std::string text, int width) {
    if (static_cast<int>(text.size()) < width)
        text.insert(0, static_cast<std::size_t>(width) - text.size(), ' ');
    return text;
}

// Bytes wrap around, as the scrambling works modulo 256.
char shifted(char c, long by) {
    return static_cast<char>(static_cast<unsigned char>((static_cast<unsigned char>(c) + by) & 0xFF));
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// The whole text must be: optional sign, digits with at most one point, optional E, sign, digits.
bool isNumberSyntax(const std::string& s) {
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        ++i;
    bool digits = false;
    bool point = false;
    while (i < s.size() && (isDigit(s[i]) || s[i] == '.')) {
        if (s[i] == '.') {
            if (point)
                return false;
            point = true;
        } else {
            digits = true;
        }
        ++i;
    }
    if (!digits)
        return false;
    if (i < s.size() && s[i] == 'E') {
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-'))
            ++i;
        if (i == s.size() || !isDigit(s[i]))
            return false;
        while (i < s.size() && isDigit(s[i]))
            ++i;
    }
    return i == s.size();
}

} // namespace

bool IsValidUtf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        std::size_t length = 1;
        if (c >= 0xF0 && c <= 0xF4)
            length = 4;
        else if (c >= 0xE0)
            length = c < 0xF0 ? 3 : 0;
        else if (c >= 0xC2)
            length = 2;
        else if (c >= 0x80)
            length = 0;
        if (length == 0 || i + length > text.size())
            return false;
        for (std::size_t k = 1; k < length; ++k)
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80)
                return false;
        i += length;
    }
    return true;
}

std::string CutText(std::string_view text, std::size_t max) {
    if (text.size() <= max)
        return std::string(text);
    std::size_t cut = max;
    // Only a valid UTF-8 text is known to have sequences worth keeping whole.
    if (IsValidUtf8(text)) {
        while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
            --cut;
    }
    return std::string(text.substr(0, cut));
}

std::string OneLine(std::string_view text) {
    std::string line;
    bool pendingBlank = false;
    for (const char c : text) {
        const auto code = static_cast<unsigned char>(c);
        if (code < 32 || code == 127) {
            pendingBlank = !line.empty();
            continue;
        }
        if (pendingBlank) {
            line.push_back(' ');
            pendingBlank = false;
        }
        line.push_back(c);
    }
    return line;
}

std::string TallTilTekst(int bredde, int desimaler, double verdi) {
    const bool displayForm = bredde == 0 && desimaler == 0;
    const int decimals = displayForm ? 2 : std::max(0, desimaler);
    const double magnitude = std::fabs(verdi);

    std::string text;
    if (!std::isfinite(verdi) || magnitude >= kExponentFrom) {
        text = exponentForm(verdi, decimals);
        if (displayForm && std::isfinite(verdi)) {
            // Trailing zeros of the mantissa go as they do in the fixed form.
            const auto e = text.find('E');
            std::string mantissa = text.substr(0, e);
            while (!mantissa.empty() && mantissa.back() == '0')
                mantissa.pop_back();
            if (!mantissa.empty() && mantissa.back() == '.')
                mantissa.pop_back();
            text = mantissa + text.substr(e);
        }
    } else {
        text = roundedFixed(magnitude, decimals);
        // A value that rounds to zero shows no sign.
        if (std::signbit(verdi) && !allZeros(text))
            text.insert(0, 1, '-');
        if (displayForm) {
            while (!text.empty() && text.back() == '0' && text.find('.') != std::string::npos)
                text.pop_back();
            if (!text.empty() && text.back() == '.')
                text.pop_back();
        }
    }
    if (!displayForm)
        text = padLeft(std::move(text), bredde);
    return CutText(text);
}

double TekstTilTall(std::string_view tekst) {
    std::string cleaned;
    for (char c : tekst) {
        if (c == ' ')
            continue;
        if (c == ',')
            c = '.';
        if (c == '+' || c == '-' || c == '.' || c == 'E' || isDigit(c))
            cleaned.push_back(c);
    }
    if (!isNumberSyntax(cleaned))
        return 0;
    // Out of range reads as no number rather than an infinity the triangle cannot use.
    return platform::numberInCLocale(cleaned).value_or(0);
}

std::string SkjulTekst(std::string_view tekst) {
    std::string result = "z";
    result.reserve(tekst.size() + 2);
    for (std::size_t i = 0; i < tekst.size(); ++i)
        result.push_back(shifted(tekst[i], static_cast<long>(i + 1)));
    result.push_back('2');
    // Scrambled bytes are no UTF-8, so the cut is a plain byte cut.
    if (result.size() > kShortTextMax)
        result.resize(kShortTextMax);
    return result;
}

std::string AvdekkTekst(std::string_view tekst) {
    if (!tekst.empty())
        tekst.remove_prefix(1);
    if (!tekst.empty())
        tekst.remove_suffix(1);
    std::string result;
    result.reserve(tekst.size());
    for (std::size_t i = 0; i < tekst.size(); ++i)
        result.push_back(shifted(tekst[i], -static_cast<long>(i + 1)));
    if (result.size() > kShortTextMax)
        result.resize(kShortTextMax);
    return result;
}

std::string ByttEndelse(std::string_view filnavn, std::string_view endelse) {
    const auto point = filnavn.find('.');
    std::string result;
    if (point == std::string_view::npos) {
        result.append(filnavn);
        result.push_back('.');
    } else {
        // At most ten characters after the point go; anything beyond them stays.
        result.append(filnavn.substr(0, point + 1));
        const std::size_t rest = std::min(filnavn.size(), point + 1 + 10);
        result.append(filnavn.substr(rest));
    }
    result.append(endelse);
    return result;
}

std::int32_t FilStorrelse(const std::string& filnavn) {
    const std::int64_t size = platform::writableFileSize(filnavn);
    if (size < 0)
        return 0;
    // A file past 2 GiB reports the largest size the type holds instead of wrapping negative.
    return static_cast<std::int32_t>(std::min<std::int64_t>(size, std::numeric_limits<std::int32_t>::max()));
}

} // namespace felles
