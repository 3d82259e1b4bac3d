// Explicit TLS against real servers from the system's packages on both loopback addresses: vsftpd, which
// insists on TLS for the login and the data (and natively on data connections that resume the control
// connection's session), and pyftpdlib's TLS handler; trusting the test CA through sslca, and as one of the
// system's roots; and vsftpd in clear text over IPv6. Under wine the broker starts the servers on the build
// machine, and vsftpd does not insist on reuse there: wine resumes no session.
#include "FtpServerProcess.h"
#include "FtpTestUtil.h"
#include "TestCertificates.h"

#include "TempEnvironment.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <random>

using namespace std::chrono_literals;
namespace fs = std::filesystem;
using testsupport::FtpServerProcess;

namespace {

constexpr const char* kPassword = "Tls-test-1";

enum class Trust { SslCa, SystemRoots, ClearText };

struct ServerCase {
    const char* name;
    FtpServerProcess::Server server;
    Trust trust;
    const char* address = "127.0.0.1";
};

// Named in the test list by its name alone.
void PrintTo(const ServerCase& serverCase, std::ostream* out) {
    *out << serverCase.name;
}

class RealTlsServer : public testing::TestWithParam<ServerCase> {
protected:
    void SetUp() override {
        const auto& certificates = testsupport::Certificates();
        m_identity = {certificates.good.certificate, certificates.good.key};
        const bool vsftpd = GetParam().server == FtpServerProcess::Server::Vsftpd;
        // vsftpd logs in a local account: a throw-away one with a name of its own.
        m_user = vsftpd ? "pytftps" + std::to_string(std::random_device()() % 1000000) : "tester";
        FtpServerProcess::Settings settings;
        settings.server = GetParam().server;
        settings.tls = GetParam().trust == Trust::ClearText ? nullptr : &m_identity;
        settings.address = GetParam().address;
        settings.sessionReuse = !testsupport::RunningUnderWine();
        settings.commandLog = m_root.path() / "commands.log";
        try {
            m_server = std::make_unique<FtpServerProcess>(m_root.path() / "served", m_user, kPassword, settings);
        } catch (const testsupport::FtpServerUnavailable& why) {
            GTEST_SKIP() << why.what();
        }
        if (GetParam().trust == Trust::SystemRoots) {
            m_trusted.emplace();
            if (!m_trusted->trusted()) {
                GTEST_SKIP() << "the test CA cannot be made one of the system's roots here";
            }
        }
    }

