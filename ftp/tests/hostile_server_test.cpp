// Hostile and faulty servers on real sockets: servers that leave, go silent or reset part-way, refuse
// uploads late, flood the control connection, or let a stranger reach the data port first. Hostile
// reply texts are in ReplyReaderTest.
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

template <typename Action> int socketErrorOf(Action action) {
    try {
        action();
    } catch (const net::ENetSocketError& error) {
        return error.number();
    }
    return 0;
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

// With no 226 after it, the 426 itself is the failure: the server's words, not a time-out.
TEST(HostileServer, LoneAbortReplyIsRaisedAfterAShortWait) {
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
    try {
        ftp.DownloadToStream("f", stream);
        ADD_FAILURE() << "no exception";
    } catch (const net::ENetProtocolReplyError& error) {
        EXPECT_EQ(error.code(), 426);
        EXPECT_STREQ(error.what(), "426 Connection closed; transfer aborted.");
    }
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, 290ms);
    EXPECT_LT(took, 1500ms);
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
    if (testsupport::RunningUnderWine()) {
        GTEST_SKIP() << ftptest::kResetNeedsARealSystem;
    }
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
