// Common helpers: number <-> text as the triangle window shows and reads them, the reversible
// password scrambling of the server settings, and the file helpers of the download.
// None of them throws: each returns a plain value, 0 or a fixed fallback on failure.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace felles {

// Texts that pass through the system are cut to this many bytes.
inline constexpr std::size_t kShortTextMax = 255;

// True when the text is well-formed UTF-8 (ASCII included).
bool IsValidUtf8(std::string_view text);
// Cuts a text to at most max bytes without splitting a UTF-8 sequence of a valid UTF-8 text.
std::string CutText(std::string_view text, std::size_t max = kShortTextMax);
// The text as one line: each run of control characters (line ends, tabs) inside it becomes one
// blank, and those at its ends go.
std::string OneLine(std::string_view text);

// (0, 0, v) is the display form: at most two decimals, trailing zeros and point removed.
std::string TallTilTekst(int bredde, int desimaler, double verdi);
// Comma counts as decimal point; anything that is no number reads as 0.
double TekstTilTall(std::string_view tekst);
std::string SkjulTekst(std::string_view tekst);
std::string AvdekkTekst(std::string_view tekst);
std::string ByttEndelse(std::string_view filnavn, std::string_view endelse);
// Size of a file that can be opened for reading and writing; 0 on any failure.
std::int32_t FilStorrelse(const std::string& filnavn);

} // namespace felles
