// The input dialog in Win32 controls at the layout's pixels.
#include "input.h"

#include "WinUi.h"

namespace input {

TInputForm* InputForm = nullptr;

std::optional<std::string> TInputForm::ShowModal(const Prompt& prompt) {
    m_prompt = &prompt;
    m_answer.reset();
    InputForm = this;
    m_font = winui::DialogFont();
    // A fixed dialog border without title-bar buttons.
    winui::ModalDialog(m_owner, winui::FromAnsi(kCaption), WS_POPUP | WS_CAPTION, kClientWidth, kClientHeight,
                       dialogProc, reinterpret_cast<LPARAM>(this));
    InputForm = nullptr;
    m_prompt = nullptr;
    m_font.reset();
    return m_answer;
}

void TInputForm::FormShow() {
    // The proposed text selected, so typing replaces it.
    SetFocus(Edit1);
    SendMessageW(Edit1, EM_SETSEL, 0, -1);
}

INT_PTR CALLBACK TInputForm::dialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* form = reinterpret_cast<TInputForm*>(lParam);
        form->Handle = dialog;
        SetWindowLongPtrW(dialog, GWLP_USERDATA, lParam);
    }
    auto* form = reinterpret_cast<TInputForm*>(GetWindowLongPtrW(dialog, GWLP_USERDATA));
    if (form == nullptr) {
        return FALSE;
    }
    return winui::Guarded(dialog, L"FEIL", FALSE, [&] { return form->handle(message, wParam); });
}

INT_PTR TInputForm::handle(UINT message, WPARAM wParam) {
    switch (message) {
    case WM_INITDIALOG: {
        const winui::UniqueFont& font = m_font;
        SendMessageW(Handle, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), FALSE);
        // Made in tab order: O&k, &Avbryt, the field; the label takes no focus.
        BitBtn1 = winui::AddControl(Handle, L"BUTTON", winui::FromAnsi(kOkCaption), WS_TABSTOP | BS_DEFPUSHBUTTON, IDOK,
                                    kBitBtn1.left, kBitBtn1.top, kBitBtn1.width, kBitBtn1.height, font.get());
        BitBtn2 = winui::AddControl(Handle, L"BUTTON", winui::FromAnsi(kCancelCaption), WS_TABSTOP | BS_PUSHBUTTON,
                                    IDCANCEL, kBitBtn2.left, kBitBtn2.top, kBitBtn2.width, kBitBtn2.height, font.get());
        Edit1 = winui::AddControl(Handle, L"EDIT", winui::FromAnsi(m_prompt->proposed),
                                  WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL | (m_prompt->masked ? ES_PASSWORD : 0), 3,
                                  kEdit1.left, kEdit1.top, kEdit1.width, kEdit1.height, font.get());
        // No limit of its own: the answer is cut when it is taken.
        SendMessageW(Edit1, EM_SETLIMITTEXT, 0, 0);
        if (m_prompt->masked) {
            SendMessageW(Edit1, EM_SETPASSWORDCHAR, L'*', 0);
        }
        const std::wstring label = winui::FromAnsi(m_prompt->prompt);
        Label1 = winui::AddControl(Handle, L"STATIC", label, SS_LEFT | SS_NOPREFIX, 4, kLabel1.left, kLabel1.top, 0, 0,
                                   font.get());
        winui::FitToText(Label1, font.get());
        SendMessageW(Handle, DM_SETDEFID, IDOK, 0);
        FormShow();
        return FALSE; // the focus is set
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
            m_answer = winui::WindowTextAnsi(Edit1);
            EndDialog(Handle, IDOK);
        } else if (LOWORD(wParam) == IDCANCEL) {
            EndDialog(Handle, IDCANCEL);
        }
        return TRUE;
    case WM_DESTROY:
        Handle = Label1 = Edit1 = BitBtn1 = BitBtn2 = nullptr;
        return TRUE;
    default:
        return FALSE;
    }
}

void UseInputDialogs(HWND owner) {
    setPromptDialog([owner](const Prompt& prompt) { return TInputForm(owner).ShowModal(prompt); });
}

} // namespace input
