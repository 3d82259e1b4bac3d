// The FTP transfer window in Win32 controls: shows one upload or download of the transfer core at a
// time, on the GUI thread, painting while the transfer blocks it.
#include "ftpunit.h"

#include "serveroppsett.h"

#include <commctrl.h>

namespace ftpunit {

namespace {

constexpr const wchar_t* kClassName = L"TFTPform";
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_THICKFRAME;
// Paint requests let through at one time: enough for every window of the program.
constexpr int kMostPaints = 64;

void registerClass(WNDPROC windowProc) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    if (GetClassInfoExW(GetModuleHandleW(nullptr), kClassName, &windowClass)) {
        return;
    }
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.hIcon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1));
    windowClass.lpszClassName = kClassName;
    RegisterClassExW(&windowClass);
}

} // namespace

TFTPform::TFTPform() : NetFTP1(std::make_unique<net::TNetFTP>()), m_transfer(*NetFTP1, m_window) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS | ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    registerClass(windowProc);
    m_font = winui::DialogFont();
    const SIZE outer = winui::OuterSize(kStyle, 0, false, kClientWidth, kClientHeight);
    Handle = CreateWindowExW(0, kClassName, winui::FromAnsi(kDesignCaption).c_str(), kStyle, kFormLeft, kFormTop,
                             outer.cx, outer.cy, nullptr, nullptr, GetModuleHandleW(nullptr), this);

    ftpfil = winui::AddControl(Handle, L"STATIC", winui::FromAnsi(kDesignFileName), SS_CENTER | SS_NOPREFIX, 1,
                               kFileNameLabel.left, kFileNameLabel.top, kFileNameLabel.width, kFileNameLabel.height,
                               m_font.get());
    ProgressBar1 = winui::AddControl(Handle, PROGRESS_CLASSW, L"", PBS_SMOOTH, 2, kProgressBar.left, kProgressBar.top,
                                     kProgressBar.width, kProgressBar.height, nullptr);
    SendMessageW(ProgressBar1, PBM_SETRANGE32, 0, model().barMaximum());
    StatusBar1 = winui::AddControl(Handle, STATUSCLASSNAMEW, L"", CCS_NOPARENTALIGN | CCS_NORESIZE, 3, kStatusBar.left,
                                   kStatusBar.top, kStatusBar.width, kStatusBar.height, m_font.get());
    int rightEdges[] = {kCountPanelWidth, -1};
    SendMessageW(StatusBar1, SB_SETPARTS, 2, reinterpret_cast<LPARAM>(rightEdges));
    // Panel 0 right-aligned: the text after a second tab is.
    SendMessageW(StatusBar1, SB_SETTEXTW, 0,
                 reinterpret_cast<LPARAM>((L"\t\t" + winui::FromAnsi(kFirstCount)).c_str()));
    SendMessageW(StatusBar1, SB_SETTEXTW, 1, reinterpret_cast<LPARAM>(winui::FromAnsi(kFirstState).c_str()));

    // A host program that made no dialog of its own still gets one when the entry has no server.
    if (!settingsDialog()) {
        setSettingsDialog(serveroppsett::VisServerOppsett);
    }
}

TFTPform::~TFTPform() {
    if (Handle != nullptr) {
        DestroyWindow(Handle);
    }
}

void TFTPform::SendFil(const std::string& L) {
    m_transfer.SendFil(L);
}

void TFTPform::HentFil(const std::string& L) {
    m_transfer.HentFil(L);
}

void TFTPform::FormShow() {
    SetWindowTextW(Handle, winui::FromAnsi(ftpserver()).c_str());
    SetWindowTextW(ftpfil, L"");
    UpdateWindow(ftpfil);
}

std::string TFTPform::panelText(int panel) const {
    const auto length = LOWORD(SendMessageW(StatusBar1, SB_GETTEXTLENGTHW, WPARAM(panel), 0));
    std::wstring text(std::size_t(length) + 1, L'\0');
    SendMessageW(StatusBar1, SB_GETTEXTW, WPARAM(panel), reinterpret_cast<LPARAM>(text.data()));
    text.resize(length);
    text.erase(0, text.find_first_not_of(L'\t'));
    return winui::ToAnsi(text);
}

void TFTPform::showWindow() {
    if (!IsWindowVisible(Handle)) {
        FormShow();
        ShowWindow(Handle, SW_SHOW);
    }
    UpdateWindow(Handle);
}

void TFTPform::hideWindow() {
    ShowWindow(Handle, SW_HIDE);
}

void TFTPform::showFileName(const std::string& name) {
    SetWindowTextW(ftpfil, winui::FromAnsi(name).c_str());
    UpdateWindow(ftpfil);
}

void TFTPform::showProgress(int barMaximum, int barPosition, const std::string& countText) {
    SendMessageW(ProgressBar1, PBM_SETRANGE32, 0, barMaximum);
    SendMessageW(ProgressBar1, PBM_SETPOS, WPARAM(barPosition), 0);
    SendMessageW(StatusBar1, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>((L"\t\t" + winui::FromAnsi(countText)).c_str()));
    UpdateWindow(ProgressBar1);
    UpdateWindow(StatusBar1);
}

void TFTPform::showState(const std::string& text) {
    SendMessageW(StatusBar1, SB_SETTEXTW, 1, reinterpret_cast<LPARAM>(winui::FromAnsi(text).c_str()));
    UpdateWindow(StatusBar1);
}

void TFTPform::repaintWindow() {
    RedrawWindow(Handle, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

void TFTPform::letPaintsThrough() {
    // Only paint requests: keys and clicks wait until the transfer is over.
    MSG message;
    for (int i = 0; i < kMostPaints && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE | PM_QS_PAINT); ++i) {
        DispatchMessageW(&message);
    }
}

LRESULT CALLBACK TFTPform::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        static_cast<TFTPform*>(create->lpCreateParams)->Handle = window;
    }
    auto* form = reinterpret_cast<TFTPform*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (form == nullptr) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    return winui::Guarded(window, L"FEIL", 0, [&] { return form->handle(message, wParam, lParam); });
}

LRESULT TFTPform::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_SIZE:
        placeStatusBar();
        return 0;
    case WM_CLOSE:
        // The window lives for the run; closing it hides it.
        hideWindow();
        return 0;
    case WM_NCDESTROY: {
        HWND window = Handle;
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        Handle = ftpfil = ProgressBar1 = StatusBar1 = nullptr;
        return DefWindowProcW(window, message, wParam, lParam);
    }
    default:
        return DefWindowProcW(Handle, message, wParam, lParam);
    }
}

void TFTPform::placeStatusBar() {
    if (StatusBar1 == nullptr) {
        return;
    }
    // Along the bottom edge, whatever size the user gives the window.
    RECT client{};
    GetClientRect(Handle, &client);
    SetWindowPos(StatusBar1, nullptr, 0, client.bottom - kStatusBar.height, client.right, kStatusBar.height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

} // namespace ftpunit
