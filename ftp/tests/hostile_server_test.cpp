// Hostile and faulty servers: replies cut into single bytes or run together, oversized and odd lines,
// servers that leave, go silent or reset part-way, refuse uploads late, or let a stranger reach the
// data port first.
#include "FtpTestUtil.h"
#include "ScriptedServer.h"

#include "TempEnvironment.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <thread>

using namespace std::chrono_literals;
using ftptest::DataLink;
using ftptest::EventLog;
using ftptest::ScriptedServer;
using ftptest::ServerSession;
using testing::ElementsAre;

namespace {

void sendByteByByte(ServerSession& s, const std::string& bytes) {
    for (const char c : bytes) {
        s.send(std::string(1, c));
        std::this_thread::sleep_for(200us);
    }
}

template <typename Action> int socketErrorOf(Action action) {
    try {
        action();
    } catch (const net::ENetSocketError& error) {
        return error.number();
    }
    return 0;
}

TEST(HostileServer, ReplyArrivingOneBytePerPacket) {
    for (const int recvSize : {32768, 1}) {
        SCOPED_TRACE("receive size " + std::to_string(recvSize));
        ScriptedServer server([](ServerSession& s) {
            sendByteByByte(s, "220-Slow\r\n220 server\r\n");
            s.readCommand();
            sendByteByByte(s, "331 Password\r\n");
            s.readCommand();
            sendByteByByte(s, "230 In\r\n");
            s.readCommand();
            sendByteByByte(s, "200 Type\r\n");
            s.readCommand();
            sendByteByByte(s, "215 UNIX Type: L8\r\n");
            s.readCommand();
            sendByteByByte(s, "213 123456\r\n");
            s.waitForClose();
        });
        net::TNetFTP ftp;
        ftptest::aimAt(ftp, server.port());
        ftp.RecvBufferSize = recvSize;
        ftp.OpenSession(true);
        EXPECT_EQ(ftp.SystemText, " UNIX Type: L8");
        EXPECT_EQ(ftp.QueryFileSize("f"), 123456);
        ftp.CloseConnection();
        EXPECT_THAT(server.finish(), ElementsAre("user bob", "pass secret", "type I", "syst", "SIZE f"));
        EXPECT_EQ(server.error(), "");
    }
}

TEST(HostileServer, FiveLineGreetingAndPipelinedReplies) {
    ScriptedServer server([](ServerSession& s) {
        // Everything up to the size reply in one go, before the client has asked for any of it.
        s.send("220-one\r\n220-two\r\n220-three\r\n220-four\r\n220 five\r\n331 Password\r\n230 In\r\n"
               "200 Type\r\n215 UNIX Type: L8\r\n213 42\r\n");
        for (int i = 0; i < 5; ++i) {
            s.readCommand();
        }
        s.waitForClose();
    });
    net::TNetFTP ftp;
    ftptest::aimAt(ftp, server.port());
    ftp.OpenSession(false);
    EXPECT_THAT(ftp.ReplyLines, ElementsAre("220-one", "220-two", "220-three", "220-four", "220 five"));
    EXPECT_EQ(ftp.SendCommandLine("user bob", {331}), 331);
    EXPECT_EQ(ftp.SendCommandLine("pass secret", {230}), 230);
    EXPECT_EQ(ftp.SendCommandLine("type I", {200}), 200);
    EXPECT_EQ(ftp.SendCommandLine("syst", {215}), 215);
    EXPECT_EQ(ftp.QueryFileSize("f"), 42);
    ftp.CloseConnection();
    EXPECT_THAT(server.finish(), ElementsAre("user bob", "pass secret", "type I", "syst", "SIZE f"));
}

TEST(HostileServer, SeventeenThousandCharacterLineIsAccepted) {
    const std::string text(17000, 'g');
    ScriptedServer server([&](ServerSession& s) {
        s.reply("220-" + text);
        s.reply("220 " + text);
        s.waitForClose();
    });
    net::TNetFTP ftp;
    ftptest::aimAt(ftp, server.port());
    ftp.OpenSession(false);
    ASSERT_EQ(ftp.ReplyLines.size(), 2u);
    EXPECT_EQ(ftp.ReplyLines[0], "220-" + text);
    EXPECT_EQ(ftp.LastReplyLine(), "220 " + text);
    EXPECT_TRUE(ftp.IsConnected());
    ftp.CloseConnection();
}

TEST(HostileServer, LineLengthBoundDoesNotDependOnHowTheBytesArrive) {
    struct Row {
        const char* name;
        std::size_t length; // of the line without its line end
        bool accepted;
    };
    const Row rows[] = {
        {"exactly the bound", net::kMaxReplyLineLength, true},
        {"one past the bound", net::kMaxReplyLineLength + 1, false},
    };
    for (const Row& row : rows) {
        for (const int recvSize : {32768, 1}) {
            SCOPED_TRACE(std::string(row.name) + ", receive size " + std::to_string(recvSize));
            const std::string line = "220 " + std::string(row.length - 4, 'q');
            ScriptedServer server([&](ServerSession& s) {
                s.reply(line);
                s.waitForClose();
            });
            net::TNetFTP ftp;
            ftptest::aimAt(ftp, server.port());
            ftp.RecvBufferSize = recvSize;
            if (row.accepted) {
                ftp.OpenSession(false);
                EXPECT_EQ(ftp.LastReplyLine(), line);
                ftp.CloseConnection();
            } else {
                EXPECT_THROW(ftp.OpenSession(false), net::ENetReplyTooLong);
            }
        }
    }
}

TEST(HostileServer, FiftyMegabytesWithoutALineEndAreRefusedEarly) {
    constexpr std::size_t kOffered = 50u << 20;
    std::size_t sent = 0;
    ScriptedServer server([&](ServerSession& s) {
        const std::string block(65536, 'z');
        s.send("220");
        try {
            while (sent < kOffered) {
                s.send(block);
                sent += block.size();
            }
        } catch (...) {
            return; // the client went away, as it should
        }
        s.waitForClose();
    });
    net::TNetFTP ftp;
    EventLog log;
    log.attach(ftp);
    ftptest::aimAt(ftp, server.port());
    EXPECT_THROW(ftp.OpenSession(false), net::ENetReplyTooLong);
    EXPECT_FALSE(ftp.IsConnected());
    EXPECT_LE(ftp.PendingInput.Size(), net::kMaxReplyLineLength + static_cast<std::size_t>(ftp.RecvBufferSize));
    server.finish();
    // What the server got out is at most the bound plus what the kernel buffers of both ends hold.
    EXPECT_LT(sent, kOffered / 4);
    EXPECT_THAT(log.events, ElementsAre("connected", "disconnected"));
}

TEST(HostileServer, NulInsideReplyLines) {
    const std::string greeting("220 Hello\0world", 15);
    ScriptedServer server([&](ServerSession& s) {
        s.reply(greeting);
        s.readCommand();
        s.reply(std::string("331 Pass\0word", 13));
        s.readCommand();
        s.reply("230 In");
        s.readCommand();
        s.reply("200 Type");
        s.readCommand();
        s.reply(std::string("215 UNIX\0L8", 11));
        s.readCommand();
        s.reply(std::string("213 12\0"
                            "34",
                            9));
        s.readCommand();
        s.reply(std::string("2\0"
                            "0 odd code",
                            12));
        s.readCommand();
        s.reply("213 7");
        s.waitForClose();
    });
    net::TNetFTP ftp;
    ftptest::aimAt(ftp, server.port());
    ftp.OpenSession(true);
    EXPECT_EQ(ftp.SystemText, std::string(" UNIX\0L8", 8));
    EXPECT_EQ(ftp.QueryFileSize("a"), -1); // not one number
    try {
        ftp.SendCommandLine("NOOP", {200});
        FAIL() << "no exception";
    } catch (const net::ENetProtocolReplyError& error) {
        EXPECT_EQ(error.code(), 0);
    }
    EXPECT_EQ(ftp.QueryFileSize("b"), 7); // the conversation stays in step
    ftp.CloseConnection();
    EXPECT_EQ(server.error(), "");
}

TEST(HostileServer, ServiceClosingReplyThenClose) {
    struct Row {
        const char* name;
        bool duringTransfer;
    };
    for (const Row& row : {Row{"answering a command", false}, Row{"answering the transfer command", true}}) {
        SCOPED_TRACE(row.name);
        ScriptedServer server([&](ServerSession& s) {
            s.login();
            s.readCommand();
            if (row.duringTransfer) {
                s.reply("200 PORT ok");
                s.readCommand();
            }
            s.reply("421 Service not available, closing control connection.");
            s.close();
        });
        net::TNetFTP ftp;
        EventLog log;
        log.attach(ftp);
        ftptest::aimAt(ftp, server.port(), 500ms);
        ftp.OpenSession(true);
        try {
            if (row.duringTransfer) {
                net::TNetMemoryStream stream;
                ftp.DownloadToStream("f", stream);
            } else {
                ftp.SendCommandLine("NOOP", {200});
            }
            FAIL() << "no exception";
        } catch (const net::ENetProtocolReplyError& error) {
            EXPECT_EQ(error.code(), 421);
        }
        // The server has said it is leaving: the client must not go on as if still connected.
        EXPECT_FALSE(ftp.IsConnected());
        EXPECT_THAT(log.events, ElementsAre("connected", "disconnected"));
        EXPECT_EQ(ftp.DataConnection(), nullptr);
    }
}

TEST(HostileServer, LoneAbortReplyEndsByTheTimeOut) {
    ScriptedServer server([](ServerSession& s) {
        DataLink data = ftptest::openTransfer(s, false);
        data.sendAll("abc");
        data.close();
        s.reply("426 Connection closed; transfer aborted.");
        s.waitForClose();
    });
    net::TNetFTP ftp;
    ftptest::aimAt(ftp, server.port(), 300ms);
    ftp.OpenSession(true);
    net::TNetMemoryStream stream;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(socketErrorOf([&] { ftp.DownloadToStream("f", stream); }), 10060);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, 290ms);
    EXPECT_LT(took, 1500ms);
    EXPECT_EQ(ftp.ReplyCode, 426);
    EXPECT_FALSE(ftp.IsConnected());
}

