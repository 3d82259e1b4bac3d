// What the Win32 windows of this face share: texts for the wide API, fonts, child controls placed in
// pixels, and modal dialogs built without a resource script, so that every control sits at the pixel
// the layout tables give whatever the dialog font.
#pragma once

#include <windows.h>

#include <exception>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>

namespace winui {

// Texts of the system's narrow encoding (the ANSI code page) and fixed UTF-8 texts, for the wide API.
std::wstring FromAnsi(std::string_view text);
std::string ToAnsi(std::wstring_view text);
std::wstring FromUtf8(std::string_view utf8);
std::wstring FromUtf8(std::u8string_view utf8);
// The text of a window or control, in the ANSI code page.
std::string WindowTextAnsi(HWND window);

// A GDI object deleted when it goes.
struct GdiDeleter {
    void operator()(void* object) const { DeleteObject(static_cast<HGDIOBJ>(object)); }
};
using UniqueFont = std::unique_ptr<std::remove_pointer_t<HFONT>, GdiDeleter>;

// The font of the dialogs and the transfer window: "MS Sans Serif" 8 pt, or what Windows puts in its place.
UniqueFont DialogFont();

// The outer size of a window of this style whose client area is width x height.
SIZE OuterSize(DWORD style, DWORD exStyle, bool hasMenu, int width, int height);
// Moves window so that its centre is the centre of owner's outer rectangle (of the screen's work area
// when owner is null), keeping it on that screen.
void CentreOn(HWND window, HWND owner);

// A child control at left, top, width, height of its parent's client area, in font.
HWND AddControl(HWND parent, const wchar_t* className, std::wstring_view text, DWORD style, int id, int left, int top,
                int width, int height, HFONT font);

// Sizes a label to its text in font.
void FitToText(HWND label, HFONT font);

// Shows a modal dialog with an empty client area of width x height (the handler makes its controls at
// WM_INITDIALOG) over owner, and returns what EndDialog gave. handler gets the parameter at WM_INITDIALOG
// as lParam, as DialogBoxParam does.
INT_PTR ModalDialog(HWND owner, std::wstring_view caption, DWORD style, int width, int height, DLGPROC handler,
                    LPARAM parameter);

// Runs one window procedure's work so that no C++ exception crosses the system's frames: one that escapes
// is shown in a message box over window, with the caption given, and the window goes on.
template <typename Work> LRESULT Guarded(HWND window, const wchar_t* caption, LRESULT failed, Work&& work) noexcept;
void ShowEscapedError(HWND window, const wchar_t* caption, const char* what) noexcept;

template <typename Work> LRESULT Guarded(HWND window, const wchar_t* caption, LRESULT failed, Work&& work) noexcept {
    try {
        return work();
    } catch (const std::exception& e) {
        ShowEscapedError(window, caption, e.what());
    } catch (...) {
        ShowEscapedError(window, caption, "Unknown error");
    }
    return failed;
}

} // namespace winui
