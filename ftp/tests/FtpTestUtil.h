// Helpers shared by the FTP client tests: a client aimed at a loopback port, and a recorder of events.
#pragma once

#include "NetFTP.h"

#include <gtest/gtest.h>

#include <chrono>
#include <exception>
#include <string>
#include <vector>

namespace ftptest {

// Bytes that differ from position to position, so a lost or moved piece shows.
inline std::string pattern(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xff);
    }
    return bytes;
}

// Every event as text, in order: "connected", "disconnected", "begin 0 0", "work 0 123", "end 0".
struct EventLog {
    std::vector<std::string> events;
    std::vector<const net::TNetComponent*> workSenders;

    void attach(net::TNetFTP& ftp) {
        ftp.OnConnected = [this](net::TNetComponent&) { events.push_back("connected"); };
        ftp.OnDisconnected = [this](net::TNetComponent&) { events.push_back("disconnected"); };
        ftp.OnWorkBegin = [this](net::TNetComponent& sender, net::TWorkMode mode, std::int64_t max) {
            workSenders.push_back(&sender);
            events.push_back("begin " + std::to_string(mode) + " " + std::to_string(max));
        };
        ftp.OnWork = [this](net::TNetComponent& sender, net::TWorkMode mode, std::int64_t count) {
            workSenders.push_back(&sender);
            events.push_back("work " + std::to_string(mode) + " " + std::to_string(count));
        };
        ftp.OnWorkEnd = [this](net::TNetComponent& sender, net::TWorkMode mode) {
            workSenders.push_back(&sender);
            events.push_back("end " + std::to_string(mode));
        };
    }

    // The work counts of one mode, in order.
    std::vector<std::int64_t> workCounts() const {
        std::vector<std::int64_t> counts;
        for (const std::string& e : events) {
            if (e.rfind("work ", 0) == 0) {
                counts.push_back(std::stoll(e.substr(7)));
            }
        }
        return counts;
    }
};

// The work events of one transfer in log: one begin with expectedMax, counts rising in steps of at most a
// piece, one end, and the last count equal to total.
inline void expectWorkEvents(const ftptest::EventLog& log, int mode, std::int64_t expectedMax, std::int64_t total) {
    const std::string begin = "begin " + std::to_string(mode) + " " + std::to_string(expectedMax);
    const std::string end = "end " + std::to_string(mode);
    std::size_t b = 0;
    while (b < log.events.size() && log.events[b] != begin) {
        ++b;
    }
    ASSERT_LT(b, log.events.size()) << "no " << begin;
    std::int64_t last = 0;
    std::size_t i = b + 1;
    for (; i < log.events.size() && log.events[i] != end; ++i) {
        const std::string prefix = "work " + std::to_string(mode) + " ";
        ASSERT_EQ(log.events[i].rfind(prefix, 0), 0u) << log.events[i];
        const std::int64_t count = std::stoll(log.events[i].substr(prefix.size()));
        ASSERT_GT(count, last);
        ASSERT_LE(count - last, 32768);
        last = count;
    }
    ASSERT_LT(i, log.events.size()) << "no " << end;
    EXPECT_EQ(last, total);
}

// The commands in a real server's record of them (ftp_server.py --log): pyftpdlib's holds one a line,
// vsftpd's protocol log quotes each after "FTP command: " among other lines.
inline std::vector<std::string> commandsIn(const std::string& log) {
    std::vector<std::string> commands;
    std::size_t start = 0;
    while (start < log.size()) {
        std::size_t end = log.find('\n', start);
        end = end == std::string::npos ? log.size() : end;
        std::string line = log.substr(start, end - start);
        start = end + 1;
        const std::size_t vsftpd = line.find("FTP command: Client ");
        if (vsftpd != std::string::npos) {
            const std::size_t open = line.find(", \"", vsftpd);
            commands.push_back(line.substr(open + 3, line.rfind('"') - open - 3));
        } else if (line.find(" [pid ") == std::string::npos && !line.empty()) {
            commands.push_back(line);
        }
    }
    return commands;
}

// A failure as a short text that a table row can name, the same with every TLS backend.
inline std::string describe(const std::exception_ptr& failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const net::ENetCertificateRejected& error) {
        const char* problems[] = {"untrusted", "expired", "not yet valid", "name", "other"};
        const std::string text = std::string("certificate: ") + problems[static_cast<int>(error.problem())];
        // No row expects "other": its reason tells what went wrong where one did not expect it.
        return error.problem() == net::TNetCertificateProblem::Other ? text + " (" + error.what() + ")" : text;
    } catch (const net::ENetTlsNotOffered& error) {
        return "not offered: " + std::to_string(error.code());
    } catch (const net::ENetTlsHandshakeFailed& error) {
        const char* problems[] = {"server closed", "server reset", "server silent", "clear text", "other"};
        return std::string("handshake: ") + problems[static_cast<int>(error.problem())];
    } catch (const net::ENetTlsTrustUnreadable&) {
        return "trust unreadable";
    } catch (const net::ENetTlsBroken& error) {
        return "broken: " + error.reason();
    } catch (const net::ENetSocketError& error) {
        return "socket error " + std::to_string(error.number());
    } catch (const std::exception& error) {
        return std::string("other: ") + error.what();
    }
}

// How action failed, as describe() words it; "no failure" when it did not.
template <typename Action> std::string failureOf(Action action) {
    try {
        action();
    } catch (...) {
        return describe(std::current_exception());
    }
    return "no failure";
}

inline void aimAt(net::TNetFTP& ftp, int port, std::chrono::milliseconds timeout = std::chrono::milliseconds(3000)) {
    ftp.Host = "127.0.0.1";
    ftp.Port = port;
    ftp.User = "bob";
    ftp.Password = "secret";
    ftp.IdleTimeout = timeout;
}

} // namespace ftptest
