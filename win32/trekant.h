// The triangle window in Win32: menus and accelerators built from the menu table, keys handed to the
// key rule, and the client area painted from the scene with GDI. The commands and the drawing are the
// triangle module's; this window asks, repaints and shows messages when told.
#pragma once

#include "Scene.h"
#include "TriangleWindow.h"

#include <windows.h>

#include <functional>
#include <string>

namespace trekant {

class TPytagorasForm : public CommandWindow {
public:
    // Makes the window hidden (FormCreate has sized and centred it) with its menu and accelerators.
    TPytagorasForm();
    ~TPytagorasForm() override;
    TPytagorasForm(const TPytagorasForm&) = delete;
    TPytagorasForm& operator=(const TPytagorasForm&) = delete;

    HWND Handle = nullptr;
    HMENU MainMenu1 = nullptr;
    // The drawing geometry, kept for the whole run.
    Geometry geometry;

    void FormCreate();
    void PytagorasBoxPaint(HDC canvas);
    // Writes text (of the ANSI code page) turned counter-clockwise by angle degrees at (x, y) of the
    // client area, in 20-pixel Tahoma on a clear background.
    void printrotated(int angle, int x, int y, const std::string& text);

    // A menu shortcut of msg run as its menu item; false when msg is none (it then goes the usual way).
    bool TranslateShortcut(MSG& msg);
    // Paints done so far.
    int paintCount() const { return m_paintCount; }

    // Runs when Windows ends the session, before the process may be ended.
    std::function<void()> OnEndSession;

    // CommandWindow
    void repaintNow() override;
    void showError(const std::string& message) override;
    void closeWindow() override;

private:
    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    bool keyDown(int key, bool alt);

    HACCEL m_accelerators = nullptr;
    int m_paintCount = 0;
};

// The window's main menu and its accelerator table, from the menu table. The menu item ids are the
// commands' ids (MenuCommandId).
HMENU BuildMainMenu();
HACCEL BuildAccelerators();
int MenuCommandId(MenuAction action);
// The letters that open a menu with Alt ("&Fil": F).
bool IsMenuMnemonic(int key);

// The program's message loop: menu shortcuts first, then the usual translation; the exit code.
int RunMessageLoop(TPytagorasForm& form);

} // namespace trekant
