// What the maker's GUI programs share around their own work: the command line before the toolkit
// takes its options, the windows created at start, and a clean end on SIGTERM. The modules' start
// and stop are in Modules.h.
#pragma once

#include "Modules.h"
#include "ftpunit.h"
#include "input.h"
#include "serveroppsett.h"
#include "trekant.h"

#include <string>
#include <vector>

class QCoreApplication;

namespace program {

// The command line as the user gave it, kept before the GUI toolkit takes its own options (-style,
// -reverse, ...) out of argv. The toolkit is handed a copy without the values of the library's "-ip"
// and "--user", so that a user name such as -reverse stays a name and never becomes a toolkit option.
class CommandLine {
public:
    CommandLine(int argc, char* argv[]);
    CommandLine(const CommandLine&) = delete;
    CommandLine& operator=(const CommandLine&) = delete;

    // The parameters after the program name, exactly as given.
    const std::vector<std::string>& arguments() const { return m_arguments; }
    // The toolkit's argc and argv; they must live as long as the application object made from them.
    int& toolkitArgc() { return m_toolkitArgc; }
    char** toolkitArgv() { return m_toolkitArgv.data(); }

private:
    std::vector<std::string> m_arguments;
    std::vector<std::string> m_toolkitCopy;
    std::vector<char*> m_toolkitArgv;
    int m_toolkitArgc = 0;
};

// True when nobody can answer a dialog or message box (offscreen or minimal platform).
bool Headless();

// The log's "FEIL" boxes as message boxes of the toolkit; none (the log's own default) when nobody
// could answer them.
textfil::MessageBoxHook MessageBoxes();

// The windows every GUI program of the maker creates at start, in this order; all but the first
// stay hidden until something shows them. While they exist, LesInput asks in the input dialog and
// the transfer unit opens this settings dialog when the FTP entry has no server.
struct Windows {
    Windows();
    ~Windows();
    Windows(const Windows&) = delete;
    Windows& operator=(const Windows&) = delete;

    trekant::TPytagorasForm PytagorasForm;
    input::TInputForm InputForm{&PytagorasForm};
    serveroppsett::TServerOppsettForm ServerOppsettForm{&PytagorasForm};
    ftpunit::TFTPform FTPform;
};

// SIGTERM and SIGINT end the event loop, so the shut-down still runs and the INI file is saved.
// Until the modules have started they end the program at once, as they would without a handler:
// a start-up that waits would never get to read them.
void QuitOnTerminationSignals(QCoreApplication& app);

} // namespace program
