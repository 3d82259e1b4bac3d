#include "Program.h"

#include "hs_reg.h"
#include "textfil.h"
#include "xmldata.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QMessageBox>
#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace program {

namespace {

int g_signalPipe[2] = {-1, -1};

void onTerminationSignal(int) {
    const char byte = 1;
    // Only async-signal-safe work here; the event loop reads the pipe.
    [[maybe_unused]] const auto written = ::write(g_signalPipe[1], &byte, 1);
}

} // namespace

std::vector<std::string> Arguments(int argc, char* argv[]) {
    return std::vector<std::string>(argv + 1, argv + argc);
}

bool Headless() {
    const QString platform = QGuiApplication::platformName();
    return platform == "offscreen" || platform == "minimal";
}

Modules::Modules(const std::vector<std::string>& args) {
    xmldata::Start();
    if (!Headless()) {
        textfil::SetMessageBoxHook([](const std::string& caption, const std::string& text) {
            QMessageBox::critical(nullptr, QString::fromLocal8Bit(caption.c_str()),
                                  QString::fromLocal8Bit(text.c_str()));
        });
    }
    hs_reg::Startup(args);
}

Modules::~Modules() {
    hs_reg::Shutdown();
    ftpunit::Stop();
}

void QuitOnTerminationSignals(QCoreApplication& app) {
    if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        return;
    }
    auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [] {
        char byte = 0;
        while (::read(g_signalPipe[0], &byte, 1) > 0) {
        }
        QCoreApplication::quit();
    });
    struct sigaction action {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
}

} // namespace program
