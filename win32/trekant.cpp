// The triangle window in Win32.
#include "trekant.h"

#include "ScenePainter.h"
#include "WinUi.h"

#include <cctype>
#include <cwctype>
#include <vector>

namespace trekant {

namespace {

constexpr const wchar_t* kClassName = L"TPytagorasForm";
constexpr DWORD kStyle = WS_OVERLAPPEDWINDOW;
constexpr int kFirstCommandId = 100;

std::wstring shortcutText(const Shortcut& shortcut) {
    std::wstring text = shortcut.ctrl ? L"Ctrl+" : L"";
    text += wchar_t(shortcut.key);
    return text;
}

bool isLetter(int key) {
    return key >= 'A' && key <= 'Z';
}

Modifiers heldModifiers() {
    return Modifiers{GetKeyState(VK_SHIFT) < 0, GetKeyState(VK_CONTROL) < 0, GetKeyState(VK_MENU) < 0};
}

} // namespace

int MenuCommandId(MenuAction action) {
    return kFirstCommandId + static_cast<int>(action);
}

HMENU BuildMainMenu() {
    HMENU bar = CreateMenu();
    for (const Menu& menu : MainMenu()) {
        HMENU popup = CreatePopupMenu();
        for (const MenuItem& item : menu.items) {
            // The shortcut beside the caption, after a tab, as Windows menus show it.
            const std::wstring caption = winui::FromAnsi(item.caption) + L"\t" + shortcutText(item.shortcut);
            AppendMenuW(popup, MF_STRING, UINT_PTR(MenuCommandId(item.action)), caption.c_str());
        }
        AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(popup), winui::FromAnsi(menu.caption).c_str());
    }
    return bar;
}

HACCEL BuildAccelerators() {
    // Virtual-key accelerators match only with exactly their modifiers: Shift+A is no shortcut and
    // reaches the key handler.
    std::vector<ACCEL> table;
    for (const Menu& menu : MainMenu()) {
        for (const MenuItem& item : menu.items) {
            table.push_back(ACCEL{BYTE(FVIRTKEY | (item.shortcut.ctrl ? FCONTROL : 0)), WORD(item.shortcut.key),
                                  WORD(MenuCommandId(item.action))});
        }
    }
    return CreateAcceleratorTableW(table.data(), int(table.size()));
}

bool IsMenuMnemonic(int key) {
    for (const Menu& menu : MainMenu()) {
        for (const char* c = menu.caption; *c != '\0' && c[1] != '\0'; ++c) {
            if (*c == '&' && std::toupper(static_cast<unsigned char>(c[1])) == key) {
                return true;
            }
        }
    }
    return false;
}

TPytagorasForm::TPytagorasForm() {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    if (!GetClassInfoExW(GetModuleHandleW(nullptr), kClassName, &windowClass)) {
        windowClass.lpfnWndProc = windowProc;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
        windowClass.hIcon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1));
        windowClass.lpszClassName = kClassName;
        RegisterClassExW(&windowClass);
    }
    MainMenu1 = BuildMainMenu();
    m_accelerators = BuildAccelerators();
    CreateWindowExW(0, kClassName, winui::FromAnsi(kCaption).c_str(), kStyle, CW_USEDEFAULT, CW_USEDEFAULT, 551, 500,
                    nullptr, MainMenu1, GetModuleHandleW(nullptr), this);
    FormCreate();
}

TPytagorasForm::~TPytagorasForm() {
    if (Handle != nullptr) {
        DestroyWindow(Handle);
    }
    DestroyAcceleratorTable(m_accelerators);
}

