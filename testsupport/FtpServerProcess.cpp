#include "FtpServerProcess.h"

#include "TempEnvironment.h"
#include "TestSockets.h"

#include <stdexcept>
#include <vector>

namespace testsupport {

namespace {

std::vector<std::string> optionsFor(const FtpServerProcess::Settings& settings) {
    std::vector<std::string> options{"--host", settings.address};
    switch (settings.behaviour) {
    case FtpServerProcess::Behaviour::ShortRetr:
        options.emplace_back("--short-retr");
        break;
    case FtpServerProcess::Behaviour::StallsRetr:
        options.emplace_back("--stall-retr");
        break;
    case FtpServerProcess::Behaviour::RefusePort:
        options.emplace_back("--refuse-port");
        break;
    case FtpServerProcess::Behaviour::RefuseRetr:
        options.emplace_back("--refuse-retr");
        break;
    case FtpServerProcess::Behaviour::SilentAfterAuth:
        options.insert(options.end(), {"--after-auth", "silent"});
        break;
    case FtpServerProcess::Behaviour::ClosesAfterAuth:
        options.insert(options.end(), {"--after-auth", "close"});
        break;
    case FtpServerProcess::Behaviour::ResetsAfterAuth:
        options.insert(options.end(), {"--after-auth", "reset"});
        break;
    case FtpServerProcess::Behaviour::Normal:
        break;
    }
#ifdef _WIN32
    // The client's names are in its code page there, and a server on Windows reads them so.
    options.emplace_back("--ansi");
#endif
    if (settings.tls != nullptr) {
        options.insert(options.end(), {"--tls", settings.tls->certificate.string(), settings.tls->key.string()});
    }
    if (!settings.commandLog.empty()) {
        options.insert(options.end(), {"--log", settings.commandLog.string()});
    }
    if (settings.server == FtpServerProcess::Server::Vsftpd) {
        options.emplace_back("--vsftpd");
        if (settings.sessionReuse) {
            options.emplace_back("--reuse");
        }
    }
    return options;
}

FtpServerProcess::Settings pyftpdlib(FtpServerProcess::Behaviour behaviour, const FtpServerProcess::TlsIdentity* tls) {
    FtpServerProcess::Settings settings;
    settings.behaviour = behaviour;
    settings.tls = tls;
    return settings;
}

} // namespace

FtpServerProcess::FtpServerProcess(std::filesystem::path root, std::string user, std::string password,
                                   Behaviour behaviour, const TlsIdentity* tls)
    : FtpServerProcess(std::move(root), std::move(user), std::move(password), pyftpdlib(behaviour, tls)) {}

#ifdef _WIN32

FtpServerProcess::FtpServerProcess(std::filesystem::path root, std::string user, std::string password,
                                   const Settings& settings)
    : m_root(std::move(root)) {
    std::filesystem::create_directories(m_root);
    m_brokered = std::make_unique<BrokeredFtpServer>(m_root, user, password, optionsFor(settings));
    m_port = m_brokered->port();
}

FtpServerProcess::~FtpServerProcess() {
    stop();
}

void FtpServerProcess::stop() {
    m_brokered.reset();
}

#else

FtpServerProcess::FtpServerProcess(std::filesystem::path root, std::string user, std::string password,
                                   const Settings& settings)
    : m_root(std::move(root)) {
    std::filesystem::create_directories(m_root);
    // The server's chatter, and why it could not start.
    const std::filesystem::path log = m_root.string() + ".out";
    // A port freed a moment ago may be taken again before the server binds it: try a few.
    for (int attempt = 0; attempt < 5 && !m_process.running(); ++attempt) {
        m_port = freeLoopbackPort(settings.address);
        std::vector<std::string> args{
            "/usr/bin/python3", FTP_SERVER_SCRIPT, std::to_string(m_port), m_root.string(), user, password};
        for (std::string& option : optionsFor(settings)) {
            args.push_back(std::move(option));
        }
        if (!m_process.start(args, m_port, log, settings.address)) {
            const std::string said = ReadFileBytes(log);
            const auto at = said.find("unavailable: ");
            if (at != std::string::npos) {
                throw FtpServerUnavailable(said.substr(at + 13, said.find('\n', at) - at - 13));
            }
        }
    }
    if (!m_process.running()) {
        throw std::runtime_error("the FTP server did not start: " + ReadFileBytes(log));
    }
}

FtpServerProcess::~FtpServerProcess() {
    stop();
}

void FtpServerProcess::stop() {
    m_process.stop();
}

#endif

} // namespace testsupport
