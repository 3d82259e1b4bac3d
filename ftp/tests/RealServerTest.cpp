// The whole path against a real FTP server from the system's packages, started on a loopback port.
#include "FtpTestUtil.h"
#include "ScriptedServer.h"

#include "BrokeredFtpServer.h"
#include "ServerProcess.h"
#include "TempEnvironment.h"
#include "TestSockets.h"

#include <gtest/gtest.h>

#include <fstream>
#include <memory>

using namespace std::chrono_literals;

namespace {

using testsupport::acceptsConnections;

#ifdef _WIN32
// Under wine the server runs on the build machine, started there by the broker.
bool hasServer() {
    return testsupport::BrokeredFtpServer::available();
}
constexpr const char* kNoServer = "no FTP server broker (the tests run under scripts/test windows have one)";
#else
constexpr const char* kPython = "/usr/bin/python3";

bool hasServer() {
    const std::string command = std::string(kPython) + " -c 'import pyftpdlib' >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}
constexpr const char* kNoServer = "/usr/bin/python3 lacks pyftpdlib";
#endif

std::string pattern(std::size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    std::uint32_t x = seed * 2654435761u + 1;
    for (char& c : bytes) {
        x = x * 1664525u + 1013904223u;
        c = static_cast<char>(x >> 24);
    }
    return bytes;
}

// The suite's servers, one on each loopback address.
constexpr std::size_t kIPv4 = 0;
constexpr std::size_t kIPv6 = 1;
constexpr const char* kAddresses[] = {"127.0.0.1", "::1"};

// One server process per address for the whole suite.
class RealServer : public testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!hasServer()) {
            return;
        }
        s_root = new testsupport::TempFolder();
        std::filesystem::create_directory(s_root->path() / "served");
        for (std::size_t i = 0; i < std::size(kAddresses); ++i) {
#ifdef _WIN32
            try {
                s_brokered[i] = std::make_unique<testsupport::BrokeredFtpServer>(
                    served(), "tester", "pw", std::vector<std::string>{"--host", kAddresses[i]});
                s_ports[i] = s_brokered[i]->port();
            } catch (const std::exception& error) {
                s_startFailure = error.what();
            }
#else
            // The port is free when chosen but another process may take it first: then try another one.
            for (int attempt = 0; attempt < 3 && !startServer(i); ++attempt) {
            }
#endif
        }
    }

#ifndef _WIN32
    // Starts the server on a fresh port and waits until it accepts connections.
    static bool startServer(std::size_t i) {
        const int port = testsupport::freeLoopbackPort(kAddresses[i]);
        s_ports[i] = port;
        const std::string folder = (s_root->path() / "served").string();
        return s_processes[i].start({kPython, "-m", "pyftpdlib", "-i", kAddresses[i], "-p", std::to_string(port), "-w",
                                     "-d", folder, "-u", "tester", "-P", "pw"},
                                    port, s_root->path() / "server.log", kAddresses[i]);
    }
#endif

    static void TearDownTestSuite() {
        for (std::size_t i = 0; i < std::size(kAddresses); ++i) {
#ifdef _WIN32
            s_brokered[i].reset();
#else
            s_processes[i].stop();
#endif
        }
        delete s_root;
        s_root = nullptr;
    }

    static bool serverRunning(std::size_t i) {
#ifdef _WIN32
        return s_brokered[i] != nullptr;
#else
        return s_processes[i].running();
#endif
    }

    void SetUp() override {
        if (!hasServer()) {
            GTEST_SKIP() << kNoServer;
        }
        for (std::size_t i = 0; i < std::size(kAddresses); ++i) {
            ASSERT_TRUE(serverRunning(i)) << "server did not start " << s_startFailure
                                          << testsupport::ReadFileBytes(s_root->path() / "server.log");
            ASSERT_TRUE(acceptsConnections(s_ports[i], kAddresses[i]))
                << testsupport::ReadFileBytes(s_root->path() / "server.log");
        }
    }

    // A session with the server on the address of index i; an IPv6 address is written in brackets.
    net::TNetFTP& session(bool passive, std::size_t i = kIPv4) {
        ftptest::aimAt(m_ftp, s_ports[i], 10000ms);
        m_ftp.Host = i == kIPv6 ? "[::1]" : kAddresses[i];
        m_ftp.User = "tester";
        m_ftp.Password = "pw";
        m_ftp.Passive = passive;
        m_log.attach(m_ftp);
        m_ftp.OpenSession(true);
        return m_ftp;
    }

    static std::filesystem::path served() {
        return s_root->path() / "served";
    }

    net::TNetFTP m_ftp;
    ftptest::EventLog m_log;
    testsupport::TempFolder m_local;

    static inline testsupport::TempFolder* s_root = nullptr;
    static inline int s_ports[std::size(kAddresses)] = {};
    static inline std::string s_startFailure;