void TPytagorasForm::FormCreate() {
    // The outer height, then the outer width, in place of the design size; then centred on the screen.
    SetWindowPos(Handle, nullptr, 0, 0, 551, kOuterHeight, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    SetWindowPos(Handle, nullptr, 0, 0, kOuterWidth, kOuterHeight, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    winui::CentreOn(Handle, nullptr);
}

void TPytagorasForm::PytagorasBoxPaint(HDC canvas) {
    GdiFonts fonts(canvas);
    GdiMeasure measure(canvas, fonts);
    const Scene scene = BuildScene(geometry, measure);
    PaintScene(canvas, scene, fonts);
    ++m_paintCount;
}

void TPytagorasForm::printrotated(int angle, int x, int y, const std::string& text) {
    Scene scene;
    scene.items.emplace_back(RotatedText(angle, x, y, text));
    HDC canvas = GetDC(Handle);
    GdiFonts fonts(canvas);
    PaintScene(canvas, scene, fonts);
    ReleaseDC(Handle, canvas);
}

bool TPytagorasForm::TranslateShortcut(MSG& msg) {
    if (msg.hwnd != Handle && !IsChild(Handle, msg.hwnd)) {
        return false;
    }
    return TranslateAcceleratorW(Handle, m_accelerators, &msg) != 0;
}

void TPytagorasForm::repaintNow() {
    InvalidateRect(Handle, nullptr, TRUE);
    UpdateWindow(Handle);
}

void TPytagorasForm::showError(const std::string& message) {
    MessageBoxW(Handle, winui::FromAnsi(message).c_str(), winui::FromAnsi(kCaption).c_str(), MB_OK | MB_ICONERROR);
}

void TPytagorasForm::closeWindow() {
    DestroyWindow(Handle);
}

LRESULT CALLBACK TPytagorasForm::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* form = static_cast<TPytagorasForm*>(reinterpret_cast<const CREATESTRUCTW*>(lParam)->lpCreateParams);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
        form->Handle = window;
    }
    auto* form = reinterpret_cast<TPytagorasForm*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (form == nullptr) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    // An error that escapes a handler is shown as the commands show theirs; the window goes on.
    return winui::Guarded(window, L"Pytagoras", 0, [&] { return form->handle(message, wParam, lParam); });
}

bool TPytagorasForm::keyDown(int key, bool alt) {
    // Alt with a menu's letter opens that menu, as a shortcut matched before the key handler.
    if (alt && IsMenuMnemonic(key)) {
        return false;
    }
    trekant::FormKeyDown(key, heldModifiers(), *this);
    return true;
}

LRESULT TPytagorasForm::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC canvas = BeginPaint(Handle, &paint);
        PytagorasBoxPaint(canvas);
        EndPaint(Handle, &paint);
        return 0;
    }
    case WM_COMMAND:
        for (const Menu& menu : MainMenu()) {
            for (const MenuItem& item : menu.items) {
                if (LOWORD(wParam) == MenuCommandId(item.action)) {
                    RunMenuAction(item.action, *this);
                    return 0;
                }
            }
        }
        break;
    case WM_KEYDOWN:
        keyDown(int(wParam), false);
        return 0;
    case WM_SYSKEYDOWN:
        // Alt combinations come as system keys; Alt+F4, Alt alone and F10 keep their system meaning too.
        if (keyDown(int(wParam), true) && isLetter(int(wParam))) {
            return 0;
        }
        break;
    case WM_SYSCHAR:
        // A letter that opens no menu has been handled above; without this Windows would beep.
        if (std::iswalpha(wint_t(wParam)) && !IsMenuMnemonic(int(std::towupper(wint_t(wParam))))) {
            return 0;
        }
        break;
    case WM_QUERYENDSESSION:
        return TRUE;
    case WM_ENDSESSION:
        // The process may be ended as soon as this returns: the INI file and the summary now.
        if (wParam != 0 && OnEndSession) {
            OnEndSession();
        }
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    case WM_NCDESTROY: {
        HWND window = Handle;
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        Handle = nullptr;
        return DefWindowProcW(window, message, wParam, lParam);
    }
    default:
        break;
    }
    return DefWindowProcW(Handle, message, wParam, lParam);
}

int RunMessageLoop(TPytagorasForm& form) {
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (!form.TranslateShortcut(msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    return int(msg.wParam);
}

} // namespace trekant
