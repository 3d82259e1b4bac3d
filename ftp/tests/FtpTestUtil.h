// Helpers shared by the FTP client tests: a client aimed at a loopback port, and a recorder of events.
#pragma once

#include "NetFTP.h"

#include <gtest/gtest.h>

#include <chrono>
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

inline void aimAt(net::TNetFTP& ftp, int port, std::chrono::milliseconds timeout = std::chrono::milliseconds(3000)) {
    ftp.Host = "127.0.0.1";
    ftp.Port = port;
    ftp.User = "bob";
    ftp.Password = "secret";
    ftp.IdleTimeout = timeout;
}

} // namespace ftptest
