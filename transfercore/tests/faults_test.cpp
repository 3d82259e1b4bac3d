// Faults under a download by the transfer core: the disk fills or the file size limit is hit
// while the temporary file is written, or the server stops sending half-way. L and O must come out
// exactly as they went in.
#include "TestSockets.h"
#include "TransferFixture.h"

#include <atomic>
#include <cstdio>
#include <functional>
#include <thread>

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

// A bare FTP server on loopback that logs in anyone, announces a size, opens the active data
// connection and sends the first `sent` bytes. Then it either stays silent until the client leaves,
// or closes the data connection and ends the transfer with a 426 that no 226 follows.
class StallingServer {
public:
    enum class AfterData { StaySilent, AbortWith426 };

    StallingServer(std::int64_t announced, std::string sent, AfterData after = AfterData::StaySilent)
        : m_announced(announced), m_sent(std::move(sent)), m_after(after) {
        m_listener = testsupport::listenOnLoopback(1, m_port);
        m_thread = std::thread([this] { run(); });
    }
    ~StallingServer() { m_thread.join(); }
    StallingServer(const StallingServer&) = delete;
    StallingServer& operator=(const StallingServer&) = delete;

    int port() const { return m_port; }
    bool dataSent() const { return m_dataSent; }

private:
    static void send(const testsupport::TestSocket& socket, const std::string& bytes) {
        try {
            testsupport::sendAll(socket.get(), bytes.data(), bytes.size());
        } catch (const std::runtime_error&) {
            // The client has gone: nothing more to say.
        }
    }

    std::string readLine(const testsupport::TestSocket& socket) {
        for (;;) {
            const auto end = m_buffer.find("\r\n");
            if (end != std::string::npos) {
                std::string line = m_buffer.substr(0, end);
                m_buffer.erase(0, end + 2);
                return line;
            }
            char chunk[1024];
            const long n = testsupport::waitReadable(socket.get(), 5000)
                               ? testsupport::receiveSome(socket.get(), chunk, sizeof chunk)
                               : 0;
            if (n <= 0) {
                return std::string();
            }
            m_buffer.append(chunk, static_cast<std::size_t>(n));
        }
    }

    void run() {
        if (!testsupport::waitReadable(m_listener.get(), 5000)) {
            return;
        }
        const testsupport::TestSocket control = testsupport::acceptFrom(m_listener.get());
        testsupport::TestSocket data;
        send(control, "220 ready\r\n");
        for (std::string line = readLine(control); !line.empty(); line = readLine(control)) {
            const std::string verb = line.substr(0, line.find(' '));
            if (verb == "user") {
                send(control, "331 password\r\n");
            } else if (verb == "pass") {
                send(control, "230 in\r\n");
            } else if (verb == "type") {
                send(control, "200 type\r\n");
            } else if (verb == "syst") {
                send(control, "215 UNIX Type: L8\r\n");
            } else if (verb == "SIZE") {
                send(control, "213 " + std::to_string(m_announced) + "\r\n");
            } else if (verb == "PORT") {
                data = connectTo(line.substr(5));
                send(control, "200 PORT ok\r\n");
            } else if (verb == "retr") {
                send(control, "150 opening\r\n");
                send(data, m_sent);
                m_dataSent = true;
                if (m_after == AfterData::AbortWith426) {
                    data.close();
                    send(control, "426 Connection closed; transfer aborted.\r\n");
                }
            } else {
                send(control, "502 not here\r\n");
            }
        }
    }

    static testsupport::TestSocket connectTo(const std::string& argument) {
        int p[6] = {};
        if (std::sscanf(argument.c_str(), "%d,%d,%d,%d,%d,%d", &p[0], &p[1], &p[2], &p[3], &p[4], &p[5]) != 6) {
            return testsupport::TestSocket();
        }
        const std::string ip =
            std::to_string(p[0]) + "." + std::to_string(p[1]) + "." + std::to_string(p[2]) + "." + std::to_string(p[3]);
        return testsupport::connectTo(ip, p[4] * 256 + p[5]);
    }

    std::int64_t m_announced;
    std::string m_sent;
    AfterData m_after;
    testsupport::TestSocket m_listener;
    int m_port = 0;
    std::string m_buffer;
    std::atomic<bool> m_dataSent{false};
    std::thread m_thread;
};

TEST_F(TransferTest, HalfTheDataThenSilenceOrALone426FailsKeepingTLAndO) {
    using AfterData = StallingServer::AfterData;
    using std::chrono::milliseconds;
    struct Row {
        const char* name;
        AfterData after;
        milliseconds idleTimeout;
        milliseconds atLeast; // the wait that must pass first
        milliseconds below;
        std::string cause; // the log line after the error line
    };
    const Row rows[] = {
        // The idle time-out ends the wait, not an earlier guess.
        {"silence after half the data", AfterData::StaySilent, 400ms, 390ms, 3000ms,
         "FTP: årsak: Socket Error # 10060 Connection timed out."},
        // The data connection closed and a 426 with no 226 after it: a short wait, not the idle time-out.
        {"426 alone after half the data", AfterData::AbortWith426, 60000ms, 0ms, 15000ms,
         "FTP: serveren svarte: 426 Connection closed; transfer aborted."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        resetAll();
        const std::string content = PatternBytes(200000, 's');
        StallingServer server(200000, content.substr(0, 100000), row.after);
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

        const auto start = std::chrono::steady_clock::now();
        core.run.HentFil(L);
        const auto took = std::chrono::steady_clock::now() - start;

        EXPECT_TRUE(server.dataSent());
        EXPECT_GE(took, row.atLeast);
        EXPECT_LT(took, row.below);
        EXPECT_EQ(ftpunit::ftpfeil(), 500);
        EXPECT_EQ(ftpunit::LastOutcome(), ftpunit::Outcome::DownloadFailed);
        EXPECT_EQ(core.client.LastTransferBytes(), 100000);
        EXPECT_EQ(testsupport::ReadFileBytes(T), content.substr(0, 100000)) << "what came stays in T";
        EXPECT_EQ(testsupport::ReadFileBytes(L), "forrige versjon");
        EXPECT_EQ(testsupport::ReadFileBytes(O), "eldste versjon");
        EXPECT_FALSE(core.client.IsConnected());
        const auto messages = logMessages();
        ASSERT_GE(messages.size(), 3u);
        EXPECT_EQ(messages[messages.size() - 2], row.cause);
        EXPECT_EQ(messages.back(), "FTP: Kobler fra.");
        fs::remove(logFile());
    }
}

} // namespace