#ifdef _WIN32
    static inline std::unique_ptr<testsupport::BrokeredFtpServer> s_brokered[std::size(kAddresses)];
#else
    static inline testsupport::ServerProcess s_processes[std::size(kAddresses)];
#endif
};

TEST_F(RealServer, UploadsAndDownloadsByteForByte) {
    const std::size_t sizes[] = {0, 1, 32767, 32768, 32769, 10u << 20};
    for (const std::size_t family : {kIPv4, kIPv6}) {
        for (const bool passive : {false, true}) {
            net::TNetFTP& ftp = session(passive, family);
            for (const std::size_t size : sizes) {
                SCOPED_TRACE(std::string(kAddresses[family]) + (passive ? " passive " : " active ") +
                             std::to_string(size));
                const std::string bytes = pattern(size, static_cast<unsigned>(size) + passive);
                const std::string name =
                    "f" + std::to_string(size) + (passive ? "p" : "a") + std::to_string(family) + ".bin";
                const auto source = m_local.path() / ("up-" + name);
                const auto target = m_local.path() / ("down-" + name);
                testsupport::WriteFileBytes(source, bytes);

                m_log.events.clear();
                ftp.UploadFile(source.string(), name, false);
                EXPECT_EQ(testsupport::ReadFileBytes(served() / name), bytes);
                ftptest::expectWorkEvents(m_log, 1, static_cast<std::int64_t>(size), static_cast<std::int64_t>(size));
                EXPECT_EQ(ftp.QueryFileSize(name), static_cast<std::int64_t>(size));

                m_log.events.clear();
                ftp.DownloadFile(name, target.string(), true);
                EXPECT_EQ(testsupport::ReadFileBytes(target), bytes);
                EXPECT_EQ(ftp.LastTransferBytes(), static_cast<std::int64_t>(size));
                ftptest::expectWorkEvents(m_log, 0, 0, static_cast<std::int64_t>(size));
            }
            ftp.CloseConnection();
            EXPECT_FALSE(ftp.IsConnected());
        }
    }
}

TEST_F(RealServer, AppendAddsToTheRemoteFile) {
    net::TNetFTP& ftp = session(false);
    const auto first = m_local.path() / "first";
    const auto second = m_local.path() / "second";
    testsupport::WriteFileBytes(first, "head-");
    testsupport::WriteFileBytes(second, pattern(40000, 7));
    ftp.UploadFile(first.string(), "appended.txt", false);
    ftp.UploadFile(second.string(), "appended.txt", true);
    EXPECT_EQ(testsupport::ReadFileBytes(served() / "appended.txt"), "head-" + pattern(40000, 7));
    ftp.CloseConnection();
}

TEST_F(RealServer, MissingFileRaisesAndSessionStaysUsable) {
    for (const bool passive : {false, true}) {
        SCOPED_TRACE(passive ? "passive" : "active");
        net::TNetFTP& ftp = session(passive);
        EXPECT_EQ(ftp.QueryFileSize("no-such-file"), -1);
        const auto target = m_local.path() / "missing";
        try {
            ftp.DownloadFile("no-such-file", target.string(), true);
            FAIL() << "no exception";
        } catch (const net::ENetProtocolReplyError& error) {
            EXPECT_EQ(error.code(), 550);
        }
        EXPECT_EQ(ftp.DataConnection(), nullptr);
        EXPECT_TRUE(ftp.IsConnected());
        testsupport::WriteFileBytes(served() / "present", "x");
        EXPECT_EQ(ftp.QueryFileSize("present"), 1);
        ftp.CloseConnection();
    }
}

TEST_F(RealServer, WrongPasswordIsRefused) {
    ftptest::aimAt(m_ftp, s_ports[kIPv4], 10000ms);
    m_ftp.User = "tester";
    m_ftp.Password = "wrong";
    m_log.attach(m_ftp);
    try {
        m_ftp.OpenSession(true);
        FAIL() << "no exception";
    } catch (const net::ENetProtocolReplyError& error) {
        EXPECT_EQ(error.code(), 530);
    }
    EXPECT_FALSE(m_ftp.IsConnected());
    EXPECT_EQ(m_log.events.back(), "disconnected");
}

} // namespace
