// pytagoras: the modules start in their fixed order (the support library's start-up last), then
// the windows are created and the event loop runs; the modules stop in reverse after it ends.
#include "Program.h"

#include <QApplication>

#include <clocale>

int main(int argc, char* argv[]) {
    // The user's locale, for the log's dates among other things.
    std::setlocale(LC_ALL, "");
    program::CommandLine commandLine(argc, argv);
    QApplication app(commandLine.toolkitArgc(), commandLine.toolkitArgv());
    program::QuitOnTerminationSignals(app);
    const program::Modules modules(commandLine.arguments(), program::MessageBoxes());

    program::Windows windows;
    windows.PytagorasForm.show();
    return app.exec();
}
