// A small FTP server on a loopback address that serves one file to session after session, and breaks the data
// connection of its downloads at set offsets of the file: the first download at the first offset, the next at
// the second, and so on; a download past the last offset runs to the end. It answers FEAT, SIZE, MDTM and REST
// as told, in active (PORT, EPRT) and passive (EPSV, PASV) mode, so a client can continue what broke.
#pragma once

#include "TestSockets.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace ftptest {

class BreakingServer {
public:
    // How a download breaks: a reset (not under wine: see kResetNeedsARealSystem), the data connection
    // closed and the transfer ended with 426, or silence with the data connection held open.
    enum class Break { Reset, CloseWith426, Stall };

    struct Options {
        std::string content = {};
        std::vector<std::int64_t> breakAt = {}; // offsets in the file, one per download
        Break how = Break::CloseWith426;
        bool offersRest = true;                  // REST STREAM in FEAT, and REST answered with 350
        std::string modified = "20260108101502"; // MDTM's answer; empty: MDTM is not offered
        // From the download of this number on (1 for the first), the file is changed.
        int changedFrom = 0;
        std::string changedContent = {};
        std::string changedModified = {};
        std::string address = "127.0.0.1";
        std::string abortReply = "426 Connection closed; transfer aborted."; // for Break::CloseWith426
    };

    explicit BreakingServer(Options options);
    ~BreakingServer();
    BreakingServer(const BreakingServer&) = delete;
    BreakingServer& operator=(const BreakingServer&) = delete;

    int port() const { return m_port; }
    // Every command of every session so far, in order; each session starts with "(session)".
    std::vector<std::string> commands() const;
    // Data bytes sent by every download together.
    std::int64_t bytesSent() const { return m_bytesSent; }
    // Failure text of the server's thread, empty when it ran without one.
    std::string error() const;

private:
    void run();
    void serve(testsupport::TestSocket control);
    void download(testsupport::TestSocket& control, testsupport::TestSocket& data, std::int64_t from);

    Options m_options;
    testsupport::TestSocket m_listener;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<std::int64_t> m_bytesSent{0};
    int m_downloads = 0;
    mutable std::mutex m_mutex;
    std::vector<std::string> m_commands;
    std::string m_error;
    std::thread m_thread;
};

} // namespace ftptest
