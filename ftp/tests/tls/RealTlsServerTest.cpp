// Explicit TLS against real servers from the system's packages on both loopback addresses: vsftpd, which
// insists on TLS for the login and the data and on data connections that resume the control connection's
// session, and pyftpdlib's TLS handler; and vsftpd in clear text over IPv6.
#include "FtpTestUtil.h"
#include "ScriptedServer.h"
#include "ServerProcess.h"
#include "TestCertificates.h"

#include "TempEnvironment.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <pwd.h>
#include <unistd.h>

using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

constexpr const char* kVsftpd = "/usr/sbin/vsftpd";
constexpr const char* kPython = "/usr/bin/python3";
constexpr const char* kPassword = "Tls-test-1";
// Marks the throw-away accounts of these tests, so that one left by a test that died can be found again.
constexpr const char* kAccountComment = "Pytagoras FTPS test";

int runQuietly(std::vector<std::string> args, const std::string& input = "/dev/null") {
    testsupport::SpawnOptions options;
    options.standardInput = input;
    return testsupport::WaitForExit(testsupport::SpawnProcess(std::move(args), options));
}

// Where a server listens and whether it insists on TLS.
struct Listening {
    std::string address; // 127.0.0.1 or ::1
    bool tls = true;
};

class TlsServer {
public:
    explicit TlsServer(Listening listening) : m_listening(std::move(listening)) {}
    virtual ~TlsServer() = default;
    // Why the server cannot run here; empty when it runs.
    virtual std::string start() = 0;
    virtual int port() const = 0;
    virtual std::string user() const = 0;
    virtual fs::path served() const = 0;
    // The server's record of the commands it received, when it keeps one.
    virtual std::string protocolLog() const { return std::string(); }

protected:
    Listening m_listening;
};

// vsftpd needs a real local account for a login with a password: a throw-away one, made and removed here.
class Vsftpd final : public TlsServer {
public:
    using TlsServer::TlsServer;
    ~Vsftpd() override {
        m_process.stop();
        if (m_accountMade) {
            runQuietly({"/usr/sbin/userdel", m_user});
        }
    }

    std::string start() override {
        if (::geteuid() != 0) {
            return "vsftpd needs root: it logs in a local account and drops to it";
        }
        if (::access(kVsftpd, X_OK) != 0) {
            return std::string(kVsftpd) + " is not installed (scripts/setup-deps installs it)";
        }
        removeStaleAccounts();
        // The server's process for the account must reach the folder it serves.
        fs::permissions(m_root.path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                           fs::perms::others_read | fs::perms::others_exec);
        fs::create_directory(served());
        fs::create_directory(m_root.path() / "empty");
        m_user = "pytftps" + std::to_string(::getpid());
        if (runQuietly({"/usr/sbin/useradd", "--no-create-home", "--home-dir", served().string(), "--shell", "/bin/sh",
                        "--comment", kAccountComment, m_user}) != 0) {
            return "useradd failed";
        }
        m_accountMade = true;
        testsupport::WriteFileBytes(m_root.path() / "password", m_user + ":" + kPassword + "\n");
        if (runQuietly({"/usr/sbin/chpasswd"}, (m_root.path() / "password").string()) != 0) {
            return "chpasswd failed";
        }
        const passwd* account = ::getpwnam(m_user.c_str());
        if (account == nullptr || ::chown(served().c_str(), account->pw_uid, account->pw_gid) != 0) {
            return "the served folder cannot be given to " + m_user;
        }
        for (int attempt = 0; attempt < 3; ++attempt) {
            m_port = testsupport::freeLoopbackPort(m_listening.address);
            writeConfiguration();
            if (m_process.start({kVsftpd, (m_root.path() / "vsftpd.conf").string()}, m_port,
                                m_root.path() / "vsftpd.out", m_listening.address)) {
                return std::string();
            }
        }
        return "vsftpd did not start: " + testsupport::ReadFileBytes(m_root.path() / "vsftpd.out");
    }

    int port() const override { return m_port; }
    std::string user() const override { return m_user; }
    fs::path served() const override { return m_root.path() / "served"; }
    std::string protocolLog() const override { return testsupport::ReadFileBytes(m_root.path() / "vsftpd.log"); }

private:
    void writeConfiguration() const {
        const auto& certificates = ftptest::Certificates();
        const bool ipv6 = m_listening.address == "::1";
        const std::string lines[] = {
            ipv6 ? "listen=NO" : "listen=YES", ipv6 ? "listen_ipv6=YES" : "listen_ipv6=NO", "background=NO",
            (ipv6 ? "listen_address6=" : "listen_address=") + m_listening.address,
            "listen_port=" + std::to_string(m_port), "seccomp_sandbox=NO", "connect_from_port_20=NO",
            "anonymous_enable=NO", "local_enable=YES", "write_enable=YES", "local_umask=022",
            "local_root=" + served().string(), "secure_chroot_dir=" + (m_root.path() / "empty").string(),
            "pasv_enable=YES", "port_enable=YES", "max_clients=0", "max_per_ip=0",
            // Explicit TLS only, for the login and the data, with data connections that resume
            // the control connection's session.
            m_listening.tls ? "ssl_enable=YES" : "ssl_enable=NO", "force_local_logins_ssl=YES",
            "force_local_data_ssl=YES", "require_ssl_reuse=YES",
            "rsa_cert_file=" + certificates.good.certificate.string(),
            "rsa_private_key_file=" + certificates.good.key.string(),
            // Every command in the log, and whether each TLS connection resumed a session.
            "xferlog_enable=YES", "xferlog_std_format=NO", "log_ftp_protocol=YES", "debug_ssl=YES",
            "vsftpd_log_file=" + (m_root.path() / "vsftpd.log").string()};
        std::string text;
        for (const std::string& line : lines) {
            text += line + "\n";
        }
        testsupport::WriteFileBytes(m_root.path() / "vsftpd.conf", text);
    }

