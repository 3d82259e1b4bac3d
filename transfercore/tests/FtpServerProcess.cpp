#include "FtpServerProcess.h"

#include "TempEnvironment.h"

#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <netinet/in.h>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace transfertest {

namespace {

sockaddr_in loopback(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    return address;
}

bool accepts(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    const sockaddr_in address = loopback(port);
    const bool ok = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return ok;
}

} // namespace

int FreeLoopbackPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = loopback(0);
    socklen_t length = sizeof address;
    if (fd < 0 || ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        throw std::runtime_error("no free loopback port");
    }
    ::close(fd);
    return ntohs(address.sin_port);
}

FtpServerProcess::FtpServerProcess(std::filesystem::path root, std::string user, std::string password,
                                   Behaviour behaviour, const TlsIdentity* tls)
    : m_root(std::move(root)) {
    std::filesystem::create_directories(m_root);
    // A port freed a moment ago may be taken again before the server binds it: try a few.
    for (int attempt = 0; attempt < 5 && m_pid <= 0; ++attempt) {
        m_port = FreeLoopbackPort();
        std::vector<std::string> args{
            "/usr/bin/python3", FTP_SERVER_SCRIPT, std::to_string(m_port), m_root.string(), user, password};
        if (behaviour == Behaviour::ShortRetr) {
            args.emplace_back("--short-retr");
        } else if (behaviour == Behaviour::RefusePort) {
            args.emplace_back("--refuse-port");
        }
        if (tls != nullptr) {
            args.insert(args.end(), {"--tls", tls->certificate.string(), tls->key.string()});
        }
        // The server's chatter would only clutter the test output.
        const int pid = testsupport::SpawnProcess(args);
        if (pid < 0) {
            throw std::runtime_error("cannot start the FTP server");
        }
        m_pid = pid;

        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
        while (!accepts(m_port)) {
            int status = 0;
            if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
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
    ::kill(m_pid, SIGTERM);
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (::waitpid(m_pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    m_pid = -1;
}

} // namespace transfertest
