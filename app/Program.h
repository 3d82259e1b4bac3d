// What the maker's programs share around their own work: the modules' start in their fixed order
// and their stop in reverse, the windows created at start, and a clean end on SIGTERM.
#pragma once

#include "ftpunit.h"
#include "input.h"
#include "serveroppsett.h"
#include "trekant.h"

#include <string>
#include <vector>

class QCoreApplication;

namespace program {

// The parameters after the program name.
std::vector<std::string> Arguments(int argc, char* argv[]);

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
    // Once the application object is made: for each parameter, whether the toolkit took it as one of
    // its own options or as such an option's value.
    std::vector<bool> takenByToolkit() const;

private:
    std::vector<std::string> m_arguments;
    std::vector<std::string> m_toolkitCopy;
    std::vector<char*> m_toolkitArgv;
    // For each parameter, its place in the copy handed to the toolkit (null when it was held back).
    std::vector<const char*> m_handedOver;
    int m_toolkitArgc = 0;
};

// True when nobody can answer a dialog or message box (offscreen or minimal platform).
bool Headless();

// Starts the modules (XML hook, message boxes of the log, the support library's start-up) and
// stops them in reverse order when it goes out of scope (shut-down, then the transfer unit).
class Modules {
public:
    explicit Modules(const std::vector<std::string>& args);
    ~Modules();
    Modules(const Modules&) = delete;
    Modules& operator=(const Modules&) = delete;
};

// The windows every program of the maker creates at start, in this order; all but the first
// stay hidden until something shows them. While they exist, the transfer unit opens this settings
// dialog when the FTP entry has no server.
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