    // Accounts left by test processes that died before removing theirs.
    static void removeStaleAccounts() {
        std::vector<std::string> stale;
        ::setpwent();
        while (const passwd* account = ::getpwent()) {
            const std::string name = account->pw_name;
            if (std::string(account->pw_gecos) == kAccountComment && name.rfind("pytftps", 0) == 0) {
                const pid_t owner = std::atoi(name.c_str() + 7);
                if (owner > 0 && ::kill(owner, 0) != 0 && errno == ESRCH) {
                    stale.push_back(name);
                }
            }
        }
        ::endpwent();
        for (const std::string& name : stale) {
            runQuietly({"/usr/sbin/userdel", name});
        }
    }

    testsupport::TempFolder m_root;
    testsupport::ServerProcess m_process;
    std::string m_user;
    bool m_accountMade = false;
    int m_port = 0;
};

class Pyftpdlib final : public TlsServer {
public:
    using TlsServer::TlsServer;
    std::string start() override {
        const std::string check = std::string(kPython) + " -c 'import pyftpdlib, OpenSSL' >/dev/null 2>&1";
        if (std::system(check.c_str()) != 0) {
            return std::string(kPython) + " lacks pyftpdlib or OpenSSL (python3-pyftpdlib, python3-openssl)";
        }
        fs::create_directory(served());
        const auto& certificates = ftptest::Certificates();
        for (int attempt = 0; attempt < 3; ++attempt) {
            m_port = testsupport::freeLoopbackPort(m_listening.address);
            if (m_process.start({kPython, FTP_SERVER_SCRIPT, std::to_string(m_port), served().string(), user(),
                                 kPassword, "--tls", certificates.good.certificate.string(),
                                 certificates.good.key.string(), "--host", m_listening.address},
                                m_port, m_root.path() / "server.log", m_listening.address)) {
                return std::string();
            }
        }
        return "pyftpdlib did not start: " + testsupport::ReadFileBytes(m_root.path() / "server.log");
    }

    int port() const override { return m_port; }
    std::string user() const override { return "tester"; }
    fs::path served() const override { return m_root.path() / "served"; }

private:
    testsupport::TempFolder m_root;
    testsupport::ServerProcess m_process;
    int m_port = 0;
};

enum class ServerKind { Vsftpd, Pyftpdlib };

struct ServerCase {
    const char* name;
    ServerKind kind;
    Listening listening;
};

class RealTlsServer : public testing::TestWithParam<ServerCase> {
protected:
    void SetUp() override {
        if (GetParam().kind == ServerKind::Vsftpd) {
            m_server = std::make_unique<Vsftpd>(GetParam().listening);
        } else {
            m_server = std::make_unique<Pyftpdlib>(GetParam().listening);
        }
        const std::string missing = m_server->start();
        if (!missing.empty()) {
            GTEST_SKIP() << missing;
        }
    }

    std::unique_ptr<TlsServer> m_server;
    testsupport::TempFolder m_local;
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
        const Listening& listening = GetParam().listening;
        ftptest::aimAt(ftp, m_server->port(), 10000ms);
        // Over IPv6 the certificate's IPv6 entry is checked; over IPv4 its host name.
        ftp.Host = listening.address == "::1" ? "[::1]" : "localhost";
        ftp.User = m_server->user();
        ftp.Password = kPassword;
        ftp.Passive = passive;
        ftp.UseTLS = listening.tls;
        ftp.TLSCAFile = ftptest::Certificates().ca.string();
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
            EXPECT_EQ(testsupport::ReadFileBytes(m_server->served() / name), bytes);
            ftptest::expectWorkEvents(log, 1, size, size);
            EXPECT_EQ(ftp.QueryFileSize(name), size);

            log.events.clear();
            ftp.DownloadFile(name, target.string(), true);
            EXPECT_EQ(testsupport::ReadFileBytes(target), bytes);
            ftptest::expectWorkEvents(log, 0, 0, size);
        }
        ftp.CloseConnection();
    }
    const std::string protocol = m_server->protocolLog();
    if (!protocol.empty() && GetParam().listening.tls) {
        // TLS before the user name, the data protected, and no data connection without the session.
        EXPECT_LT(protocol.find("\"AUTH TLS\""), protocol.find("\"USER "));
        EXPECT_NE(protocol.find("\"PROT P\""), std::string::npos);
        EXPECT_EQ(protocol.find("session reuse required"), std::string::npos);
    }
}

INSTANTIATE_TEST_SUITE_P(Servers, RealTlsServer,
                         testing::Values(ServerCase{"vsftpd", ServerKind::Vsftpd, {"127.0.0.1"}},
                                         ServerCase{"vsftpd_IPv6", ServerKind::Vsftpd, {"::1"}},
                                         ServerCase{"vsftpd_IPv6_clear", ServerKind::Vsftpd, {"::1", false}},
                                         ServerCase{"pyftpdlib", ServerKind::Pyftpdlib, {"127.0.0.1"}},
                                         ServerCase{"pyftpdlib_IPv6", ServerKind::Pyftpdlib, {"::1"}}),
                         [](const testing::TestParamInfo<ServerCase>& info) { return info.param.name; });

} // namespace
