#include "Program.h"

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

void onTerminationSignal(int signal) {
    // Only async-signal-safe work here.
    if (!StartUpDone()) {
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

CommandLine::CommandLine(int argc, char* argv[]) : m_arguments(Arguments(argc, argv)) {
    m_toolkitCopy.emplace_back(argc > 0 ? argv[0] : "");
    for (std::size_t i = 0; i < m_arguments.size(); ++i) {
        const bool libraryValue = i > 0 && (m_arguments[i - 1] == "-ip" || m_arguments[i - 1] == "--user");
        if (!libraryValue) {
            m_toolkitCopy.push_back(m_arguments[i]);
        }
    }
    // The copy is complete before pointers into it are taken.
    for (std::string& argument : m_toolkitCopy) {
        m_toolkitArgv.push_back(argument.data());
    }
    m_toolkitArgv.push_back(nullptr);
    m_toolkitArgc = static_cast<int>(m_toolkitCopy.size());
}

bool Headless() {
    const QString platform = QGuiApplication::platformName();
    return platform == "offscreen" || platform == "minimal";
}

textfil::MessageBoxHook MessageBoxes() {
    if (Headless()) {
        return {};
    }
    return [](const std::string& caption, const std::string& text) {
        QMessageBox::critical(nullptr, QString::fromLocal8Bit(caption.c_str()), QString::fromLocal8Bit(text.c_str()));
    };
}

Windows::Windows() {
    input::setPromptDialog(input::ShowInputForm);
    ftpunit::setSettingsDialog([this](const std::string& caption, const std::string& kind) {
        ServerOppsettForm.VisServerOppsett(caption, kind);
    });
}

Windows::~Windows() {
    ftpunit::setSettingsDialog(nullptr);
    input::setPromptDialog(nullptr);
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
