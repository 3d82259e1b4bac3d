// A real FTP server on a free loopback port for one test, stopped at the end. Under
// wine the build machine's broker starts and stops it (testsupport::BrokeredFtpServer).
#pragma once

#include "BrokeredFtpServer.h"
#include "ServerProcess.h"

#include <filesystem>
#include <memory>
#include <string>

namespace transfertest {

class FtpServerProcess {
public:
    enum class Behaviour { Normal, ShortRetr, RefusePort, RefuseRetr };
    // A certificate and its key (PEM files), for a server that insists on explicit TLS.
    struct TlsIdentity {
        std::filesystem::path certificate;
        std::filesystem::path key;
    };

    FtpServerProcess(std::filesystem::path root, std::string user, std::string password,
                     Behaviour behaviour = Behaviour::Normal, const TlsIdentity* tls = nullptr);
    ~FtpServerProcess();
    FtpServerProcess(const FtpServerProcess&) = delete;
    FtpServerProcess& operator=(const FtpServerProcess&) = delete;

    int port() const { return m_port; }
    const std::filesystem::path& root() const { return m_root; }

private:
    void stop();

    std::filesystem::path m_root;
    int m_port = 0;
#ifdef _WIN32
    std::unique_ptr<testsupport::BrokeredFtpServer> m_brokered;
#else
    testsupport::ServerProcess m_process;
#endif
};

// A loopback port on which nothing listens (taken from the system, then released).
int FreeLoopbackPort();

} // namespace transfertest