TEST(HostileServer, HalfTheDataThenSilence) {
    for (const bool passive : {false, true}) {
        SCOPED_TRACE(passive ? "passive" : "active");
        const std::string bytes = ftptest::pattern(200000);
        ScriptedServer server([&](ServerSession& s) {
            DataLink data = ftptest::openTransfer(s, passive);
            data.sendAll(bytes.substr(0, bytes.size() / 2));
            s.waitForClose();
        });
        net::TNetFTP ftp;
        ftptest::aimAt(ftp, server.port(), 300ms);
        ftp.Passive = passive;
        ftp.OpenSession(true);
        testsupport::TempFolder folder;
        const auto local = folder.path() / "half.bin";
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(socketErrorOf([&] { ftp.DownloadFile("f", local.string(), true); }), 10060);
        const auto took = std::chrono::steady_clock::now() - start;
        EXPECT_GE(took, 290ms);
        EXPECT_LT(took, 1500ms);
        EXPECT_EQ(ftp.LastTransferBytes(), 100000);
        EXPECT_EQ(testsupport::ReadFileBytes(local), bytes.substr(0, 100000));
        EXPECT_EQ(ftp.DataConnection(), nullptr);
        ftp.CloseConnection();
    }
}

TEST(HostileServer, ResetInTheMiddleOfPassiveTransfers) {
    for (const bool upload : {false, true}) {
        SCOPED_TRACE(upload ? "upload" : "download");
        const std::string bytes = ftptest::pattern(60000);
        ScriptedServer server([&](ServerSession& s) {
            DataLink data = ftptest::openTransfer(s, true);
            if (upload) {
                std::this_thread::sleep_for(50ms); // let the client be well into sending
            } else {
                data.sendAll(bytes);
                std::this_thread::sleep_for(50ms);
            }
            data.reset();
            s.waitForClose();
        });
        net::TNetFTP ftp;
        ftptest::aimAt(ftp, server.port(), 2000ms);
        ftp.Passive = true;
        ftp.OpenSession(true);
        testsupport::TempFolder folder;
        const auto local = folder.path() / "f.bin";
        if (upload) {
            std::ofstream(local, std::ios::binary) << ftptest::pattern(16 << 20);
        }
        EXPECT_EQ(socketErrorOf([&] {
                      if (upload) {
                          ftp.UploadFile(local.string(), "f", false);
                      } else {
                          ftp.DownloadFile("f", local.string(), true);
                      }
                  }),
                  10054);
        if (upload) {
            EXPECT_LT(ftp.LastTransferBytes(), 16 << 20);
            EXPECT_EQ(std::filesystem::file_size(local), std::uintmax_t{16} << 20); // the source is untouched
        } else {
            EXPECT_EQ(testsupport::ReadFileBytes(local), bytes);
        }
        EXPECT_EQ(ftp.DataConnection(), nullptr);
        EXPECT_TRUE(ftp.IsConnected()); // the control connection was not reset
        ftp.CloseConnection();
    }
}

