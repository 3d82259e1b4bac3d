// The server settings dialog in Win32 controls; what it loads and saves is the model's.
#include "serveroppsett.h"

#include <commctrl.h>

#include <cstring>

namespace serveroppsett {

namespace {

constexpr int kFirstControlId = 100;
constexpr UINT_PTR kPassordSubclass = 1;

// Double clicks on the password field; an edit control tells its parent of none.
LRESULT CALLBACK passordProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR form) {
    if (message == WM_LBUTTONDBLCLK) {
        reinterpret_cast<TServerOppsettForm*>(form)->passordDblClick();
        return 0;
    }
    if (message == WM_NCDESTROY) {
        RemoveWindowSubclass(edit, passordProc, kPassordSubclass);
    }
    return DefSubclassProc(edit, message, wParam, lParam);
}

std::string editText(HWND edit) {
    return edit != nullptr ? winui::WindowTextAnsi(edit) : std::string();
}

bool checked(HWND box) {
    return box != nullptr && SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void setText(HWND edit, const std::string& text) {
    SetWindowTextW(edit, winui::FromAnsi(text).c_str());
}

void setChecked(HWND box, bool on) {
    SendMessageW(box, BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
}

} // namespace

TServerOppsettForm::TServerOppsettForm(HWND owner) : m_owner(owner) {}

TServerOppsettForm::~TServerOppsettForm() = default;

void TServerOppsettForm::VisServerOppsett(const std::string& caption, const std::string& kind) {
    m_model.setServertype(kind);
    m_font = winui::DialogFont();
    winui::ModalDialog(m_owner, winui::FromAnsi(caption), WS_POPUP | WS_CAPTION | WS_SYSMENU, kClientWidth,
                       kClientHeight, dialogProc, reinterpret_cast<LPARAM>(this));
    m_font.reset();
}

INT_PTR CALLBACK TServerOppsettForm::dialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* form = reinterpret_cast<TServerOppsettForm*>(lParam);
        form->Handle = dialog;
        SetPropW(dialog, L"TServerOppsettForm", form);
    }
    auto* form = static_cast<TServerOppsettForm*>(GetPropW(dialog, L"TServerOppsettForm"));
    if (form == nullptr) {
        return FALSE;
    }
    return winui::Guarded(dialog, L"FEIL", FALSE, [&] { return form->handle(message, wParam, lParam); });
}

INT_PTR TServerOppsettForm::handle(UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        SendMessageW(Handle, WM_SETFONT, reinterpret_cast<WPARAM>(m_font.get()), FALSE);
        createControls();
        FormShow();
        SetFocus(navn);
        return FALSE; // the focus is set
    case WM_COMMAND:
        // No OK button: Enter changes nothing. Esc closes, and saves, as the close button does.
        if (LOWORD(wParam) == IDCANCEL) {
            closeAndSave();
        }
        return TRUE;
    case WM_CLOSE:
        closeAndSave();
        return TRUE;
    case WM_DESTROY:
        // Gone some other way (its owner went first): the showing is still saved once.
        FormClose();
        RemovePropW(Handle, L"TServerOppsettForm");
        for (HWND* slot : {&Handle, &navn, &server, &mappe, &brukernavn, &passord, &port, &SSLL, &Passiv}) {
            *slot = nullptr;
        }
        m_tips = nullptr;
        return TRUE;
    default:
        return FALSE;
    }
}

HWND* TServerOppsettForm::controlSlot(const char* name) {
    struct Slot {
        const char* name;
        HWND TServerOppsettForm::*member;
    };
    static constexpr Slot kSlots[] = {
        {"navn", &TServerOppsettForm::navn},       {"server", &TServerOppsettForm::server},
        {"mappe", &TServerOppsettForm::mappe},     {"brukernavn", &TServerOppsettForm::brukernavn},
        {"passord", &TServerOppsettForm::passord}, {"port", &TServerOppsettForm::port},
        {"SSLL", &TServerOppsettForm::SSLL},       {"Passiv", &TServerOppsettForm::Passiv},
    };
    for (const Slot& slot : kSlots) {
        if (std::strcmp(slot.name, name) == 0) {
            return &(this->*slot.member);
        }
    }
    return nullptr;
}

