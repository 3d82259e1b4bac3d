#include "Program.h"

#include "WinUi.h"

#include <shellapi.h>

namespace program {

std::vector<std::string> CommandLineArguments() {
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> result;
    for (int i = 1; i < count; ++i) {
        result.push_back(winui::ToAnsi(arguments[i]));
    }
    LocalFree(arguments);
    return result;
}

textfil::MessageBoxHook MessageBoxes() {
    return [](const std::string& caption, const std::string& text) {
        MessageBoxW(nullptr, winui::FromAnsi(text).c_str(), winui::FromAnsi(caption).c_str(),
                    MB_OK | MB_ICONERROR | MB_TASKMODAL);
    };
}

Windows::Windows() {
    input::UseInputDialogs(PytagorasForm.Handle);
    ftpunit::setSettingsDialog([this](const std::string& caption, const std::string& kind) {
        ServerOppsettForm.VisServerOppsett(caption, kind);
    });
}

Windows::~Windows() {
    ftpunit::setSettingsDialog(nullptr);
    input::setPromptDialog(nullptr);
}

} // namespace program
