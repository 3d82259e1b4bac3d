// Standard error and output as the user sees them: whether a stream is a terminal (where the progress
// line is drawn), and texts written so that æ, ø and å read right on a Windows console too.
#pragma once

#include <cstdio>
#include <string_view>

// True for a terminal or console; false for a file, a pipe or the null device.
bool IsTerminal(std::FILE* stream);

// Writes text to stream. A Windows console shows its own code page (850 under Norwegian settings), not
// the program's (1252), so there the text is handed over as UTF-16; elsewhere the bytes go as they are.
void WriteText(std::FILE* stream, std::string_view text);
