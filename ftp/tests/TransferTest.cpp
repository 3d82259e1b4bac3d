// Data transfers against the scripted server: active and passive, reply handling, hostile endpoints,
// time-outs.
#include "BreakingServer.h"
#include "FtpTestUtil.h"
#include "ScriptedServer.h"

#include "TempEnvironment.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

using namespace std::chrono_literals;
using ftptest::DataLink;
using ftptest::EventLog;
using ftptest::ScriptedServer;
using ftptest::ServerSession;
using testing::ElementsAre;

namespace {

// Serves one active-mode download of bytes: PORT, retr, 150, data, final replies.
ScriptedServer::Script activeDownload(const std::string& bytes, std::vector<std::string> finalReplies = {"226 Done"},
                                      const std::string& preliminary = "150 Opening") {
    return [=](ServerSession& s) {
        s.login();
        s.readCommand();
        s.reply("200 PORT ok");
        s.readCommand();
        s.reply(preliminary);
        DataLink data = s.connectToPort();
        data.sendAll(bytes);
        data.close();
        for (const std::string& line : finalReplies) {
            s.reply(line);
        }
        s.waitForClose();
    };
}

TEST(Transfer, ActiveDownloadMovesBytesAndFiresEventsInOrder) {
    const std::string bytes = ftptest::pattern(100000);
    ScriptedServer server(activeDownload(bytes));
    net::TNetFTP ftp;
    EventLog log;
    log.attach(ftp);
    ftptest::aimAt(ftp, server.port());
    ftp.OpenSession(true);
    net::TNetMemoryStream stream;
    ftp.DownloadToStream("dir/a file.bin", stream);
    EXPECT_EQ(stream.Bytes(), bytes);
    EXPECT_EQ(ftp.LastTransferBytes(), 100000);
    EXPECT_EQ(ftp.DataConnection(), nullptr);
    ftp.CloseConnection();

    ASSERT_GE(log.events.size(), 5u);
    EXPECT_EQ(log.events[0], "connected");
    EXPECT_EQ(log.events[1], "begin 0 0");
    EXPECT_EQ(log.events[log.events.size() - 2], "end 0");
    EXPECT_EQ(log.events.back(), "disconnected");
    const std::vector<std::int64_t> counts = log.workCounts();
    ASSERT_FALSE(counts.empty());
    for (std::size_t i = 0; i < counts.size(); ++i) {
        EXPECT_LE(counts[i] - (i ? counts[i - 1] : 0), 32768);
        EXPECT_GT(counts[i], i ? counts[i - 1] : 0);
    }
    EXPECT_EQ(counts.back(), 100000);
    for (const net::TNetComponent* sender : log.workSenders) {
        EXPECT_NE(sender, &ftp);
    }
    const std::vector<std::string> commands = server.finish();
    ASSERT_EQ(commands.size(), 6u);
    EXPECT_EQ(commands[4], "PORT 127,0,0,1," + std::to_string(std::stoi(commands[4].substr(15))) + "," +
                               commands[4].substr(commands[4].rfind(',') + 1));
    EXPECT_EQ(commands[5], "retr dir/a file.bin");
}

TEST(Transfer, PortTextSplitsThePort) {
    EXPECT_EQ(net::FormatPortCommand("10.0.0.5", 256), "PORT 10,0,0,5,1,0");
    EXPECT_EQ(net::FormatPortCommand("10.0.0.5", 255), "PORT 10,0,0,5,0,255");
    EXPECT_EQ(net::FormatPortCommand("10.0.0.5", 50000), "PORT 10,0,0,5,195,80");
    EXPECT_EQ(net::FormatExtendedPortCommand("::1", 50000), "EPRT |2|::1|50000|");
    EXPECT_EQ(net::FormatExtendedPortCommand("fe80::1%eth0", 256), "EPRT |2|fe80::1|256|");
    EXPECT_EQ(net::FormatExtendedPortCommand("10.0.0.5", 256), "EPRT |1|10.0.0.5|256|");
}

TEST(Transfer, FinalAndPreliminaryReplies) {
    struct Row {
        const char* name;
        const char* preliminary;
        std::vector<std::string> finals;
        bool succeeds;
    };
    const Row rows[] = {
        {"125 instead of 150", "125 Data connection open", {"226 Done"}, true},
        {"250 as final", "150 ok", {"250 Done"}, true},
        {"426 then 226 succeeds", "150 ok", {"426 Aborted", "226 Closed"}, true},
        {"426 then 451 raises", "150 ok", {"426 Aborted", "451 Local error"}, false},
        {"final 550 raises", "150 ok", {"550 Failed"}, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ScriptedServer server(activeDownload("abc", row.finals, row.preliminary));
        net::TNetFTP ftp;
        ftptest::aimAt(ftp, server.port());
        ftp.OpenSession(true);
        net::TNetMemoryStream stream;
        if (row.succeeds) {
            EXPECT_NO_THROW(ftp.DownloadToStream("f", stream));
        } else {
            EXPECT_THROW(ftp.DownloadToStream("f", stream), net::ENetProtocolReplyError);
        }
        EXPECT_EQ(stream.Bytes(), "abc");
        EXPECT_TRUE(ftp.IsConnected());
        ftp.CloseConnection();
    }
}

TEST(Transfer, MissingFileRaisesWithoutReadingAFinalReply) {
    ScriptedServer server([](ServerSession& s) {
        s.login();
        s.readCommand();
        s.reply("200 PORT ok");
        s.readCommand();
        s.reply("550 No such file.");
        s.readCommand();
        s.reply("213 7");
        s.waitForClose();
    });
    net::TNetFTP ftp;
    EventLog log;
    log.attach(ftp);
    ftptest::aimAt(ftp, server.port());
    ftp.OpenSession(true);
    net::TNetMemoryStream stream;
    try {
        ftp.DownloadToStream("gone", stream);
        FAIL() << "no exception";
    } catch (const net::ENetProtocolReplyError& error) {
        EXPECT_STREQ(error.what(), "550 No such file.");
        EXPECT_EQ(error.code(), 550);
    }
    EXPECT_EQ(ftp.DataConnection(), nullptr);
    // The next reply read is the answer to the next command, not a stale final reply.
    EXPECT_EQ(ftp.QueryFileSize("x"), 7);
    EXPECT_THAT(log.events, ElementsAre("connected"));
    ftp.CloseConnection();
}

TEST(Transfer, ActiveUploadCommandsAndEvents) {
    struct Row {
        const char* name;
        std::string remote;
        bool append;
        std::string command;
    };
    const Row rows[] = {
        {"store", "up.bin", false, "STOR up.bin"},
        {"append", "up.bin", true, "APPE up.bin"},
        {"unique name", "", true, "STOU "},
    };
    const std::string bytes = ftptest::pattern(70000);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::string received;
        ScriptedServer server([&](ServerSession& s) {
            s.login();
            s.readCommand();
            s.reply("200 PORT ok");
            s.readCommand();
            s.reply("150 Go ahead");
            DataLink data = s.connectToPort();
            received = data.receiveAll();
            s.reply("226 Stored");
            s.waitForClose();
        });
        net::TNetFTP ftp;
        EventLog log;
        log.attach(ftp);
        ftptest::aimAt(ftp, server.port());
        ftp.OpenSession(true);
        net::TNetMemoryStream stream(bytes);
        stream.SetPosition(500); // active uploads start from the beginning
        ftp.UploadFromStream(stream, row.remote, row.append);
        ftp.CloseConnection();
        const std::vector<std::string> commands = server.finish();
        EXPECT_EQ(commands.back(), row.command);
        EXPECT_EQ(received, bytes);
        EXPECT_EQ(log.events[1], "begin 1 70000");
        EXPECT_EQ(log.workCounts().back(), 70000);
        EXPECT_EQ(log.events[log.events.size() - 2], "end 1");
    }
}

TEST(Transfer, EmptyDownloadAndUploadFireBeginAndEndOnly) {
    ScriptedServer server([](ServerSession& s) {
        s.login();
        s.readCommand();
        s.reply("200 PORT ok");
        s.readCommand();
        s.reply("150 ok");
        s.connectToPort().close();
        s.reply("226 Done");
        s.readCommand();
        s.reply("200 PORT ok");
        s.readCommand();
        s.reply("150 ok");
        DataLink data = s.connectToPort();
        data.receiveAll();
        s.reply("226 Done");
        s.waitForClose();
    });
    net::TNetFTP ftp;
    EventLog log;
    log.attach(ftp);
    ftptest::aimAt(ftp, server.port());
    ftp.OpenSession(true);
    testsupport::TempFolder folder;
    const auto local = folder.path() / "empty.bin";
    ftp.DownloadFile("empty", local.string(), false);
    EXPECT_TRUE(std::filesystem::exists(local));
    EXPECT_EQ(std::filesystem::file_size(local), 0u);
    ftp.UploadFile(local.string(), "copy", false);
    ftp.CloseConnection();
    EXPECT_THAT(log.events, ElementsAre("connected", "begin 0 0", "end 0", "begin 1 0", "end 1", "disconnected"));
}

TEST(Transfer, DownloadFileRefusesToOverwriteUnlessAllowed) {
    testsupport::TempFolder folder;
    const auto local = folder.path() / "there.txt";
    std::ofstream(local) << "keep";
    net::TNetFTP ftp;
    EXPECT_THROW(ftp.DownloadFile("x", local.string(), false), net::ENetFTPFileAlreadyExists);
    EXPECT_EQ(testsupport::ReadFileBytes(local), "keep");
    try {
        ftp.UploadFile((folder.path() / "missing").string(), "x", false);
        FAIL() << "no exception";
    } catch (const net::EFileError& error) {
        EXPECT_EQ(std::string(error.what()), "Cannot open file " + (folder.path() / "missing").string());
    }
}

TEST(Transfer, ResetDuringDownloadRaisesAndKeepsThePartialFile) {
    if (testsupport::RunningUnderWine()) {
        GTEST_SKIP() << ftptest::kResetNeedsARealSystem;
    }
    const std::string bytes = ftptest::pattern(50000);
    ScriptedServer server([&](ServerSession& s) {
        DataLink data = ftptest::openTransfer(s, false);
        data.sendAll(bytes);
        std::this_thread::sleep_for(100ms);
        data.reset();
        s.waitForClose();
    });
    net::TNetFTP ftp;
    ftptest::aimAt(ftp, server.port());
    ftp.OpenSession(true);
    testsupport::TempFolder folder;
    const auto local = folder.path() / "partial.bin";
    try {
        ftp.DownloadFile("f", local.string(), true);
        FAIL() << "no exception";
    } catch (const net::ENetSocketError& error) {
        EXPECT_EQ(error.number(), 10054);
        EXPECT_STREQ(error.what(), "Socket Error # 10054\r\nConnection reset by peer.");
    }
    EXPECT_EQ(testsupport::ReadFileBytes(local), bytes);
    EXPECT_EQ(ftp.LastTransferBytes(), 50000);
    EXPECT_EQ(ftp.DataConnection(), nullptr);
    EXPECT_TRUE(ftp.IsConnected());
    ftp.CloseConnection();
}

TEST(Transfer, ResetDuringUploadRaisesWithoutKillingTheProcess) {
    if (testsupport::RunningUnderWine()) {
        GTEST_SKIP() << ftptest::kResetNeedsARealSystem;
    }
    for (const bool fromFile : {false, true}) {
        SCOPED_TRACE(fromFile ? "from a file" : "from memory");
        ScriptedServer server([&](ServerSession& s) {
            DataLink data = ftptest::openTransfer(s, false);
            data.reset();
            s.waitForClose();
        });
        net::TNetFTP ftp;
        ftptest::aimAt(ftp, server.port());
        ftp.OpenSession(true);
        testsupport::TempFolder folder;
        const auto local = folder.path() / "big.bin";
        std::ofstream(local, std::ios::binary) << ftptest::pattern(8 << 20);
        try {
            if (fromFile) {
                ftp.UploadFile(local.string(), "big", false);
            } else {
                net::TNetMemoryStream stream(ftptest::pattern(8 << 20));
                ftp.UploadFromStream(stream, "big", false);
            }
            FAIL() << "no exception";
        } catch (const net::ENetSocketError& error) {
            EXPECT_EQ(error.number(), 10054);
        }
        EXPECT_LT(ftp.LastTransferBytes(), 8 << 20);
        ftp.CloseConnection();
    }
}

TEST(Transfer, FileShorterThanItsSizeRaisesNoDataToRead) {
    // A stream whose size promises more than it delivers, as a file cut while it is sent.
    struct ShrinkingStream : net::TNetMemoryStream {
        using net::TNetMemoryStream::TNetMemoryStream;
        std::int64_t Size() const override { return TNetMemoryStream::Size() + 100; }
    };
    ScriptedServer server([&](ServerSession& s) {
        DataLink data = ftptest::openTransfer(s, false);
        data.receiveAll();
        s.waitForClose();
    });
    net::TNetFTP ftp;
    ftptest::aimAt(ftp, server.port());
    ftp.OpenSession(true);
    ShrinkingStream stream(ftptest::pattern(1000));
    try {
        ftp.UploadFromStream(stream, "f", false);
        FAIL() << "no exception";
    } catch (const net::ENetNoDataToRead& error) {
        EXPECT_STREQ(error.what(), "No data to read.");
    }
    EXPECT_EQ(ftp.DataConnection(), nullptr);
    ftp.CloseConnection();
}

TEST(Transfer, PassiveDownloadAndUploadConnectToTheControlPeer) {
    const std::string bytes = ftptest::pattern(40000);
    std::string uploaded;
    ScriptedServer server([&](ServerSession& s) {
        s.login();
        s.readCommand();
        // Refused EPSV over IPv4: PASV for the rest of the session.
        s.reply("500 EPSV not understood");
        s.readCommand();
        // A hostile address: the client must still connect to the control connection's peer.
        s.reply(s.openPassive("10,255,255,1"));
        s.readCommand();
        DataLink data = s.acceptPassive();
        s.reply("150 ok");
        data.sendAll(bytes);
        data.close();
        s.reply("226 Done");
        s.readCommand();
        s.reply(s.openPassive());
        s.readCommand();
        DataLink up = s.acceptPassive();
        s.reply("150 ok");
        uploaded = up.receiveAll();
        s.reply("226 Done");
        s.waitForClose();
    });
    net::TNetFTP ftp;
    EventLog log;
    log.attach(ftp);
    ftptest::aimAt(ftp, server.port());
    ftp.Passive = true;
    ftp.OpenSession(true);
    net::TNetMemoryStream down;
    ftp.DownloadToStream("d", down);
    EXPECT_EQ(down.Bytes(), bytes);
    net::TNetMemoryStream up(bytes);
    up.SetPosition(1000); // passive uploads send from the current position
    ftp.UploadFromStream(up, "u", false);
    ftp.CloseConnection();
    EXPECT_THAT(server.finish(),
                ElementsAre("user bob", "pass secret", "type I", "syst", "EPSV", "PASV", "retr d", "PASV", "STOR u"));
    EXPECT_EQ(uploaded, bytes.substr(1000));
    EXPECT_EQ(server.error(), "");
}

TEST(Transfer, DataConnectionsOverIPv6) {
    struct Row {
        const char* name;
        bool passive;
        const char* extendedReply; // to EPRT or EPSV; empty: the usual one
        const char* asked;         // the command's start
        bool succeeds;
    };
    const Row rows[] = {
        {"active: EPRT", false, "", "EPRT |2|::1|", true},
        {"passive: EPSV", true, "", "EPSV", true},
        {"EPSV refused: PASV cannot name an IPv6 address", true, "500 EPSV not understood", "EPSV", false},
        {"EPRT refused", false, "522 Network protocol not supported, use (1)", "EPRT |2|::1|", false},
    };
    const std::string bytes = ftptest::pattern(70000);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ScriptedServer server("::1", [&](ServerSession& s) {
            if (*row.extendedReply != '\0') {
                s.login();
                s.readCommand();
                s.reply(row.extendedReply);
                s.readCommand();
                s.reply("213 1");
                s.waitForClose();
                return;
            }
            DataLink data = ftptest::openTransfer(s, row.passive);
            data.sendAll(bytes);
            data.close();
            s.reply("226 Done");
            s.waitForClose();
        });
        net::TNetFTP ftp;
        ftptest::aimAt(ftp, server.port());
        ftp.Host = "::1";
        ftp.Passive = row.passive;
        ftp.OpenSession(true);
        net::TNetMemoryStream stream;
        if (row.succeeds) {
            ftp.DownloadToStream("f", stream);
            EXPECT_EQ(stream.Bytes(), bytes);
        } else {
            EXPECT_THROW(ftp.DownloadToStream("f", stream), net::ENetProtocolReplyError);
            EXPECT_EQ(ftp.QueryFileSize("f"), 1); // nothing more was sent
        }
        ftp.CloseConnection();
        const std::vector<std::string> commands = server.finish();
        EXPECT_EQ(server.error(), "");
        ASSERT_GE(commands.size(), 6u);
        EXPECT_THAT(commands[4], testing::StartsWith(row.asked));
        EXPECT_EQ(commands[5], row.succeeds ? "retr f" : "SIZE f");
    }
}

