// Start order: modules, then the windows, then the event loop; shut-down after it ends.
#include "input.h"
#include "trekant.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);

    // Support library start-up (command line, INI store, folders, log) goes here, before any window.

    trekant::TPytagorasForm PytagorasForm;
    input::TInputForm startInputForm(&PytagorasForm); // created hidden, as every later dialog is
    // The server settings and FTP transfer windows are created here, hidden.

    PytagorasForm.show();
    const int result = app.exec();

    // Support library shut-down (INI store written back, summary logged) goes here.
    return result;
}
