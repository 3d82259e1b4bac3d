// Control connection and session commands against the scripted server.
#include "FtpTestUtil.h"
#include "ScriptedServer.h"
#include "TestSockets.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <thread>

using namespace std::chrono_literals;
using ftptest::EventLog;
using ftptest::ScriptedServer;
using ftptest::ServerSession;
using testing::ElementsAre;

namespace {

TEST(Session, LoginWithPasswordSendsExactCommands) {
    ScriptedServer server([](ServerSession& s) {
        s.login();
        s.waitForClose();
    });
    net::TNetFTP ftp;
    EventLog log;
    log.attach(ftp);
    ftptest::aimAt(ftp, server.port());
    ftp.OpenSession(true);
    EXPECT_TRUE(ftp.IsConnected());
    EXPECT_EQ(ftp.SystemText, " UNIX Type: L8");
    ftp.CloseConnection();
    ftp.CloseConnection(); // closed already: no second event
    EXPECT_THAT(server.finish(), ElementsAre("user bob", "pass secret", "type I", "syst"));
    EXPECT_THAT(log.events, ElementsAre("connected", "disconnected"));
}

TEST(Session, UserAcceptedWithoutPasswordAndSystRefused) {
    ScriptedServer server([](ServerSession& s) {
        s.reply("220 hi");
        s.readCommand();
        s.reply("230 Welcome, no password needed");
        s.readCommand();
        s.reply("200 ok");
        s.readCommand();
        s.reply("500 syst not understood");
        s.waitForClose();
    });
    net::TNetFTP ftp;
    ftptest::aimAt(ftp, server.port());
    ftp.TransferType = net::ftASCII;
    ftp.OpenSession(true);
    EXPECT_EQ(ftp.SystemText, "Unknown");
    ftp.CloseConnection();
    EXPECT_THAT(server.finish(), ElementsAre("user bob", "type A", "syst"));
}

TEST(Session, RefusedPasswordRaisesAndCloses) {
    ScriptedServer server([](ServerSession& s) {
        s.reply("220 hi");
        s.readCommand();
        s.reply("331 pw");
        s.readCommand();
        s.reply("530 Login incorrect.");
        s.waitForClose();
    });
    net::TNetFTP ftp;
    EventLog log;
    log.attach(ftp);
    ftptest::aimAt(ftp, server.port());
    try {
        ftp.OpenSession(true);
        FAIL() << "no exception";
    } catch (const net::ENetProtocolReplyError& error) {
        EXPECT_STREQ(error.what(), "530 Login incorrect.");
        EXPECT_EQ(error.code(), 530);
    }
    EXPECT_FALSE(ftp.IsConnected());
    EXPECT_THAT(log.events, ElementsAre("connected", "disconnected"));
    EXPECT_THAT(server.finish(), ElementsAre("user bob", "pass secret"));
}

TEST(Session, RefusedConnectionGivesSocketErrorText) {
    net::TNetFTP ftp;
    EventLog log;
    log.attach(ftp);
    ftptest::aimAt(ftp, ftptest::freeLoopbackPort());
    try {
        ftp.OpenSession(true);
        FAIL() << "no exception";
    } catch (const net::ENetSocketError& error) {
        EXPECT_EQ(error.number(), 10061);
        EXPECT_STREQ(error.what(), "Socket Error # 10061\r\nConnection refused.");
    }
    EXPECT_FALSE(ftp.IsConnected());
}

TEST(Session, LocalhostInAnyCaseConnects) {
    ScriptedServer server([](ServerSession& s) {
        s.reply("220 hi");
        s.waitForClose();
    });
    net::TNetFTP ftp;
    ftptest::aimAt(ftp, server.port());
    ftp.Host = "LocalHost";
    ftp.OpenSession(false);
    EXPECT_EQ(ftp.Socket().RemoteAddress, "127.0.0.1");
    EXPECT_THROW(ftp.OpenConnection(), net::ENetAlreadyConnected);
    ftp.CloseConnection();
}

TEST(Session, UnsafeArgumentsRaiseBeforeSending) {
    ScriptedServer server([](ServerSession& s) {
        s.login();
        s.waitForClose();
    });
    net::TNetFTP ftp;
    ftptest::aimAt(ftp, server.port());
    ftp.OpenSession(true);
    const std::string names[] = {"a\r\nDELE b", "a\nb", std::string("a\0b", 3), "a\r"};
    for (const std::string& name : names) {
        EXPECT_THROW(ftp.QueryFileSize(name), net::ENetUnsafeArgument);
        net::TNetMemoryStream stream;
        EXPECT_THROW(ftp.DownloadToStream(name, stream), net::ENetUnsafeArgument);
        EXPECT_THROW(ftp.UploadFromStream(stream, name, false), net::ENetUnsafeArgument);
    }
    EXPECT_TRUE(ftp.IsConnected());
    ftp.CloseConnection();
    EXPECT_THAT(server.finish(), ElementsAre("user bob", "pass secret", "type I", "syst"));
}

TEST(Session, UnsafeUserOrPasswordRaisesBeforeConnecting) {
    ScriptedServer server([](ServerSession& s) { s.waitForClose(); });
    net::TNetFTP ftp;
    EventLog log;
    log.attach(ftp);
    ftptest::aimAt(ftp, server.port());
    ftp.Password = "pw\r\nDELE x";
    EXPECT_THROW(ftp.OpenSession(true), net::ENetUnsafeArgument);
    ftp.Password = "pw";
    ftp.User = std::string("u\0", 2);
    EXPECT_THROW(ftp.OpenSession(true), net::ENetUnsafeArgument);
    EXPECT_TRUE(log.events.empty());
    server.knock();
}

TEST(Session, StatusTextsAndTransferTypeChange) {
    ScriptedServer server([](ServerSession& s) {
        s.login();
        s.readCommand();
        s.reply("200 Type set to A");
        s.waitForClose();
    });
    net::TNetFTP ftp;
    std::vector<std::string> statuses;
    ftp.OnStatus = [&](net::TNetComponent&, net::TNetStatus, const std::string& text) { statuses.push_back(text); };
    ftptest::aimAt(ftp, server.port());
    ftp.OpenSession(true);
    ftp.SetTransferType(net::ftBinary); // unchanged: nothing sent
    ftp.SetTransferType(net::ftASCII);
    EXPECT_EQ(ftp.TransferType, net::ftASCII);
    ftp.CloseConnection();
    EXPECT_THAT(server.finish(), ElementsAre("user bob", "pass secret", "type I", "syst", "type A"));
    EXPECT_THAT(statuses, ElementsAre("Connecting to 127.0.0.1.", "Connected.", "Disconnecting from 127.0.0.1.",
                                      "Not connected."));
}

TEST(Session, ConnectTimesOutWhenTheServerNeverAnswers) {
    // A listener whose queue is full drops further connection requests, as a host behind a black hole.
    // (Windows itself refuses at once instead, with 10061; wine runs on the Linux behaviour.)
    int port = 0;
    const testsupport::TestSocket listener = testsupport::listenOnLoopback(0, port);
    std::vector<testsupport::TestSocket> fillers;
    for (int i = 0; i < 4; ++i) {
        fillers.push_back(testsupport::startConnecting(port));
    }
    std::this_thread::sleep_for(50ms);
    net::TNetFTP ftp;
    ftptest::aimAt(ftp, port, 300ms);
    const auto start = std::chrono::steady_clock::now();
    try {
        ftp.OpenSession(true);
        FAIL() << "no exception";
    } catch (const net::ENetSocketError& error) {
        EXPECT_EQ(error.number(), 10060);
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1500ms);
    EXPECT_FALSE(ftp.IsConnected());
}

TEST(Session, EveryAddressOfANameIsTriedInTurn) {
    // The live server on 127.0.0.1; on ::1 at the same port a listener whose queue is full stands for an
    // address that never answers, and nothing listens on 127.0.0.2 and 127.0.0.3, which refuse.
    struct Row {
        const char* name;
        std::vector<std::string> addresses;
        std::string answered; // empty: none answers
        int error;            // when none answers
    };
    const Row rows[] = {
        {"dead IPv6 address first, then a live IPv4 one", {"::1", "127.0.0.1"}, "127.0.0.1", 0},
        {"refusing address first", {"127.0.0.2", "127.0.0.1"}, "127.0.0.1", 0},
        {"every address refuses: the last one's error", {"127.0.0.2", "127.0.0.3"}, "", 10061},
        {"dead and refusing: the time-out", {"::1", "127.0.0.2"}, "", 10060},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ScriptedServer server([&](ServerSession& s) {
            if (!row.answered.empty()) {
                s.login();
                s.waitForClose();
            }
        });
        int port = server.port();
        const testsupport::TestSocket deadListener = testsupport::listenOn("::1", 0, port);
        std::vector<testsupport::TestSocket> fillers;
        for (int i = 0; i < 4; ++i) {
            fillers.push_back(testsupport::startConnecting(port, "::1"));
        }
        std::this_thread::sleep_for(50ms);
        net::TNetFTP ftp;
        ftptest::aimAt(ftp, port, 1000ms);
        ftp.Host = "ftp.example";
        ftp.Resolver = [&](const std::string& host) {
            EXPECT_EQ(host, "ftp.example");
            return row.addresses;
        };
        const auto start = std::chrono::steady_clock::now();
        if (row.answered.empty()) {
            try {
                ftp.OpenSession(true);
                FAIL() << "no exception";
            } catch (const net::ENetSocketError& error) {
                EXPECT_EQ(error.number(), row.error);
            }
            server.knock();
        } else {
            ftp.OpenSession(true);
            EXPECT_EQ(ftp.Socket().RemoteAddress, row.answered);
            ftp.CloseConnection();
        }
        // A dead address costs the delay before the next one starts, not the time-out.
        EXPECT_LT(std::chrono::steady_clock::now() - start, row.error == 10060 ? 1500ms : 700ms);
        server.finish();
        EXPECT_EQ(server.error(), "");
    }
}

TEST(Session, RefusedTransferTypeFailsTheLogin) {
    ScriptedServer server([](ServerSession& s) {
        s.reply("220 hi");
        s.readCommand();
        s.reply("230 in");
        s.readCommand();
        s.reply("504 Type not implemented.");
        s.waitForClose();
    });
    net::TNetFTP ftp;
    EventLog log;
    log.attach(ftp);
    ftptest::aimAt(ftp, server.port());
    try {
        ftp.OpenSession(true);
        FAIL() << "no exception";
    } catch (const net::ENetProtocolReplyError& error) {
        EXPECT_EQ(error.code(), 504);
    }
    EXPECT_FALSE(ftp.IsConnected());
    EXPECT_THAT(log.events, ElementsAre("connected", "disconnected"));
}

TEST(Session, WithoutTlsInTheBuildAProtectedSessionNeverConnects) {
    if (!net::TlsBackendName().empty()) {
        GTEST_SKIP() << "this build has TLS (" << net::TlsBackendName() << "); the TLS tests cover it";
    }
    ScriptedServer server([](ServerSession&) {});
    net::TNetFTP ftp;
    EventLog log;
    log.attach(ftp);
    ftptest::aimAt(ftp, server.port());
    ftp.UseTLS = true;
    EXPECT_THROW(ftp.OpenSession(true), net::ENetTlsUnavailable);
    server.knock();
    EXPECT_THAT(server.finish(), ElementsAre());
    EXPECT_THAT(log.events, ElementsAre());
}

} // namespace