void TServerOppsettForm::createControls() {
    m_tips = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, 0, 0, 0,
                             0, Handle, nullptr, GetModuleHandleW(nullptr), nullptr);
    SendMessageW(m_tips, TTM_SETMAXTIPWIDTH, 0, 300);
    auto addTip = [&](HWND control, std::u8string_view tip) {
        std::wstring text = winui::FromUtf8(tip);
        TTTOOLINFOW tool{};
        tool.cbSize = sizeof tool;
        tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        tool.hwnd = Handle;
        tool.uId = reinterpret_cast<UINT_PTR>(control);
        tool.lpszText = text.data(); // the control keeps a copy
        SendMessageW(m_tips, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    };

    int id = kFirstControlId;
    for (const ControlPlace& place : Controls()) {
        const std::wstring caption = winui::FromUtf8(place.caption);
        HWND control = nullptr;
        switch (place.kind) {
        case ControlKind::Label:
            control = winui::AddControl(Handle, L"STATIC", caption, SS_LEFT | SS_NOPREFIX, id, place.left, place.top, 0,
                                        0, m_font.get());
            winui::FitToText(control, m_font.get());
            break;
        case ControlKind::Edit:
        case ControlKind::PasswordEdit:
            control = winui::AddControl(Handle, L"EDIT", L"",
                                        WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL |
                                            (place.kind == ControlKind::PasswordEdit ? ES_PASSWORD : 0),
                                        id, place.left, place.top, place.width, place.height, m_font.get());
            break;
        case ControlKind::CheckBox:
            control = winui::AddControl(Handle, L"BUTTON", caption, WS_TABSTOP | BS_AUTOCHECKBOX, id, place.left,
                                        place.top, place.width, place.height, m_font.get());
            break;
        }
        ++id;
        if (HWND* slot = place.name != nullptr && *place.name != '\0' ? controlSlot(place.name) : nullptr) {
            *slot = control;
        }
    }
    SendMessageW(passord, EM_SETPASSWORDCHAR, m_masked ? L'*' : 0, 0);
    SetWindowSubclass(passord, passordProc, kPassordSubclass, reinterpret_cast<DWORD_PTR>(this));
    addTip(passord, kPassordTip);
    addTip(SSLL, kSslTip);
}

ServerEntryFields TServerOppsettForm::readControls() const {
    return ServerEntryFields{editText(navn),    editText(server), editText(mappe), editText(brukernavn),
                             editText(passord), editText(port),   checked(SSLL),   checked(Passiv)};
}

void TServerOppsettForm::writeControls(const ServerEntryFields& fields) {
    setText(navn, fields.navn);
    setText(server, fields.server);
    setText(mappe, fields.mappe);
    setText(brukernavn, fields.brukernavn);
    setText(passord, fields.passord);
    setText(port, fields.port);
    setChecked(SSLL, fields.SSLL);
    setChecked(Passiv, fields.Passiv);
}

void TServerOppsettForm::FormShow() {
    writeControls(m_model.FormShow());
}

void TServerOppsettForm::FormClose() {
    if (Handle == nullptr || !m_model.unsaved()) {
        return;
    }
    ServerEntryFields fields = readControls();
    if (m_model.FormClose(fields)) {
        // An empty port took the kind's default: the field shows it as well.
        setText(port, fields.port);
    }
}

void TServerOppsettForm::passordDblClick() {
    m_masked = !m_masked;
    if (passord != nullptr) {
        SendMessageW(passord, EM_SETPASSWORDCHAR, m_masked ? L'*' : 0, 0);
        InvalidateRect(passord, nullptr, TRUE);
    }
}

void TServerOppsettForm::closeAndSave() {
    FormClose();
    EndDialog(Handle, IDCANCEL);
}

void VisServerOppsett(const std::string& caption, const std::string& kind) {
    TServerOppsettForm form;
    form.VisServerOppsett(caption, kind);
}

} // namespace serveroppsett
