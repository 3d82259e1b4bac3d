#include "WinUi.h"

#include "platform.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace winui {

std::wstring FromAnsi(std::string_view text) {
    return platform::wideText(text);
}

std::string ToAnsi(std::wstring_view text) {
    return platform::narrowText(text);
}

std::wstring FromUtf8(std::string_view utf8) {
    if (utf8.empty()) {
        return {};
    }
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
    std::wstring wide(std::size_t(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), wide.data(), length);
    return wide;
}

std::wstring FromUtf8(std::u8string_view utf8) {
    return FromUtf8(std::string_view(reinterpret_cast<const char*>(utf8.data()), utf8.size()));
}

std::string WindowTextAnsi(HWND window) {
    std::wstring text(std::size_t(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(std::size_t(GetWindowTextW(window, text.data(), int(text.size()))));
    return ToAnsi(text);
}

UniqueFont DialogFont() {
    HDC screen = GetDC(nullptr);
    const int height = -MulDiv(8, GetDeviceCaps(screen, LOGPIXELSY), 72);
    ReleaseDC(nullptr, screen);
    return UniqueFont(CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                  CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, L"MS Sans Serif"));
}

SIZE OuterSize(DWORD style, DWORD exStyle, bool hasMenu, int width, int height) {
    RECT rect{0, 0, width, height};
    AdjustWindowRectEx(&rect, style, hasMenu, exStyle);
    return SIZE{rect.right - rect.left, rect.bottom - rect.top};
}

void CentreOn(HWND window, HWND owner) {
    RECT self{};
    GetWindowRect(window, &self);
    RECT area{};
    if (owner != nullptr) {
        GetWindowRect(owner, &area);
    } else {
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    }
    const int width = self.right - self.left;
    const int height = self.bottom - self.top;
    int left = area.left + (area.right - area.left - width) / 2;
    int top = area.top + (area.bottom - area.top - height) / 2;
    // An owner near the edge must not push the window off its screen.
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    if (GetMonitorInfoW(MonitorFromWindow(owner != nullptr ? owner : window, MONITOR_DEFAULTTONEAREST), &monitor)) {
        const RECT& work = monitor.rcWork;
        left = std::max<int>(work.left, std::min<int>(left, work.right - width));
        top = std::max<int>(work.top, std::min<int>(top, work.bottom - height));
    }
    SetWindowPos(window, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

HWND AddControl(HWND parent, const wchar_t* className, std::wstring_view text, DWORD style, int id, int left, int top,
                int width, int height, HFONT font) {
    const std::wstring caption(text);
    HWND control =
        CreateWindowExW(0, className, caption.c_str(), WS_CHILD | WS_VISIBLE | style, left, top, width, height, parent,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
    if (control != nullptr && font != nullptr) {
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    }
    return control;
}

void FitToText(HWND label, HFONT font) {
    std::wstring text(std::size_t(GetWindowTextLengthW(label)) + 1, L'\0');
    const int length = GetWindowTextW(label, text.data(), int(text.size()));
    HDC dc = GetDC(label);
    HGDIOBJ old = SelectObject(dc, font);
    SIZE size{};
    GetTextExtentPoint32W(dc, text.c_str(), length, &size);
    SelectObject(dc, old);
    ReleaseDC(label, dc);
    SetWindowPos(label, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

namespace {

struct DialogShell {
    DLGPROC handler;
    LPARAM parameter;
    HWND owner;
    int width;
    int height;
};

INT_PTR CALLBACK shellProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* shell = reinterpret_cast<DialogShell*>(lParam);
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        const DWORD style = DWORD(GetWindowLongPtrW(dialog, GWL_STYLE));
        const DWORD exStyle = DWORD(GetWindowLongPtrW(dialog, GWL_EXSTYLE));
        const SIZE outer = OuterSize(style, exStyle, false, shell->width, shell->height);
        SetWindowPos(dialog, nullptr, 0, 0, outer.cx, outer.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        CentreOn(dialog, shell->owner);
        return shell->handler(dialog, message, wParam, shell->parameter);
    }
    auto* shell = reinterpret_cast<DialogShell*>(GetWindowLongPtrW(dialog, DWLP_USER));
    return shell != nullptr ? shell->handler(dialog, message, wParam, lParam) : FALSE;
}

} // namespace

INT_PTR ModalDialog(HWND owner, std::wstring_view caption, DWORD style, int width, int height, DLGPROC handler,
                    LPARAM parameter) {
    // DLGTEMPLATE, then no menu, the default class, the caption; no controls and no font: the handler
    // makes the controls in pixels and gives each its font.
    std::vector<WORD> words(sizeof(DLGTEMPLATE) / sizeof(WORD), 0);
    DLGTEMPLATE header{};
    header.style = style | DS_MODALFRAME;
    std::memcpy(words.data(), &header, sizeof header);
    words.push_back(0);
    words.push_back(0);
    words.insert(words.end(), caption.begin(), caption.end());
    words.push_back(0);
    DialogShell shell{handler, parameter, owner, width, height};
    return DialogBoxIndirectParamW(GetModuleHandleW(nullptr), reinterpret_cast<const DLGTEMPLATE*>(words.data()), owner,
                                   shellProc, reinterpret_cast<LPARAM>(&shell));
}

void ShowEscapedError(HWND window, const wchar_t* caption, const char* what) noexcept {
    try {
        MessageBoxW(window, FromAnsi(what).c_str(), caption, MB_OK | MB_ICONERROR);
    } catch (...) {
        MessageBoxW(window, L"Unknown error", caption, MB_OK | MB_ICONERROR);
    }
}

} // namespace winui
