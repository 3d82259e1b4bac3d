#include "Program.h"

#include "hs_reg.h"
#include "textfil.h"
#include "xmldata.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QMessageBox>
#include <QSocketNotifier>

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace program {

namespace {

int g_signalPipe[2] = {-1, -1};
// Set once the support library's start-up has returned; from then on the event loop is next.
volatile std::sig_atomic_t g_startUpDone = 0;

void onTerminationSignal(int signal) {
    // Only async-signal-safe work here.
    if (g_startUpDone == 0) {
        // A start-up that waits (on a file, a folder, a slow disk) would never read the pipe: end as
        // the signal's default action does, once this handler returns.
        ::signal(signal, SIG_DFL);
        ::raise(signal);
        return;
    }
    const char byte = 1;
    // The event loop reads the pipe.
    [[maybe_unused]] const auto written = ::write(g_signalPipe[1], &byte, 1);
}

} // namespace

std::vector<std::string> Arguments(int argc, char* argv[]) {
    return std::vector<std::string>(argv + 1, argv + argc);
}

CommandLine::CommandLine(int argc, char* argv[]) : m_arguments(Arguments(argc, argv)) {
    m_toolkitCopy.emplace_back(argc > 0 ? argv[0] : "");
    std::vector<std::size_t> places(m_arguments.size(), 0);
    for (std::size_t i = 0; i < m_arguments.size(); ++i) {
        const bool libraryValue = i > 0 && (m_arguments[i - 1] == "-ip" || m_arguments[i - 1] == "--user");
        if (!libraryValue) {
            places[i] = m_toolkitCopy.size();
            m_toolkitCopy.push_back(m_arguments[i]);
        }
    }
    // The copy is complete before pointers into it are taken.
    for (std::string& argument : m_toolkitCopy) {
        m_toolkitArgv.push_back(argument.data());
    }
    m_toolkitArgv.push_back(nullptr);
    m_toolkitArgc = static_cast<int>(m_toolkitCopy.size());
    for (const std::size_t place : places) {
        m_handedOver.push_back(place == 0 ? nullptr : m_toolkitArgv[place]);
    }
}

std::vector<bool> CommandLine::takenByToolkit() const {
    // The toolkit moves what it leaves to the front of argv and lowers argc: a parameter it handed
    // back is still among the first argc pointers.
    const auto kept = m_toolkitArgv.begin() + m_toolkitArgc;
    std::vector<bool> taken;
    for (const char* given : m_handedOver) {
        taken.push_back(given != nullptr && std::find(m_toolkitArgv.begin(), kept, given) == kept);
    }
    return taken;
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
    g_startUpDone = 1;
}

Modules::~Modules() {
    hs_reg::Shutdown();
    ftpunit::Stop();
}

Windows::Windows() {
    ftpunit::setSettingsDialog([this](const std::string& caption, const std::string& kind) {
        ServerOppsettForm.VisServerOppsett(caption, kind);
    });
}

Windows::~Windows() {
    ftpunit::setSettingsDialog(nullptr);
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
