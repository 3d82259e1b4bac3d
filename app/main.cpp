// pytagoras: the modules start in their fixed order (the support library's start-up last), then
// the windows are created and the event loop runs; the modules stop in reverse after it ends.
#include "Program.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    program::QuitOnTerminationSignals(app);
    const program::Modules modules(program::Arguments(argc, argv));

    program::Windows windows;
    windows.PytagorasForm.show();
    return app.exec();
}
