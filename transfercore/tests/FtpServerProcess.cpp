#include "FtpServerProcess.h"

#include "TempEnvironment.h"
#include "TestSockets.h"

#include <stdexcept>
#include <vector>

namespace transfertest {

namespace {

std::vector<std::string> optionsFor(FtpServerProcess::Behaviour behaviour, const FtpServerProcess::TlsIdentity* tls) {
    std::vector<std::string> options;
    switch (behaviour) {
    case FtpServerProcess::Behaviour::ShortRetr:
        options.emplace_back("--short-retr");
        break;
    case FtpServerProcess::Behaviour::RefusePort:
        options.emplace_back("--refuse-port");
        break;
    case FtpServerProcess::Behaviour::RefuseRetr:
        options.emplace_back("--refuse-retr");
        break;
    case FtpServerProcess::Behaviour::Normal:
        break;
    }
#ifdef _WIN32
    // The client's names are in its code page there, and a server on Windows reads them so.
    options.emplace_back("--ansi");
#endif
    if (tls != nullptr) {
        options.insert(options.end(), {"--tls", tls->certificate.string(), tls->key.string()});
    }
    return options;
}

} // namespace

int FreeLoopbackPort() {
    return testsupport::freeLoopbackPort();
}

#ifdef _WIN32

FtpServerProcess::FtpServerProcess(std::filesystem::path root, std::string user, std::string password,
                                   Behaviour behaviour, const TlsIdentity* tls)
    : m_root(std::move(root)) {
    std::filesystem::create_directories(m_root);
    m_brokered = std::make_unique<testsupport::BrokeredFtpServer>(m_root, user, password, optionsFor(behaviour, tls));
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
                                   Behaviour behaviour, const TlsIdentity* tls)
    : m_root(std::move(root)) {
    std::filesystem::create_directories(m_root);
    // A port freed a moment ago may be taken again before the server binds it: try a few. The server's
    // chatter would only clutter the test output.
    for (int attempt = 0; attempt < 5 && !m_process.running(); ++attempt) {
        m_port = FreeLoopbackPort();
        std::vector<std::string> args{
            "/usr/bin/python3", FTP_SERVER_SCRIPT, std::to_string(m_port), m_root.string(), user, password};
        for (std::string& option : optionsFor(behaviour, tls)) {
            args.push_back(std::move(option));
        }
        m_process.start(args, m_port, "/dev/null");
    }
    if (!m_process.running()) {
        throw std::runtime_error("the FTP server did not start");
    }
}

FtpServerProcess::~FtpServerProcess() {
    stop();
}

void FtpServerProcess::stop() {
    m_process.stop();
}

#endif

} // namespace transfertest
