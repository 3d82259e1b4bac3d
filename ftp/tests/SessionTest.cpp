// Control connection and session commands against the scripted server.
#include "FtpTestUtil.h"
#include "ScriptedServer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace std::chrono_literals;
using ftptest::EventLog;
using ftptest::ScriptedServer;
using ftptest::ServerSession;
using testing::ElementsAre;

namespace {

TEST(Session, MultiLineGreetingIsOneReply) {
    ScriptedServer server([](ServerSession& s) {
        s.send("220-Welcome\r\n220-second line\r\n  indented line\r\n220 ready\r\n");
        s.waitForClose();
    });
    net::TNetFTP ftp;
    ftptest::aimAt(ftp, server.port());
    ftp.OpenSession(false);
    EXPECT_EQ(ftp.ReplyCode, 220);
    EXPECT_THAT(ftp.ReplyLines, ElementsAre("220-Welcome", "220-second line", "indented line", "220 ready"));
    ftp.CloseConnection();
    EXPECT_TRUE(server.finish().empty());
    EXPECT_EQ(server.error(), "");
}

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

TEST(Session, ServerClosingWhileReplyAwaitedRaisesAfterDisconnectEvent) {
    ScriptedServer server([](ServerSession& s) {
        s.reply("220 hi");
        s.readCommand();
        s.send("331 partial line without end");
    });
    net::TNetFTP ftp;
    EventLog log;
    log.attach(ftp);
    ftptest::aimAt(ftp, server.port());
    bool raised = false;
    ftp.OnDisconnected = [&](net::TNetComponent&) { log.events.push_back(raised ? "late" : "disconnected"); };
    try {
        ftp.OpenSession(true);
    } catch (const net::ENetConnClosedGracefully& error) {
        raised = true;
        EXPECT_STREQ(error.what(), "Connection Closed Gracefully.");
    }
    EXPECT_TRUE(raised);
    EXPECT_THAT(log.events, ElementsAre("connected", "disconnected"));
    EXPECT_FALSE(ftp.IsConnected());
}

TEST(Session, BareLineFeedsAndEmptyLinesBetweenReplies) {
    ScriptedServer server([](ServerSession& s) {
        s.send("220 hi\n\r\n\n");
        s.readCommand();
        s.send("\n\n331 pw\n");
        s.readCommand();
        s.send("230-a\n\n230 b\n");
        s.readCommand();
        s.send("200 ok\r\n");
        s.readCommand();
        s.send("215 X\n");
        s.waitForClose();
    });
    net::TNetFTP ftp;
    ftptest::aimAt(ftp, server.port());
    ftp.OpenSession(true);
    EXPECT_EQ(ftp.SystemText, " X");
    ftp.CloseConnection();
    EXPECT_THAT(server.finish(), ElementsAre("user bob", "pass secret", "type I", "syst"));
}

TEST(Session, MultiLineReplyEndsOnlyAtItsMarker) {
    enum class Ends { WithReply, TooLong, TimedOut };
    struct Row {
        const char* name;
        std::string bytes; // sent, then the server stays silent
        std::vector<std::string> lines;
        Ends ends = Ends::WithReply;
    };
    std::string blankLines = "220-start\r\n";
    for (std::size_t i = 0; i < net::kMaxReplyLines + 200; ++i) {
        blankLines += " \r\n";
    }
    const Row rows[] = {
        {"welcome text with short and empty continuation lines",
         "220-Welcome to the test archive\r\n ***\r\n \r\n OK\r\n\r\n 1\r\n220 Server ready.\r\n",
         {"220-Welcome to the test archive", "***", "OK", "1", "220 Server ready."}},
        {"continuation lines that start with a code are text",
         "230-Login notes:\n 230 indented is text\n331 another code\r\n\t230 after a tab\r\n230 Logged in.\r\n",
         {"230-Login notes:", "230 indented is text", "331 another code", "230 after a tab", "230 Logged in."}},
        {"220- lines followed by 220 ",
         "220-one\r\n220-two\r\n220-three\r\n220 four\r\n",
         {"220-one", "220-two", "220-three", "220 four"}},
        {"lines shorter than four characters are text",
         "220-first\r\n220-more\r\n21\r\nab\r\n220 ready\r\n",
         {"220-first", "220-more", "21", "ab", "220 ready"}},
        {"the code without a blank is text",
         "211-Features:\r\n211\r\n UTF8\r\n211 End\r\n",
         {"211-Features:", "211", "UTF8", "211 End"}},
        {"endless blank continuation lines hit the line bound", blankLines, {}, Ends::TooLong},
        {"overlong continuation line hits the length bound",
         "220-start\r\n " + std::string(net::kMaxReplyLineLength, 'x') + "\r\n220 end\r\n",
         {},
         Ends::TooLong},
        {"no end line, then silence", "220-start\r\n OK\r\n", {}, Ends::TimedOut},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ScriptedServer server([&](ServerSession& s) {
            try {
                s.send(row.bytes);
            } catch (...) {
                return; // the client has given up already
            }
            s.waitForClose();
        });
        net::TNetFTP ftp;
        ftptest::aimAt(ftp, server.port(), 300ms);
        ftp.OpenConnection();
        switch (row.ends) {
        case Ends::WithReply:
            EXPECT_EQ(ftp.AwaitReply({}), net::ReplyCodeOf(row.lines.back()));
            EXPECT_EQ(ftp.ReplyLines, row.lines);
            EXPECT_TRUE(ftp.IsConnected());
            break;
        case Ends::TooLong:
            EXPECT_THROW(ftp.AwaitReply({}), net::ENetReplyTooLong);
            break;
        case Ends::TimedOut:
            try {
                ftp.AwaitReply({});
                FAIL() << "no exception";
            } catch (const net::ENetSocketError& error) {
                EXPECT_EQ(error.number(), 10060);
            }
            break;
        }
        EXPECT_LE(ftp.ReplyLines.size(), net::kMaxReplyLines);
        ftp.CloseConnection();
    }
}

TEST(Session, QueryFileSizeReplies) {
    struct Row {
        const char* name;
        const char* reply;
        std::int64_t size;
    };
    const Row rows[] = {
        {"plain size", "213 48213\r\n", 48213},
        {"zero", "213 0\r\n", 0},
        {"above 2 GiB", "213 3221225472\r\n", 3221225472LL},
        {"missing file", "550 No such file.\r\n", -1},
        {"not implemented", "502 Command not implemented.\r\n", -1},
        {"multi-line 213", "213-Size follows\r\n213 100\r\n", -1},
        {"beyond 64 bits", "213 99999999999999999999\r\n", -1},
        {"not a number", "213 big\r\n", -1},
        {"negative", "213 -5\r\n", -1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ScriptedServer server([&](ServerSession& s) {
            s.login();
            s.readCommand();
            s.send(row.reply);
            s.waitForClose();
        });
        net::TNetFTP ftp;
        ftptest::aimAt(ftp, server.port());
        ftp.OpenSession(true);
        EXPECT_EQ(ftp.QueryFileSize("dir/file name.txt"), row.size);
        EXPECT_TRUE(ftp.IsConnected());
        ftp.CloseConnection();
        EXPECT_EQ(server.finish().back(), "SIZE dir/file name.txt");
    }
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

TEST(Session, OverlongReplyLineRaisesAndCloses) {
    ScriptedServer server([](ServerSession& s) {
        s.reply("220 hi");
        s.readCommand();
        const std::string block(16384, 'x');
        for (int i = 0; i < 64; ++i) { // 1 MiB without a line end
            try {
                s.send(block);
            } catch (...) {
                return;
            }
        }
        s.waitForClose();
    });
    net::TNetFTP ftp;
    EventLog log;
    log.attach(ftp);
    ftptest::aimAt(ftp, server.port());
    EXPECT_THROW(ftp.OpenSession(true), net::ENetReplyTooLong);
    EXPECT_FALSE(ftp.IsConnected());
    EXPECT_LE(ftp.PendingInput.Size(), net::kMaxReplyLineLength + 32768);
    EXPECT_THAT(log.events, ElementsAre("connected", "disconnected"));
}

TEST(Session, EndlessContinuationLinesRaiseAndClose) {
    ScriptedServer server([](ServerSession& s) {
        s.reply("220 hi");
        s.readCommand();
        std::string lines = "331-start\r\n";
        for (int i = 0; i < 2000; ++i) {
            lines += "331-more\r\n";
        }
        try {
            s.send(lines);
        } catch (...) {
        }
        s.waitForClose();
    });
    net::TNetFTP ftp;
    ftptest::aimAt(ftp, server.port());
    EXPECT_THROW(ftp.OpenSession(true), net::ENetReplyTooLong);
    EXPECT_FALSE(ftp.IsConnected());
    EXPECT_LE(ftp.ReplyLines.size(), net::kMaxReplyLines);
}

TEST(Session, SilentServerTimesOutWithinIdleTimeout) {
    ScriptedServer server([](ServerSession& s) { s.waitForClose(); });
    net::TNetFTP ftp;
    EventLog log;
    log.attach(ftp);
    ftptest::aimAt(ftp, server.port(), 300ms);
    const auto start = std::chrono::steady_clock::now();
    try {
        ftp.OpenSession(true);
        FAIL() << "no exception";
    } catch (const net::ENetSocketError& error) {
        EXPECT_EQ(error.number(), 10060);
        EXPECT_STREQ(error.what(), "Socket Error # 10060\r\nConnection timed out.");
    }
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, 290ms);
    EXPECT_LT(took, 2000ms);
    EXPECT_FALSE(ftp.IsConnected());
    EXPECT_THAT(log.events, ElementsAre("connected", "disconnected"));
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
    int port = 0;
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 0), 0);
    socklen_t length = sizeof address;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    port = ntohs(address.sin_port);
    std::vector<int> fillers;
    for (int i = 0; i < 4; ++i) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        fillers.push_back(fd);
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
    for (int fd : fillers) {
        ::close(fd);
    }
    ::close(listener);
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

} // namespace
