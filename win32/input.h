// The one-line input dialog TInputForm in Win32: LesInput's rules are the triangle module's
// (Prompt.h); this is the modal dialog that shows one prompt.
#pragma once

#include "Prompt.h"
#include "WinUi.h"

#include <windows.h>

#include <optional>
#include <string>

namespace input {

class TInputForm {
public:
    // owner: the window the dialog is modal over and centred on (the triangle window).
    explicit TInputForm(HWND owner = nullptr) : m_owner(owner) {}

    // Shows the prompt modally: the field's text after OK (or Enter), nothing after Cancel or Esc.
    std::optional<std::string> ShowModal(const Prompt& prompt);
    void FormShow();

    // The dialog and its controls while it is shown; null otherwise.
    HWND Handle = nullptr;
    HWND Label1 = nullptr;
    HWND Edit1 = nullptr;
    HWND BitBtn1 = nullptr;
    HWND BitBtn2 = nullptr;

private:
    static INT_PTR CALLBACK dialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR handle(UINT message, WPARAM wParam);

    HWND m_owner;
    const Prompt* m_prompt = nullptr;
    std::optional<std::string> m_answer;
    winui::UniqueFont m_font;
};

// The most recently created dialog, while it is shown.
extern TInputForm* InputForm;

// Wires LesInput to a new TInputForm for each prompt, over owner.
void UseInputDialogs(HWND owner);

} // namespace input