    testsupport::TempFolder m_root;
    testsupport::TempFolder m_local;
    FtpServerProcess::TlsIdentity m_identity;
    std::string m_user;
    std::unique_ptr<FtpServerProcess> m_server;
    std::optional<testsupport::ScopedTrustedCa> m_trusted;
};

TEST_P(RealTlsServer, TransfersByteForByte) {
    struct Row {
        const char* name;
        std::size_t size;
    };
    const Row rows[] = {{"empty", 0}, {"one byte", 1}, {"one past a piece", 32769}, {"10 MiB", 10u << 20}};
    for (const bool passive : {false, true}) {
        net::TNetFTP ftp;
        ftptest::EventLog log;
        log.attach(ftp);
        ftptest::aimAt(ftp, m_server->port(), 10000ms);
        // Over IPv6 the certificate's IPv6 entry is checked; over IPv4 its host name.
        ftp.Host = GetParam().address == std::string("::1") ? "[::1]" : "localhost";
        ftp.User = m_user;
        ftp.Password = kPassword;
        ftp.Passive = passive;
        ftp.UseTLS = GetParam().trust != Trust::ClearText;
        ftp.TLSCAFile = m_trusted ? std::string() : testsupport::Certificates().ca.string();
        ftp.OpenSession(true);
        for (const Row& row : rows) {
            SCOPED_TRACE(std::string(passive ? "passive, " : "active, ") + row.name);
            const std::string bytes = ftptest::pattern(row.size);
            const std::string name = std::string(passive ? "p" : "a") + std::to_string(row.size) + ".bin";
            const fs::path source = m_local.path() / ("up-" + name);
            const fs::path target = m_local.path() / ("down-" + name);
            testsupport::WriteFileBytes(source, bytes);
            const auto size = static_cast<std::int64_t>(row.size);

            log.events.clear();
            ftp.UploadFile(source.string(), name, false);
            EXPECT_EQ(testsupport::ReadFileBytes(m_server->root() / name), bytes);
            ftptest::expectWorkEvents(log, 1, size, size);
            EXPECT_EQ(ftp.QueryFileSize(name), size);

            log.events.clear();
            ftp.DownloadFile(name, target.string(), true);
            EXPECT_EQ(testsupport::ReadFileBytes(target), bytes);
            ftptest::expectWorkEvents(log, 0, 0, size);
        }
        ftp.CloseConnection();
    }
    m_server.reset(); // its record is complete once it has stopped
    const std::string protocol = testsupport::ReadFileBytes(m_root.path() / "commands.log");
    const auto commands = ftptest::commandsIn(protocol);
    // TLS before the user name, the data protected, and no data connection without the session.
    ASSERT_FALSE(commands.empty());
    if (GetParam().trust == Trust::ClearText) {
        return;
    }
    EXPECT_EQ(commands.front(), "AUTH TLS");
    EXPECT_THAT(commands, testing::Contains("PROT P"));
    EXPECT_EQ(protocol.find("session reuse required"), std::string::npos);
}

// A protected download that goes silent half-way ends after one idle time-out, as in clear text, keeping what
// came: no second wait for a TLS close that a server which does not read would never take.
TEST(RealTlsServerFault, SilenceOnAProtectedDownloadEndsAfterOneIdleTimeOut) {
    const auto& certificates = testsupport::Certificates();
    const FtpServerProcess::TlsIdentity identity{certificates.good.certificate, certificates.good.key};
    testsupport::TempFolder root;
    FtpServerProcess server(root.path() / "served", "bob", "secret", FtpServerProcess::Behaviour::StallsRetr,
                            &identity);
    const std::string bytes = ftptest::pattern(200000);
    testsupport::WriteFileBytes(server.root() / "f", bytes);
    for (const bool passive : {false, true}) {
        SCOPED_TRACE(passive ? "passive" : "active");
        net::TNetFTP ftp;
        ftptest::aimAt(ftp, server.port(), 1000ms);
        ftp.Host = "localhost";
        ftp.Passive = passive;
        ftp.UseTLS = true;
        ftp.TLSCAFile = certificates.ca.string();
        ftp.OpenSession(true);
        net::TNetMemoryStream stream;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(ftptest::failureOf([&] { ftp.DownloadToStream("f", stream); }), "socket error 10060");
        const auto took = std::chrono::steady_clock::now() - start;
        EXPECT_GE(took, 990ms);
        EXPECT_LT(took, 1900ms);
        EXPECT_EQ(stream.Bytes(), bytes.substr(0, 100000));
    }
}

using Server = FtpServerProcess::Server;
INSTANTIATE_TEST_SUITE_P(Servers, RealTlsServer,
                         testing::Values(ServerCase{"vsftpd_sslca", Server::Vsftpd, Trust::SslCa},
                                         ServerCase{"vsftpd_systemRoots", Server::Vsftpd, Trust::SystemRoots},
                                         ServerCase{"pyftpdlib_sslca", Server::Pyftpdlib, Trust::SslCa},
                                         ServerCase{"pyftpdlib_systemRoots", Server::Pyftpdlib, Trust::SystemRoots},
                                         ServerCase{"vsftpd_IPv6", Server::Vsftpd, Trust::SslCa, "::1"},
                                         ServerCase{"vsftpd_IPv6_clear", Server::Vsftpd, Trust::ClearText, "::1"},
                                         ServerCase{"pyftpdlib_IPv6", Server::Pyftpdlib, Trust::SslCa, "::1"}),
                         [](const testing::TestParamInfo<ServerCase>& info) { return info.param.name; });

} // namespace
