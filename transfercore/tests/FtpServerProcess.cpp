#include "FtpServerProcess.h"

#include "TempEnvironment.h"
#include "TestSockets.h"

#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

#ifndef _WIN32
#include <csignal>
#include <sys/wait.h>
#endif

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
    case FtpServerProcess::Behaviour::Normal:
        break;
    }
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
    // A port freed a moment ago may be taken again before the server binds it: try a few.
    for (int attempt = 0; attempt < 5 && m_pid <= 0; ++attempt) {
        m_port = FreeLoopbackPort();
        std::vector<std::string> args{
            "/usr/bin/python3", FTP_SERVER_SCRIPT, std::to_string(m_port), m_root.string(), user, password};
        for (std::string& option : optionsFor(behaviour, tls)) {
            args.push_back(std::move(option));
        }
        // The server's chatter would only clutter the test output.
        const int pid = testsupport::SpawnProcess(args);
        if (pid < 0) {
            throw std::runtime_error("cannot start the FTP server");
        }
        m_pid = pid;

        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
        while (!testsupport::acceptsConnections(m_port)) {
            int status = 0;
            if (::waitpid(static_cast<pid_t>(m_pid), &status, WNOHANG) == m_pid) {
                m_pid = -1; // already gone, port probably taken
                break;
            }
            if (std::chrono::steady_clock::now() > deadline) {
                stop();
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    if (m_pid <= 0) {
        throw std::runtime_error("the FTP server did not start");
    }
}

FtpServerProcess::~FtpServerProcess() {
    stop();
}

void FtpServerProcess::stop() {
    if (m_pid <= 0) {
        return;
    }
    const auto pid = static_cast<pid_t>(m_pid);
    ::kill(pid, SIGTERM);
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    m_pid = -1;
}

#endif

} // namespace transfertest