TEST(Transfer, PassiveReplyParsing) {
    struct Row {
        const char* name;
        const char* line;
        const char* address;
        int port;
    };
    const Row rows[] = {
        {"in parentheses", "227 Entering Passive Mode (192,168,1,2,19,137)", "192.168.1.2", 5001},
        {"after the last blank", "227 Entering Passive Mode 192,168,1,2,19,137", "192.168.1.2", 5001},
        {"blanks inside", "227 =( 127, 0, 0, 1, 4, 1 )", "127.0.0.1", 1025},
        {"port 65535", "227 (1,2,3,4,255,255)", "1.2.3.4", 65535},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const net::TPassiveEndpoint endpoint = net::ParsePassiveReply(row.line);
        EXPECT_EQ(endpoint.Address, row.address);
        EXPECT_EQ(endpoint.Port, row.port);
    }
    try {
        net::ParsePassiveReply("227 Entering Passive Mode (192,168,x1,2,19,137)");
        FAIL() << "no exception";
    } catch (const net::EConvertError& error) {
        EXPECT_STREQ(error.what(), "'x1' is not a valid integer value");
    }
    EXPECT_THROW(net::ParsePassiveReply("227 (1,2,3)"), net::EConvertError);
    EXPECT_THROW(net::ParsePassiveReply("227 (1,2,3,256,4,5)"), net::ENetInvalidPassiveEndpoint);
    EXPECT_THROW(net::ParsePassiveReply("227 (1,2,3,4,-1,5)"), net::ENetInvalidPassiveEndpoint);
    EXPECT_THROW(net::ParsePassiveReply("227 (1,2,3,4,1,256)"), net::ENetInvalidPassiveEndpoint);
    EXPECT_THROW(net::ParsePassiveReply("227 (1,2,3,4,0,0)"), net::ENetInvalidPassiveEndpoint);

    EXPECT_EQ(net::ParseExtendedPassiveReply("229 Entering Extended Passive Mode (|||6446|)"), 6446);
    EXPECT_EQ(net::ParseExtendedPassiveReply("229 EPSV ok (!!!65535!)"), 65535);
    EXPECT_THROW(net::ParseExtendedPassiveReply("229 (|||6x46|)"), net::EConvertError);
    EXPECT_THROW(net::ParseExtendedPassiveReply("229 (||6446|)"), net::ENetInvalidPassiveEndpoint);
    EXPECT_THROW(net::ParseExtendedPassiveReply("229 Entering Extended Passive Mode"), net::ENetInvalidPassiveEndpoint);
}

