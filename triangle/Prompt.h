// LesInput, the way the triangle window asks for one line, without a toolkit: the rules of the prompt
// (texts cut to 255 bytes, masking only for the prompt "Passord", Cancel gives the empty answer) and
// the input dialog's layout. The face's modal dialog is reached through one seam.
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace input {

// The dialog TInputForm: client area, caption, and where its controls sit (left, top, width, height).
struct Place {
    int left;
    int top;
    int width;
    int height;
};
inline constexpr const char* kCaption = "Input:";
inline constexpr int kClientWidth = 396;
inline constexpr int kClientHeight = 113;
inline constexpr Place kLabel1{32, 24, 0, 0}; // sized to its text
inline constexpr Place kEdit1{32, 40, 337, 21};
inline constexpr Place kBitBtn1{88, 80, 75, 25};  // "O&k": the default button (Enter)
inline constexpr Place kBitBtn2{216, 80, 75, 25}; // "&Avbryt": the cancel button (Esc)
inline constexpr const char* kOkCaption = "O&k";
inline constexpr const char* kCancelCaption = "&Avbryt";

// One prompt as the dialog shows it.
struct Prompt {
    std::string prompt;   // the label, cut to 255 bytes
    std::string proposed; // the field's text, selected so typing replaces it; cut to 255 bytes
    bool masked = false;  // "*" for each character typed: only for the prompt "Passord" exactly
};
Prompt MakePrompt(const std::string& prompt, const std::string& proposed);

// The face's modal dialog, made anew for each prompt, modal over the triangle window and centred on it:
// the field's text when the user confirmed with OK (or Enter), nothing when the dialog was cancelled
// (Cancel, Esc, closed).
using PromptDialog = std::function<std::optional<std::string>(const Prompt& prompt)>;
// The dialog LesInput opens: each face wires its own at start; tests wire answers.
void setPromptDialog(PromptDialog dialog);

// Asks for one line: the confirmed text cut to 255 bytes, or the empty text after Cancel (or when no
// dialog is wired). An empty answer confirmed with OK is empty too.
std::string LesInput(const std::string& prompt, const std::string& proposed);

} // namespace input
