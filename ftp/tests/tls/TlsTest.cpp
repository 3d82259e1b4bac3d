// Explicit TLS against scripted servers that play the server's side of TLS with OpenSSL: the commands of a
// protected session, and protected data connections that end cleanly, are cut short or go silent.
#include "FtpTestUtil.h"
#include "ScriptedServer.h"
#include "TlsTestServer.h"

#include "TempEnvironment.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace std::chrono_literals;
using ftptest::DataLink;
using ftptest::EventLog;
using ftptest::failureOf;
using ftptest::ScriptedServer;
using ftptest::ServerSession;
using ftptest::TlsServerContext;
using ftptest::TlsServerLink;
using testing::ElementsAre;
using testing::ElementsAreArray;
using testing::StartsWith;
using testsupport::Certificates;

namespace {

// A command read over TLS, recorded with the others.
std::string readTls(ServerSession& s, TlsServerLink& tls) {
    std::string line = tls.readLine();
    if (!line.empty()) {
        s.record(line);
    }
    return line;
}

// The server's side of a protected login: AUTH TLS, the handshake, user, pass, PBSZ, PROT, type, syst.
void protectedLogin(ServerSession& s, TlsServerLink& tls) {
    s.reply("220 ready");
    s.readCommand();
    s.reply("234 Proceed with negotiation.");
    if (!tls.accept()) {
        throw std::runtime_error("the client refused the handshake");
    }
    for (const char* answer : {"331 Password please", "230 Logged in", "200 PBSZ set to 0.", "200 PROT now Private.",
                               "200 Binary", "215 UNIX Type: L8"}) {
        readTls(s, tls);
        tls.reply(answer);
    }
}

TEST(Tls, ProtectedSessionsMoveDataOnlyUnderTls) {
    // How the server ends the data: with its TLS close, with its TLS close and then waiting for the
    // client's before it hangs up, by hanging up alone, or not at all.
    enum class End { Clean, AwaitsClientClose, WithoutTlsClose, Silent };
    struct Row {
        const char* name;
        bool passive;
        bool upload;
        End end;
        std::filesystem::path trust; // empty: the test CA
        std::string expected = "no failure";
        std::string address = "127.0.0.1"; // the server's
    };
    const auto& certificates = Certificates();
    const Row rows[] = {
        {"active download", false, false, End::Clean, {}},
        {"passive download", true, false, End::Clean, {}},
        {"active upload", false, true, End::Clean, {}},
        {"passive upload", true, true, End::Clean, {}},
        {"active download over IPv6", false, false, End::Clean, {}, "no failure", "::1"},
        {"passive upload over IPv6", true, true, End::Clean, {}, "no failure", "::1"},
        {"the server's own certificate as the only trust", true, false, End::Clean, certificates.good.certificate},
        {"small download from a server that awaits the client's TLS close", false, false, End::AwaitsClientClose, {}},
        {"download cut short without the TLS close",
         false,
         false,
         End::WithoutTlsClose,
         {},
         "broken: the server ended the data connection without closing TLS, so the data may be incomplete"},
        {"silence on the protected data connection", true, false, End::Silent, {}, "socket error 10060"},
        {"protected upload nobody reads", false, true, End::Silent, {}, "socket error 10060"},
    };
    for (const Row& row : rows) {
        // An upload nobody reads must fill every buffer on the way before a send has to wait.
        const std::size_t size = row.end == End::AwaitsClientClose      ? 1000
                                 : row.end == End::Silent && row.upload ? 32u << 20
                                                                        : 100000;
        const std::string bytes = ftptest::pattern(size);
        SCOPED_TRACE(row.name);
        const TlsServerContext context(certificates.good);
        std::string received;
        ScriptedServer server(row.address, [&](ServerSession& s) {
            TlsServerLink control(context, s.fd());
            protectedLogin(s, control);
            readTls(s, control);
            control.reply(row.passive ? s.openPassive() : "200 PORT ok");
            readTls(s, control);
            DataLink data = row.passive ? s.acceptPassive() : DataLink();
            control.reply("150 Opening data connection");
            if (!row.passive) {
                data = s.connectToPort();
            }
            TlsServerLink tls(context, data.fd());
            if (!tls.accept()) {
                throw std::runtime_error("data handshake failed");
            }
            s.record(tls.resumed() ? "data resumed" : "data not resumed");
            if (row.end == End::Silent) {
                s.waitForClose();
                return;
            }
            if (row.upload) {
                received = tls.receiveAll();
            } else {
                tls.send(row.end == End::WithoutTlsClose ? bytes.substr(0, 50000) : bytes);
            }
            if (row.end == End::Clean || row.end == End::AwaitsClientClose) {
                tls.closeNotify();
            }
            if (row.end == End::AwaitsClientClose) {
                tls.receiveAll();
            }
            data.close();
            control.reply("226 Transfer complete");
            s.waitForClose();
        });
        net::TNetFTP ftp;
        EventLog log;
        log.attach(ftp);
        ftptest::aimAt(ftp, server.port(), row.end == End::Silent ? 1000ms : 5000ms);
        // An IPv6 address is checked against the certificate's IPv6 entry.
        ftp.Host = row.address == "::1" ? "[::1]" : "localhost";
        ftp.Passive = row.passive;
        ftp.UseTLS = true;
        ftp.TLSCAFile = (row.trust.empty() ? certificates.ca : row.trust).string();
        ftp.OpenSession(true);
        net::TNetMemoryStream stream(row.upload ? bytes : std::string());
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(failureOf([&] {
                      if (row.upload) {
                          ftp.UploadFromStream(stream, "f", false);
                      } else {
                          ftp.DownloadToStream("f", stream);
                      }
                  }),
                  row.expected);
        const auto took = std::chrono::steady_clock::now() - start;
        if (row.end == End::Silent) {
            // One idle time-out, not a second one for the TLS close to a peer that does not read.
            EXPECT_GE(took, 990ms);
            EXPECT_LT(took, 1900ms);
        } else {
            // Bytes below a wake-up mark would lie unseen until the idle time-out.
            EXPECT_LT(took, 2500ms);
        }
        ftp.CloseConnection();
        const std::vector<std::string> commands = server.finish();
        EXPECT_EQ(server.error(), "");
        ASSERT_EQ(commands.size(), 10u);
        EXPECT_THAT(std::vector<std::string>(commands.begin(), commands.begin() + 7),
                    ElementsAre("AUTH TLS", "user bob", "pass secret", "PBSZ 0", "PROT P", "type I", "syst"));
        EXPECT_THAT(commands[7], StartsWith(row.passive ? "EPSV" : row.address == "::1" ? "EPRT |2|::1|" : "PORT "));
        EXPECT_EQ(commands[8], row.upload ? "STOR f" : "retr f");
        EXPECT_EQ(commands[9], "data resumed");
        if (row.expected == "no failure") {
            EXPECT_EQ(row.upload ? received : stream.Bytes(), bytes);
            const auto size = static_cast<std::int64_t>(bytes.size());
            ftptest::expectWorkEvents(log, row.upload ? 1 : 0, row.upload ? size : 0, size);
        }
    }
}

} // namespace