TEST(HostileServer, UploadRefusedAtTheStartOrAtTheEnd) {
    struct Row {
        const char* name;
        bool passive;
        bool refusedAtStart; // 553 to STOR, or 150, the data read, then 552
    };
    const Row rows[] = {
        {"553 to STOR, active", false, true},
        {"553 to STOR, passive", true, true},
        {"552 as final reply, active", false, false},
        {"552 as final reply, passive", true, false},
    };
    const std::string bytes = ftptest::pattern(300000);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::size_t received = 0;
        ScriptedServer server([&](ServerSession& s) {
            s.login();
            s.readCommand();
            s.reply(row.passive ? s.openPassive() : "200 PORT ok");
            s.readCommand();
            if (row.refusedAtStart) {
                s.reply("553 Requested action not taken. File name not allowed.");
            } else {
                DataLink data = row.passive ? s.acceptPassive() : DataLink();
                s.reply("150 ok");
                if (!row.passive) {
                    data = s.connectToPort();
                }
                received = data.receiveAll().size();
                s.reply("552 Requested file action aborted. Exceeded storage allocation.");
            }
            s.readCommand();
            s.reply("213 0");
            s.waitForClose();
        });
        net::TNetFTP ftp;
        ftptest::aimAt(ftp, server.port());
        ftp.Passive = row.passive;
        ftp.OpenSession(true);
        net::TNetMemoryStream stream(bytes);
        try {
            ftp.UploadFromStream(stream, "f", false);
            FAIL() << "no exception";
        } catch (const net::ENetProtocolReplyError& error) {
            EXPECT_EQ(error.code(), row.refusedAtStart ? 553 : 552);
        }
        EXPECT_EQ(ftp.LastTransferBytes(), row.refusedAtStart ? 0 : 300000);
        EXPECT_EQ(ftp.DataConnection(), nullptr);
        EXPECT_EQ(ftp.QueryFileSize("f"), 0); // still in step
        ftp.CloseConnection();
        server.finish();
        EXPECT_EQ(server.error(), "");
        EXPECT_EQ(received, row.refusedAtStart ? 0u : bytes.size());
    }
}

