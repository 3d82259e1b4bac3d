#include "Modules.h"

#include "ftpstate.h"
#include "hs_reg.h"
#include "xmldata.h"

#include <csignal>

namespace program {

namespace {

volatile std::sig_atomic_t g_startUpDone = 0;

} // namespace

std::vector<std::string> Arguments(int argc, char* argv[]) {
    return std::vector<std::string>(argv + 1, argv + argc);
}

Modules::Modules(const std::vector<std::string>& args, textfil::MessageBoxHook messageBoxes) {
    xmldata::Start();
    if (messageBoxes) {
        textfil::SetMessageBoxHook(std::move(messageBoxes));
    }
    hs_reg::Startup(args);
    g_startUpDone = 1;
}

Modules::~Modules() {
    stop();
}

void Modules::stop() {
    if (m_stopped) {
        return;
    }
    m_stopped = true;
    hs_reg::Shutdown();
    ftpunit::Stop();
}

bool StartUpDone() {
    return g_startUpDone != 0;
}

} // namespace program
