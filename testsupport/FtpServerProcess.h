// A real FTP server on a free loopback port for one test (ftp_server.py: pyftpdlib, or vsftpd), stopped at
// the end. Under wine the build machine's broker starts and stops it (BrokeredFtpServer).
#pragma once

#include "BrokeredFtpServer.h"
#include "ServerProcess.h"

#include <filesystem>
#include <memory>
#include <string>

namespace testsupport {

class FtpServerProcess {
public:
    enum class Server { Pyftpdlib, Vsftpd };
    // pyftpdlib's misbehaviours (see ftp_server.py); the last three accept AUTH TLS and then break the
    // handshake off.
    enum class Behaviour {
        Normal,
        ShortRetr,
        StallsRetr,
        RefusePort,
        RefuseRetr,
        SilentAfterAuth,
        ClosesAfterAuth,
        ResetsAfterAuth
    };
    // A certificate and its key (PEM files), for a server that insists on explicit TLS.
    struct TlsIdentity {
        std::filesystem::path certificate;
        std::filesystem::path key;
    };
    struct Settings {
        Server server = Server::Pyftpdlib;
        Behaviour behaviour = Behaviour::Normal;
        const TlsIdentity* tls = nullptr;
        // vsftpd with TLS: data connections must resume the control connection's TLS session.
        bool sessionReuse = false;
        // Where the server records the commands it receives; empty: nowhere.
        std::filesystem::path commandLog;
        // Where it listens: 127.0.0.1, or ::1 for IPv6.
        std::string address = "127.0.0.1";
    };

    // Raises FtpServerUnavailable when the server cannot run on this machine (vsftpd without root).
    FtpServerProcess(std::filesystem::path root, std::string user, std::string password, const Settings& settings);
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
    std::unique_ptr<BrokeredFtpServer> m_brokered;
#else
    ServerProcess m_process;
#endif
};

} // namespace testsupport