TEST(HostileServer, PipelinedRepliesAroundTheDataConnection) {
    struct Row {
        const char* name;
        bool passive;
        const char* replies; // sent at once in answer to the transfer command
        int failure;         // expected reply code of the failure; 0 for success
    };
    const Row rows[] = {
        {"150 and 226 before the data, active", false, "150 ok\r\n226 Done\r\n", 0},
        {"150 and 226 before the data, passive", true, "150 ok\r\n226 Done\r\n", 0},
        {"150 and 425 together, active", false, "150 ok\r\n425 Can't open data connection.\r\n", 425},
    };
    const std::string bytes = ftptest::pattern(70000);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ScriptedServer server([&](ServerSession& s) {
            s.login();
            s.readCommand();
            s.reply(row.passive ? s.openPassive() : "200 PORT ok");
            s.readCommand();
            s.send(row.replies);
            if (row.failure == 0) {
                DataLink data = row.passive ? s.acceptPassive() : s.connectToPort();
                data.sendAll(bytes);
            }
            s.readCommand();
            s.reply("213 1");
            s.waitForClose();
        });
        net::TNetFTP ftp;
        ftptest::aimAt(ftp, server.port(), 3000ms);
        ftp.Passive = row.passive;
        ftp.OpenSession(true);
        net::TNetMemoryStream stream;
        const auto start = std::chrono::steady_clock::now();
        if (row.failure == 0) {
            ftp.DownloadToStream("f", stream);
            EXPECT_EQ(stream.Bytes(), bytes);
        } else {
            try {
                ftp.DownloadToStream("f", stream);
                FAIL() << "no exception";
            } catch (const net::ENetProtocolReplyError& error) {
                EXPECT_EQ(error.code(), row.failure);
            }
            // The refusal was there already: no waiting for a connection that will not come.
            EXPECT_LT(std::chrono::steady_clock::now() - start, 1000ms);
        }
        EXPECT_EQ(ftp.QueryFileSize("f"), 1); // in step
        ftp.CloseConnection();
        server.finish();
        EXPECT_EQ(server.error(), "");
    }
}

