// The modules' start in their fixed order and their stop in reverse, shared by every program of the
// maker, with a GUI or without one.
#pragma once

#include "textfil.h"

#include <string>
#include <vector>

namespace program {

// The parameters after the program name.
std::vector<std::string> Arguments(int argc, char* argv[]);

// Starts the modules (XML hook, message boxes of the log, the support library's start-up) and
// stops them in reverse order when it goes out of scope (shut-down, then the transfer unit).
class Modules {
public:
    // messageBoxes: how the log shows its "FEIL" boxes; empty keeps the log's own default.
    explicit Modules(const std::vector<std::string>& args, textfil::MessageBoxHook messageBoxes = {});
    ~Modules();
    Modules(const Modules&) = delete;
    Modules& operator=(const Modules&) = delete;

    // Stops them now, once (the session ends and the process may be ended at any moment after);
    // going out of scope then stops nothing again.
    void stop();

private:
    bool m_stopped = false;
};

// True once the support library's start-up has returned. Safe to ask from a signal handler.
bool StartUpDone();

} // namespace program