TEST(Transfer, InvalidPassiveEndpointRaisesWithoutConnecting) {
    struct Row {
        const char* name;
        std::vector<std::string> replies; // to EPSV, and to PASV when it follows
        std::vector<std::string> asked;
    };
    const Row rows[] = {
        {"PASV port 0", {"502 EPSV not implemented", "227 Entering Passive Mode (127,0,0,1,0,0)"}, {"EPSV", "PASV"}},
        {"EPSV port 0", {"229 Entering Extended Passive Mode (|||0|)"}, {"EPSV"}},
        {"EPSV port beyond 65535", {"229 Entering Extended Passive Mode (|||65536|)"}, {"EPSV"}},
        {"EPSV without its delimiters", {"229 Entering Extended Passive Mode (6446)"}, {"EPSV"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ScriptedServer server([&](ServerSession& s) {
            s.login();
            for (const std::string& reply : row.replies) {
                s.readCommand();
                s.reply(reply);
            }
            s.readCommand();
            s.reply("213 5");
            s.waitForClose();
        });
        net::TNetFTP ftp;
        ftptest::aimAt(ftp, server.port());
        ftp.Passive = true;
        ftp.OpenSession(true);
        net::TNetMemoryStream stream;
        EXPECT_THROW(ftp.DownloadToStream("f", stream), net::ENetInvalidPassiveEndpoint);
        EXPECT_EQ(ftp.QueryFileSize("f"), 5); // the transfer command was never sent
        ftp.CloseConnection();
        std::vector<std::string> expected{"user bob", "pass secret", "type I", "syst"};
        expected.insert(expected.end(), row.asked.begin(), row.asked.end());
        expected.push_back("SIZE f");
        EXPECT_EQ(server.finish(), expected);
    }
}

TEST(Transfer, ActiveModeClosesForeignConnectorsAndKeepsWaiting) {
    const std::string bytes = ftptest::pattern(1000);
    bool foreignSawClose = false;
    ScriptedServer server([&](ServerSession& s) {
        s.login();
        s.readCommand();
        s.reply("200 PORT ok");
        s.readCommand();
        s.reply("150 ok");
        // Another loopback address stands in for a third party racing the server to the data port.
        DataLink foreign = s.connectToPort("127.0.0.2");
        foreignSawClose = foreign.receiveAll().empty();
        DataLink data = s.connectToPort();
        data.sendAll(bytes);
        data.close();
        s.reply("226 Done");
        s.waitForClose();
    });
    net::TNetFTP ftp;
    ftptest::aimAt(ftp, server.port());
    ftp.OpenSession(true);
    net::TNetMemoryStream stream;
    ftp.DownloadToStream("f", stream);
    EXPECT_EQ(stream.Bytes(), bytes);
    ftp.CloseConnection();
    server.finish();
    EXPECT_EQ(server.error(), "");
    EXPECT_TRUE(foreignSawClose);
}

TEST(Transfer, ActiveWaitEndsOnControlFailureOrClose) {
    struct Row {
        const char* name;
        bool closeControl;
    };
    for (const Row& row : {Row{"425 on the control connection", false}, Row{"control connection closed", true}}) {
        SCOPED_TRACE(row.name);
        ScriptedServer server([&](ServerSession& s) {
            s.login();
            s.readCommand();
            s.reply("200 PORT ok");
            s.readCommand();
            s.reply("150 ok");
            if (row.closeControl) {
                s.close();
                return;
            }
            s.reply("425 Can't open data connection.");
            s.waitForClose();
        });
        net::TNetFTP ftp;
        ftptest::aimAt(ftp, server.port(), 5000ms);
        ftp.OpenSession(true);
        net::TNetMemoryStream stream;
        const auto start = std::chrono::steady_clock::now();
        if (row.closeControl) {
            EXPECT_THROW(ftp.DownloadToStream("f", stream), net::ENetConnClosedGracefully);
            EXPECT_FALSE(ftp.IsConnected());
        } else {
            try {
                ftp.DownloadToStream("f", stream);
                FAIL() << "no exception";
            } catch (const net::ENetProtocolReplyError& error) {
                EXPECT_EQ(error.code(), 425);
            }
            EXPECT_TRUE(ftp.IsConnected());
        }
        EXPECT_LT(std::chrono::steady_clock::now() - start, 2000ms);
        EXPECT_EQ(ftp.DataConnection(), nullptr);
        ftp.CloseConnection();
    }
}

TEST(Transfer, TimeOutPaths) {
    struct Row {
        const char* name;
        bool passive;
        int stage; // 0: never connects back, 1: connects and stays silent, 2: no final reply
        bool upload = false;
    };
    const Row rows[] = {
        {"server never connects back", false, 0},    {"silent active data connection", false, 1},
        {"silent passive data connection", true, 1}, {"no final reply", false, 2},
        {"upload nobody reads", false, 1, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ScriptedServer server([&](ServerSession& s) {
            s.login();
            s.readCommand();
            s.reply(row.passive ? s.openPassive() : "200 PORT ok");
            s.readCommand();
            DataLink data = row.passive ? s.acceptPassive() : DataLink();
            s.reply("150 ok");
            if (row.stage >= 1 && !row.passive) {
                data = s.connectToPort();
            }
            if (row.stage == 2) {
                data.sendAll("xyz");
                data.close();
            }
            s.waitForClose();
        });
        net::TNetFTP ftp;
        ftptest::aimAt(ftp, server.port(), 300ms);
        ftp.Passive = row.passive;
        ftp.OpenSession(true);
        net::TNetMemoryStream stream(row.upload ? ftptest::pattern(32 << 20) : std::string());
        const auto start = std::chrono::steady_clock::now();
        try {
            if (row.upload) {
                ftp.UploadFromStream(stream, "f", false);
            } else {
                ftp.DownloadToStream("f", stream);
            }
            FAIL() << "no exception";
        } catch (const net::ENetSocketError& error) {
            EXPECT_EQ(error.number(), 10060);
        }
        const auto took = std::chrono::steady_clock::now() - start;
        EXPECT_GE(took, 290ms);
        EXPECT_LT(took, 1500ms);
        EXPECT_EQ(ftp.DataConnection(), nullptr);
        ftp.CloseConnection();
    }
}

TEST(Transfer, BrokenDownloadGoesOnWhereItStopped) {
    using Break = ftptest::BreakingServer::Break;
    enum class Ends { Whole, Raised, NotContinued };
    struct Row {
        const char* name;
        std::vector<std::int64_t> breakAt;
        Break how = Break::CloseWith426;
        Ends ends = Ends::Whole;
        std::vector<std::int64_t> retriesFrom = {}; // where each retry went on
        bool passive = false;
        std::chrono::milliseconds idle = 3000ms;
        bool offersRest = true;
        std::string modified = "20260108101502";
        int changedFrom = 0;
        std::string changedModified = "20260108101502";
        std::string changedContent = {}; // empty: the same bytes
        std::string address = "127.0.0.1";
    };
    const Row rows[] = {
        {.name = "three 426s", .breakAt = {100000, 300000, 700000}, .retriesFrom = {100000, 300000, 700000}},
        {.name = "two resets", .breakAt = {200000, 600000}, .how = Break::Reset, .retriesFrom = {200000, 600000}},
        {.name = "silence: the time-out",
         .breakAt = {500000},
         .how = Break::Stall,
         .retriesFrom = {500000},
         .idle = 300ms},
        {.name = "over IPv6, passive", .breakAt = {100000}, .retriesFrom = {100000}, .passive = true, .address = "::1"},
        {.name = "without MDTM the size alone decides", .breakAt = {100000}, .retriesFrom = {100000}, .modified = ""},
        {.name = "a fourth break is the end",
         .breakAt = {100000, 200000, 300000, 400000},
         .ends = Ends::Raised,
         .retriesFrom = {100000, 200000, 300000}},
        {.name = "nothing before the break", .breakAt = {0}, .ends = Ends::Raised},
        {.name = "no REST STREAM in FEAT",
         .breakAt = {500000},
         .how = Break::Stall,
         .ends = Ends::Raised,
         .idle = 300ms,
         .offersRest = false},
        {.name = "size changed",
         .breakAt = {100000},
         .ends = Ends::NotContinued,
         .retriesFrom = {100000},
         .changedFrom = 2,
         .changedContent = ftptest::pattern(999999)},
        {.name = "modification time changed",
         .breakAt = {100000},
         .ends = Ends::NotContinued,
         .retriesFrom = {100000},
         .changedFrom = 2,
         .changedModified = "20260108101503"},
    };
    const std::string content = ftptest::pattern(1000000);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        if (row.how == Break::Reset && testsupport::RunningUnderWine()) {
            continue; // kResetNeedsARealSystem
        }
        ftptest::BreakingServer server({.content = content,
                                        .breakAt = row.breakAt,
                                        .how = row.how,
                                        .offersRest = row.offersRest,
                                        .modified = row.modified,
                                        .changedFrom = row.changedFrom,
                                        .changedContent = row.changedContent.empty() ? content : row.changedContent,
                                        .changedModified = row.changedModified,
                                        .address = row.address});
        net::TNetFTP ftp;
        ftptest::aimAt(ftp, server.port(), row.idle);
        ftp.Host = row.address;
        ftp.Passive = row.passive;
        ftp.RetryPause = 0ms;
        std::vector<std::int64_t> retriesFrom;
        ftp.OnRetry = [&](int retry, std::int64_t from, const std::string& cause) {
            EXPECT_EQ(retry, static_cast<int>(retriesFrom.size()) + 1);
            EXPECT_FALSE(cause.empty());
            retriesFrom.push_back(from);
        };
        ftp.OpenSession(true);
        net::TNetMemoryStream stream;
        switch (row.ends) {
        case Ends::Whole:
            ftp.DownloadContinuing("f", stream, static_cast<std::int64_t>(content.size()));
            EXPECT_TRUE(stream.Bytes() == content);
            EXPECT_EQ(server.bytesSent(), static_cast<std::int64_t>(content.size())) << "no byte sent twice";
            break;
        case Ends::Raised:
            EXPECT_THROW(ftp.DownloadContinuing("f", stream, static_cast<std::int64_t>(content.size())),
                         net::ENetException);
            EXPECT_TRUE(stream.Bytes() == content.substr(0, stream.Bytes().size()));
            break;
        case Ends::NotContinued:
            EXPECT_THROW(ftp.DownloadContinuing("f", stream, static_cast<std::int64_t>(content.size())),
                         net::ENetDownloadNotContinued);
            EXPECT_EQ(stream.Bytes().size(), static_cast<std::size_t>(row.breakAt.front()));
            break;
        }
        ftp.CloseConnection();
        EXPECT_EQ(retriesFrom, row.retriesFrom);
        // A changed file is never continued; the bytes show that each REST was where the stream stood.
        const auto commands = server.commands();
        EXPECT_EQ(std::count_if(commands.begin(), commands.end(),
                                [](const std::string& command) { return command.rfind("REST ", 0) == 0; }),
                  row.ends == Ends::NotContinued ? 0 : static_cast<long>(row.retriesFrom.size()));
        EXPECT_EQ(server.error(), "");
    }
}

} // namespace