TEST(HostileServer, EndlessControlBytesWhileWaitingForTheDataConnection) {
    for (const char* junk : {"z", "150-more\r\n"}) {
        SCOPED_TRACE(junk);
        constexpr std::size_t kOffered = 50u << 20;
        std::size_t sent = 0;
        ScriptedServer server([&](ServerSession& s) {
            s.login();
            s.readCommand();
            s.reply("200 PORT ok");
            s.readCommand();
            s.reply("150 ok");
            std::string block;
            while (block.size() < 65536) {
                block += junk;
            }
            try {
                while (sent < kOffered) {
                    s.send(block);
                    sent += block.size();
                }
            } catch (...) {
                return;
            }
            s.waitForClose();
        });
        net::TNetFTP ftp;
        ftptest::aimAt(ftp, server.port(), 3000ms);
        ftp.OpenSession(true);
        net::TNetMemoryStream stream;
        EXPECT_THROW(ftp.DownloadToStream("f", stream), net::ENetReplyTooLong);
        EXPECT_FALSE(ftp.IsConnected());
        EXPECT_LE(ftp.PendingInput.Size(), net::kMaxReplyLineLength + static_cast<std::size_t>(ftp.RecvBufferSize));
        EXPECT_EQ(ftp.DataConnection(), nullptr);
        server.finish();
        EXPECT_LT(sent, kOffered / 4);
    }
}

TEST(HostileServer, StrangerSendingDataBeforeTheServerIsShutOut) {
    const std::string bytes = ftptest::pattern(5000);
    bool strangerClosed = false;
    ScriptedServer server([&](ServerSession& s) {
        s.login();
        s.readCommand();
        s.reply("200 PORT ok");
        s.readCommand();
        s.reply("150 ok");
        DataLink stranger = s.connectToPort("127.0.0.2");
        try {
            stranger.sendAll("INJECTED BYTES");
        } catch (...) {
        }
        strangerClosed = stranger.receiveAll().empty();
        DataLink data = s.connectToPort();
        data.sendAll(bytes);
        data.close();
        s.reply("226 Done");
        s.waitForClose();
    });
    net::TNetFTP ftp;
    ftptest::aimAt(ftp, server.port(), 2000ms);
    ftp.OpenSession(true);
    net::TNetMemoryStream stream;
    ftp.DownloadToStream("f", stream);
    EXPECT_EQ(stream.Bytes(), bytes);
    ftp.CloseConnection();
    server.finish();
    EXPECT_EQ(server.error(), "");
    EXPECT_TRUE(strangerClosed);
}

} // namespace

// The client waits for whole pieces, not single packets; a server that trickles less than a piece
// at a time, each bit within the idle time-out, is alive all along, and its bytes all arrive.
TEST(HostileServer, TrickleBelowAPieceIsNoTimeOut) {
    for (const bool toFile : {false, true}) {
        SCOPED_TRACE(toFile ? "into a file" : "into memory");
        const std::string bytes = ftptest::pattern(3000);
        ScriptedServer server([&](ServerSession& s) {
            {
                DataLink data = ftptest::openTransfer(s, false);
                for (std::size_t at = 0; at < bytes.size(); at += 500) {
                    data.sendAll(bytes.substr(at, 500));
                    std::this_thread::sleep_for(200ms);
                }
            }
            s.reply("226 Done");
            s.waitForClose();
        });
        net::TNetFTP ftp;
        ftptest::aimAt(ftp, server.port(), 300ms);
        ftp.OpenSession(true);
        testsupport::TempFolder folder;
        const auto local = folder.path() / "trickle.bin";
        net::TNetMemoryStream stream;
        if (toFile) {
            ftp.DownloadFile("f", local.string(), true);
            EXPECT_EQ(testsupport::ReadFileBytes(local), bytes);
        } else {
            ftp.DownloadToStream("f", stream);
            EXPECT_EQ(stream.Bytes(), bytes);
        }
        ftp.CloseConnection();
        server.finish();
        EXPECT_EQ(server.error(), "");
    }
}
