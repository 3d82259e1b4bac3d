// pytagoras.exe: the modules start in their fixed order (the support library's start-up last), then
// the windows are made and the message loop runs; the modules stop in reverse after it ends, or when
// Windows ends the session, whichever comes first.
#include "Modules.h"
#include "Program.h"

#include <commctrl.h>

#include <clocale>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int show) {
    // The user's locale, for the log's dates among other things.
    std::setlocale(LC_ALL, "");
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS | ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    program::Modules modules(program::CommandLineArguments(), program::MessageBoxes());

    program::Windows windows;
    windows.PytagorasForm.OnEndSession = [&modules] { modules.stop(); };
    ShowWindow(windows.PytagorasForm.Handle, show);
    UpdateWindow(windows.PytagorasForm.Handle);
    return trekant::RunMessageLoop(windows.PytagorasForm);
}
