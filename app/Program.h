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
// stay hidden until something shows them.
struct Windows {
    trekant::TPytagorasForm PytagorasForm;
    input::TInputForm InputForm{&PytagorasForm};
    serveroppsett::TServerOppsettForm ServerOppsettForm{&PytagorasForm};
    ftpunit::TFTPform FTPform;
};

// SIGTERM and SIGINT end the event loop, so the shut-down still runs and the INI file is saved.
void QuitOnTerminationSignals(QCoreApplication& app);

} // namespace program
