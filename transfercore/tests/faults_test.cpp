// Faults under a download by the transfer core: the disk fills or the file size limit is hit
// while the temporary file is written, or the server stops sending half-way. L and O must come out
// exactly as they went in, unless a broken download could go on to the end.
#include "BreakingServer.h"
#include "TransferFixture.h"

#include <gmock/gmock.h>

#include <algorithm>
#include <functional>

#ifndef _WIN32
#include <sys/mount.h>

#include "ScopedFileSizeLimit.h"
#endif

namespace {

using namespace transfertest;
using namespace std::chrono_literals;
using ftpunit::WindowAfter;

const std::string kUser = "kari";
const std::string kPassword = "Hemmelig7";

class DownloadFaultTest : public TransferTest {
protected:
    void TearDown() override {
#ifndef _WIN32
        if (m_mounted) {
            ::umount2(m_local.c_str(), MNT_DETACH);
        }
#endif
        TransferTest::TearDown();
    }

    void startServer() {
        m_server = std::make_unique<FtpServerProcess>(m_env.root() / "server", kUser, kPassword);
        loadIni("[STANDARD]\nLogToFile=1\n" + ftpEntry("127.0.0.1", m_server->port(), kUser, kPassword));
    }

    // The local folder as a filesystem of its own with room for `bytes`; false where mounting is not allowed.
    bool mountSmallFolder(std::size_t bytes) {
        m_local = work() / "liten";
        fs::create_directories(m_local);
#ifdef _WIN32
        (void)bytes;
        return false;
#else
        const std::string options = "size=" + std::to_string(bytes) + ",mode=0755";
        m_mounted = ::mount("tmpfs", m_local.c_str(), "tmpfs", 0, options.c_str()) == 0;
        return m_mounted;
#endif
    }

    void useOrdinaryFolder() {
        m_local = work() / "data";
        fs::create_directories(m_local);
    }

    std::string local(const std::string& name) const {
        return (m_local / name).string();
    }

    // L and O with content of their own, a remote file far larger than the room left for T; the
    // download runs under `during` (which sets up the fault) and must leave L and O as they were.
    template <typename Fault> void expectLAndOKept(std::size_t remoteSize, const std::string& cause, Fault during) {
        const std::string remoteContent = PatternBytes(remoteSize, 'r');
        testsupport::WriteFileBytes(m_server->root() / "tabell.dat", remoteContent);
        const std::string L = local("tabell.dat");
        const std::string O = local("tabell.old");
        const std::string T = local("tabell.tmp");
        const std::string lContent = PatternBytes(150000, 'l');
        const std::string oContent = PatternBytes(90000, 'o');
        testsupport::WriteFileBytes(L, lContent);
        testsupport::WriteFileBytes(O, oContent);
        CoreTransfer core;

        during([&] { core.run.HentFil(L); });

        EXPECT_EQ(ftpunit::ftpfeil(), 500);
        EXPECT_EQ(ftpunit::LastOutcome(), ftpunit::Outcome::DownloadFailed);
        EXPECT_EQ(testsupport::ReadFileBytes(L), lContent);
        EXPECT_EQ(testsupport::ReadFileBytes(O), oContent);
        if (fs::exists(T)) {
            EXPECT_LT(fs::file_size(T), remoteSize) << "T cannot hold the whole file";
        }
        EXPECT_FALSE(core.client.IsConnected());
        EXPECT_EQ(core.seen.finished, WindowAfter::Close);
        const auto messages = logMessages();
        ASSERT_FALSE(messages.empty());
        EXPECT_EQ(messages.back(), "FTP: Kobler fra.");
        EXPECT_NE(logText().find("FTP: Feil nr. 500, kan ikke laste ned filen " + L), std::string::npos);
        EXPECT_NE(logText().find("FTP: årsak: Cannot write file " + T + ": " + cause), std::string::npos) << logText();
    }

    fs::path m_local;
    bool m_mounted = false;
    std::unique_ptr<FtpServerProcess> m_server;
};

TEST_F(DownloadFaultTest, FullFilesystemHalfWayKeepsLAndO) {
    if (!mountSmallFolder(1 << 20)) {
        GTEST_SKIP() << "mounting a small filesystem is not allowed here";
    }
    startServer();
    expectLAndOKept(4 << 20, "No space left on device", [](auto download) { download(); });
    EXPECT_LT(fs::file_size(local("tabell.tmp")), std::uintmax_t{1} << 20);
}

TEST_F(DownloadFaultTest, FileSizeLimitHalfWayKeepsLAndO) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows has no file size limit to cut a write short with";
#else
    useOrdinaryFolder();
    startServer(); // before the limit: the server process must not inherit it
    expectLAndOKept(3 << 20, "File too large", [](auto download) {
        testsupport::ScopedFileSizeLimit limit(1 << 20);
        ASSERT_TRUE(limit.active());
        download();
    });
    EXPECT_EQ(fs::file_size(local("tabell.tmp")), std::uintmax_t{1} << 20);
#endif
}

// ---- A server that stops sending half-way --------------------------------------------------------

