// A real FTP server for a test that runs under wine: started on the build machine by the broker that
// scripts/test windows runs (ftp_server_broker.py), because such a test cannot start and stop the build
// machine's programs itself. Natively the tests start their servers as child processes instead.
#pragma once

#include "TestSockets.h"

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace testsupport {

// A server that cannot run on the build machine (vsftpd without root, say); the message says why.
class FtpServerUnavailable : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class BrokeredFtpServer {
public:
    // True when a broker is there to ask (PYTAGORAS_FTP_BROKER names its loopback port).
    static bool available();

    // Asks for a server that serves root to user with password; options go to the server script
    // (ftp_server.py). Raises FtpServerUnavailable when the server cannot run there, std::runtime_error
    // when there is no broker or no server.
    BrokeredFtpServer(const std::filesystem::path& root, const std::string& user, const std::string& password,
                      const std::vector<std::string>& options = {});
    // Closing the connection to the broker stops the server.
    ~BrokeredFtpServer() = default;
    BrokeredFtpServer(const BrokeredFtpServer&) = delete;
    BrokeredFtpServer& operator=(const BrokeredFtpServer&) = delete;

    int port() const { return m_port; }

    // Has the broker make the TLS tests' certificates in folder (make_test_certificates.sh).
    static void MakeCertificates(const std::filesystem::path& folder);

private:
    TestSocket m_link;
    int m_port = 0;
};

} // namespace testsupport
