// What ends a protected session before the user name is sent, with every TLS backend: certificates that do not
// verify (served by a real server), servers that refuse AUTH TLS or break off the handshake (scripted), files
// of trusted certificates that cannot be read; and handshake failures read from memory.
#include "FtpServerProcess.h"
#include "FtpTestUtil.h"
#include "ScriptedServer.h"
#include "TestCertificates.h"

#include "NetMemoryByteStream.h"
#include "TempEnvironment.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>

using namespace std::chrono_literals;
using ftptest::EventLog;
using ftptest::ScriptedServer;
using ftptest::ServerSession;
using testing::Contains;
using testing::ElementsAre;
using testing::Not;
using testing::StartsWith;
using testsupport::Certificates;
using testsupport::FtpServerProcess;

namespace {

TEST(Tls, HandshakeFailuresFromMemory) {
    struct Row {
        const char* name;
        std::string serverBytes;
        net::TNetMemoryByteStream::AtEnd atEnd;
        std::string expected;
    };
    const Row rows[] = {
        {"server stays silent", "", net::TNetMemoryByteStream::AtEnd::Silence, "handshake: server silent"},
        {"server hangs up", "", net::TNetMemoryByteStream::AtEnd::Close, "handshake: server closed"},
        {"server answers in clear text", "500 Command not understood.\r\n", net::TNetMemoryByteStream::AtEnd::Close,
         "handshake: clear text"},
    };
    const auto tls = net::MakeTlsClient({Certificates().ca.string()});
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        net::TNetManualClock clock;
        const auto start = clock.Now();
        net::TNetMemoryByteStream stream(clock, row.serverBytes, row.atEnd);
        EXPECT_EQ(
            ftptest::failureOf([&] { tls->Protect(stream, "localhost", net::TNetTlsUse::Control, clock, 60000ms); }),
            row.expected);
        ASSERT_FALSE(stream.Sent().empty());
        EXPECT_EQ(stream.Sent()[0], '\x16') << "the client hello went out first";
        // A silent server costs the idle time-out on the client's clock, and no wall time.
        EXPECT_EQ(clock.Now() - start, row.atEnd == net::TNetMemoryByteStream::AtEnd::Silence ? 60000ms : 0ms);
    }
}

TEST(Tls, RefusalsEndTheSessionBeforeTheUserName) {
    using Behaviour = FtpServerProcess::Behaviour;
    // A real server, whose record of commands shows what reached it: with TLS and the identity, or without
    // TLS and the behaviour. A scripted one for clear text after "234", none for trust that cannot be read.
    enum class Server { Real, ClearTextAfterAccepting, None };
    struct Row {
        const char* name;
        Server server;
        const testsupport::Identity* identity;
        Behaviour behaviour;
        std::string host;
        std::filesystem::path trust;
        std::string expected;
    };
    const auto& certificates = Certificates();
    const auto ca = certificates.ca;
    const auto normal = Behaviour::Normal;
    const Row rows[] = {
        {"certificate from a CA nobody trusts", Server::Real, &certificates.untrusted, normal, "localhost", ca,
         "certificate: untrusted"},
        {"certificate for another host name", Server::Real, &certificates.wrongName, normal, "localhost", ca,
         "certificate: name"},
        {"certificate without the address connected to", Server::Real, &certificates.wrongName, normal, "127.0.0.1", ca,
         "certificate: name"},
        {"certificate without the IPv6 address connected to", Server::Real, &certificates.wrongName, normal, "[::1]",
         ca, "certificate: name"},
        {"expired certificate", Server::Real, &certificates.expired, normal, "localhost", ca, "certificate: expired"},
        {"AUTH TLS answered with 500", Server::Real, nullptr, normal, "localhost", ca, "not offered: 500"},
        {"server hangs up after the client hello", Server::Real, nullptr, Behaviour::ClosesAfterAuth, "localhost", ca,
         "handshake: server closed"},
        {"server resets after the client hello", Server::Real, nullptr, Behaviour::ResetsAfterAuth, "localhost", ca,
         "handshake: server reset"},
        {"server silent after accepting AUTH TLS", Server::Real, nullptr, Behaviour::SilentAfterAuth, "localhost", ca,
         "handshake: server silent"},
        {"clear text after accepting AUTH TLS", Server::ClearTextAfterAccepting, nullptr, normal, "localhost", ca,
         "handshake: clear text"},
        {"CA file that does not exist", Server::None, nullptr, normal, "localhost", "/nonexistent/ca.pem",
         "trust unreadable"},
        {"CA file without certificates", Server::None, nullptr, normal, "localhost", certificates.empty,
         "trust unreadable"},
    };
    testsupport::TempFolder work;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        if (row.behaviour == Behaviour::ResetsAfterAuth && testsupport::RunningUnderWine()) {
            continue; // wine reports a peer's reset as an orderly close
        }
        std::unique_ptr<FtpServerProcess> real;
        std::optional<ScriptedServer> scripted;
        const std::filesystem::path commandLog = work.path() / (std::string(row.name) + ".log");
        if (row.server == Server::Real) {
            FtpServerProcess::TlsIdentity identity;
            FtpServerProcess::Settings settings;
            if (row.identity != nullptr) {
                identity = {row.identity->certificate, row.identity->key};
                settings.tls = &identity;
            }
            settings.behaviour = row.behaviour;
            settings.commandLog = commandLog;
            settings.address = row.host == "[::1]" ? "::1" : "127.0.0.1";
            real = std::make_unique<FtpServerProcess>(work.path() / row.name, "bob", "secret", settings);
        } else {
            scripted.emplace([&](ServerSession& s) {
                if (row.server == Server::ClearTextAfterAccepting) {
                    s.reply("220 ready");
                    s.readCommand();
                    s.send("234 Proceed with negotiation.\r\n230 User logged in, proceed.\r\n");
                    s.waitForClose();
                }
            });
        }
        net::TNetFTP ftp;
        EventLog log;
        log.attach(ftp);
        const bool silent = row.behaviour == Behaviour::SilentAfterAuth;
        ftptest::aimAt(ftp, real ? real->port() : scripted->port(), silent ? 500ms : 5000ms);
        ftp.Host = row.host;
        ftp.UseTLS = true;
        ftp.TLSCAFile = row.trust.string();
        EXPECT_EQ(ftptest::failureOf([&] { ftp.OpenSession(true); }), row.expected);
        EXPECT_FALSE(ftp.IsConnected());
        if (row.server == Server::None) {
            scripted->knock();
            EXPECT_THAT(scripted->finish(), ElementsAre());
            EXPECT_THAT(log.events, ElementsAre());
            continue;
        }
        EXPECT_THAT(log.events, ElementsAre("connected", "disconnected"));
        if (real) {
            real.reset(); // its record is complete once it has stopped
            const auto commands = ftptest::commandsIn(testsupport::ReadFileBytes(commandLog));
            EXPECT_THAT(commands, Contains("AUTH TLS"));
            EXPECT_THAT(commands, Not(Contains(StartsWith("USER"))));
        } else {
            EXPECT_THAT(scripted->finish(), ElementsAre("AUTH TLS"));
            EXPECT_EQ(scripted->error(), "");
        }
    }
}

} // namespace