TEST_F(TransferTest, BrokenDataConnectionFailsKeepingTLAndOUnlessItCanGoOn) {
    using Break = ftptest::BreakingServer::Break;
    using std::chrono::milliseconds;
    struct Row {
        const char* name;
        Break how;
        std::vector<std::int64_t> breakAt;
        bool offersRest;
        bool changes; // the file on the server changes after the first break
        milliseconds idleTimeout;
        milliseconds atLeast; // the wait that must pass first
        milliseconds below;
        std::vector<std::int64_t> retriedFrom;
        std::string cause; // the log line after the error line; empty: the download completes
        std::string abortReply = "426 Connection closed; transfer aborted.";
    };
    const Row rows[] = {
        // The idle time-out ends the wait, not an earlier guess.
        {"silence after half the data, no REST STREAM",
         Break::Stall,
         {100000},
         false,
         false,
         400ms,
         390ms,
         3000ms,
         {},
         "FTP: årsak: Socket Error # 10060 Connection timed out."},
        // The data connection closed and a 426 with no 226 after it: a short wait, not the idle time-out.
        {"426 alone after half the data, no REST STREAM",
         Break::CloseWith426,
         {100000},
         false,
         false,
         60000ms,
         0ms,
         15000ms,
         {},
         "FTP: serveren svarte: 426 Connection closed; transfer aborted."},
        {"three breaks, each continued",
         Break::CloseWith426,
         {50000, 100000, 150000},
         true,
         false,
         3000ms,
         0ms,
         3000ms,
         {50000, 100000, 150000},
         ""},
        {"a fourth break",
         Break::CloseWith426,
         {20000, 40000, 60000, 100000},
         true,
         false,
         3000ms,
         0ms,
         3000ms,
         {20000, 40000, 60000},
         "FTP: serveren svarte: 426 Connection closed; transfer aborted."},
        {"the file changed before the retry",
         Break::CloseWith426,
         {100000},
         true,
         true,
         3000ms,
         0ms,
         3000ms,
         {100000},
         "FTP: årsak: The download cannot be continued: the file on the server has changed"},
        // The retry's log line holds the server's words, never the password in them.
        {"a 426 that echoes the password",
         Break::CloseWith426,
         {100000},
         true,
         false,
         3000ms,
         0ms,
         3000ms,
         {100000},
         "",
         "426 Connection closed; 'PASS " + kPassword + "' aborted."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        resetAll();
        const std::string content = PatternBytes(200000, 's');
        ftptest::BreakingServer server({.content = content,
                                        .breakAt = row.breakAt,
                                        .how = row.how,
                                        .offersRest = row.offersRest,
                                        .changedFrom = row.changes ? 2 : 0,
                                        .changedContent = PatternBytes(200001, 'c'),
                                        .abortReply = row.abortReply});
        loadIni("[STANDARD]\nLogToFile=1\n" + ftpEntry("127.0.0.1", server.port(), kUser, kPassword));
        const fs::path folder = work() / "data";
        fs::remove_all(folder);
        fs::create_directories(folder);
        const std::string L = (folder / "liste.txt").string();
        const std::string T = (folder / "liste.tmp").string();
        const std::string O = (folder / "liste.old").string();
        testsupport::WriteFileBytes(L, "forrige versjon");
        testsupport::WriteFileBytes(O, "eldste versjon");
        CoreTransfer core;
        core.client.IdleTimeout = row.idleTimeout;
        core.client.RetryPause = 0ms;

        const auto start = std::chrono::steady_clock::now();
        core.run.HentFil(L);
        const auto took = std::chrono::steady_clock::now() - start;

        EXPECT_GE(took, row.atLeast);
        EXPECT_LT(took, row.below);
        EXPECT_EQ(core.seen.retriedFrom, row.retriedFrom);
        // The progress goes on where it was after each retry, up to the whole file.
        EXPECT_TRUE(std::is_sorted(core.seen.counts.begin(), core.seen.counts.end()));
        const auto messages = logMessages();
        ASSERT_GE(messages.size(), 3u);
        EXPECT_EQ(logText().find(kPassword), std::string::npos) << "the password must never be logged";
        for (std::size_t i = 0; i < row.retriedFrom.size(); ++i) {
            const std::string from = std::to_string(row.retriedFrom[i]);
            EXPECT_THAT(messages, testing::Contains(testing::StartsWith("FTP: forbindelsen brøt etter " + from +
                                                                        " av 200000 byte (426 Connection closed")))
                << from;
        }
        if (row.cause.empty()) {
            EXPECT_EQ(ftpunit::ftpfeil(), 0);
            EXPECT_TRUE(testsupport::ReadFileBytes(L) == content) << "byte for byte as an unbroken download";
            EXPECT_EQ(testsupport::ReadFileBytes(O), "forrige versjon");
            EXPECT_EQ(core.seen.counts.back(), 200000);
            EXPECT_EQ(server.bytesSent(), 200000) << "no byte sent twice";
            continue;
        }
        // Up to the break that was not continued.
        const std::int64_t kept = row.breakAt[std::min(row.retriedFrom.size(), row.breakAt.size() - 1)];
        EXPECT_EQ(ftpunit::ftpfeil(), 500);
        EXPECT_EQ(ftpunit::LastOutcome(), ftpunit::Outcome::DownloadFailed);
        EXPECT_TRUE(testsupport::ReadFileBytes(T) == content.substr(0, kept)) << "what came stays in T";
        EXPECT_EQ(testsupport::ReadFileBytes(L), "forrige versjon");
        EXPECT_EQ(testsupport::ReadFileBytes(O), "eldste versjon");
        EXPECT_FALSE(core.client.IsConnected());
        EXPECT_EQ(messages[messages.size() - 2], row.cause);
        EXPECT_EQ(messages.back(), "FTP: Kobler fra.");
        fs::remove(logFile());
    }
}

} // namespace
