#include "BreakingServer.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <stdexcept>

namespace ftptest {

using testsupport::TestSocket;

namespace {

constexpr int kSilenceMs = 5000;

// The next line without its line end; empty when the client closed or went silent.
std::string readLine(const TestSocket& socket, std::string& buffer) {
    for (;;) {
        const std::size_t end = buffer.find("\r\n");
        if (end != std::string::npos) {
            std::string line = buffer.substr(0, end);
            buffer.erase(0, end + 2);
            return line;
        }
        char chunk[4096];
        if (!testsupport::waitReadable(socket.get(), kSilenceMs)) {
            return std::string();
        }
        const long n = testsupport::receiveSome(socket.get(), chunk, sizeof chunk);
        if (n <= 0) {
            return std::string();
        }
        buffer.append(chunk, static_cast<std::size_t>(n));
    }
}

// A client that has gone is no failure of the server's.
void send(const TestSocket& socket, const std::string& text) {
    try {
        testsupport::sendAll(socket.get(), text.data(), text.size());
    } catch (const std::runtime_error&) {
    }
}

} // namespace

BreakingServer::BreakingServer(Options options) : m_options(std::move(options)) {
    m_listener = testsupport::listenOn(m_options.address, 4, m_port);
    m_thread = std::thread([this] { run(); });
}

BreakingServer::~BreakingServer() {
    m_stop = true;
    m_thread.join();
}

std::vector<std::string> BreakingServer::commands() const {
    std::lock_guard lock(m_mutex);
    return m_commands;
}

std::string BreakingServer::error() const {
    std::lock_guard lock(m_mutex);
    return m_error;
}

void BreakingServer::run() {
    try {
        while (!m_stop) {
            if (testsupport::waitReadable(m_listener.get(), 50)) {
                serve(testsupport::acceptFrom(m_listener.get()));
            }
        }
    } catch (const std::exception& error) {
        std::lock_guard lock(m_mutex);
        m_error = error.what();
    }
}

void BreakingServer::serve(TestSocket control) {
    const auto record = [this](const std::string& line) {
        std::lock_guard lock(m_mutex);
        m_commands.push_back(line);
    };
    record("(session)");
    std::string buffer;
    TestSocket passive;
    std::string portAddress;
    int portNumber = 0;
    std::int64_t restartAt = 0;
    send(control, "220 breaking server ready\r\n");
    for (std::string line = readLine(control, buffer); !line.empty(); line = readLine(control, buffer)) {
        record(line);
        const std::size_t blank = line.find(' ');
        std::string verb = line.substr(0, blank);
        std::transform(verb.begin(), verb.end(), verb.begin(), [](unsigned char c) { return std::toupper(c); });
        const std::string argument = blank == std::string::npos ? std::string() : line.substr(blank + 1);
        const bool changed = m_options.changedFrom > 0 && m_downloads + 1 >= m_options.changedFrom;
        const std::string& content = changed ? m_options.changedContent : m_options.content;
        const std::string& modified = changed ? m_options.changedModified : m_options.modified;
        int p[6] = {};
        char ip[64] = {};
        if (verb == "USER") {
            send(control, "331 Password please\r\n");
        } else if (verb == "PASS") {
            send(control, "230 Logged in\r\n");
        } else if (verb == "TYPE") {
            send(control, "200 Type set\r\n");
        } else if (verb == "SYST") {
            send(control, "215 UNIX Type: L8\r\n");
        } else if (verb == "FEAT") {
            send(control, std::string("211-Features:\r\n SIZE\r\n") + (modified.empty() ? "" : " MDTM\r\n") +
                              (m_options.offersRest ? " REST STREAM\r\n" : "") + " EPSV\r\n EPRT\r\n211 End\r\n");
        } else if (verb == "SIZE") {
            send(control, "213 " + std::to_string(content.size()) + "\r\n");
        } else if (verb == "MDTM" && !modified.empty()) {
            send(control, "213 " + modified + "\r\n");
        } else if (verb == "REST" && m_options.offersRest) {
            restartAt = std::stoll(argument);
            send(control, "350 Restarting at " + argument + ".\r\n");
        } else if (verb == "PORT" &&
                   std::sscanf(argument.c_str(), "%d,%d,%d,%d,%d,%d", &p[0], &p[1], &p[2], &p[3], &p[4], &p[5]) == 6) {
            portAddress = std::to_string(p[0]) + "." + std::to_string(p[1]) + "." + std::to_string(p[2]) + "." +
                          std::to_string(p[3]);
            portNumber = p[4] * 256 + p[5];
            send(control, "200 PORT command successful.\r\n");
        } else if (verb == "EPRT" && std::sscanf(argument.c_str(), "|%*d|%63[^|]|%d|", ip, &p[0]) == 2) {
            portAddress = ip;
            portNumber = p[0];
            send(control, "200 EPRT command successful.\r\n");
        } else if (verb == "EPSV" || verb == "PASV") {
            int port = 0;
            passive = testsupport::listenOn(m_options.address, 1, port);
            send(control, verb == "EPSV" ? "229 Entering Extended Passive Mode (|||" + std::to_string(port) + "|)\r\n"
                                         : "227 Entering Passive Mode (127,0,0,1," + std::to_string(port / 256) + "," +
                                               std::to_string(port % 256) + ")\r\n");
        } else if (verb == "RETR") {
            send(control, "150 Opening data connection.\r\n");
            TestSocket data;
            if (passive.valid()) {
                if (testsupport::waitReadable(passive.get(), kSilenceMs)) {
                    data = testsupport::acceptFrom(passive.get());
                }
                passive.close();
            } else {
                data = testsupport::connectTo(portAddress, portNumber, m_options.address);
            }
            if (!data.valid()) {
                send(control, "425 Cannot open data connection.\r\n");
                continue;
            }
            download(control, data, restartAt);
            restartAt = 0;
        } else {
            send(control, "502 Command not implemented.\r\n");
        }
    }
}

void BreakingServer::download(TestSocket& control, TestSocket& data, std::int64_t from) {
    const bool changed = m_options.changedFrom > 0 && m_downloads + 1 >= m_options.changedFrom;
    const std::string& content = changed ? m_options.changedContent : m_options.content;
    const auto index = static_cast<std::size_t>(m_downloads++);
    const auto size = static_cast<std::int64_t>(content.size());
    const bool breaks = index < m_options.breakAt.size() && m_options.breakAt[index] < size;
    const std::int64_t end = breaks ? std::max(from, m_options.breakAt[index]) : size;
    if (from < end) {
        try {
            testsupport::sendAll(data.get(), content.data() + from, static_cast<std::size_t>(end - from));
        } catch (const std::runtime_error&) {
            // The client stopped reading.
        }
        m_bytesSent += end - from;
    }
    if (!breaks) {
        data.close();
        send(control, "226 Transfer complete.\r\n");
        return;
    }
    switch (m_options.how) {
    case Break::Reset:
        // Time for the bytes to arrive: a reset discards what is still on the way.
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        testsupport::resetOnClose(data.get());
        data.close();
        send(control, "426 Connection reset; transfer aborted.\r\n");
        break;
    case Break::CloseWith426:
        data.close();
        send(control, m_options.abortReply + "\r\n");
        break;
    case Break::Stall: {
        // Held open without a word until the client gives up on it.
        char chunk[4096];
        while (testsupport::waitReadable(data.get(), kSilenceMs) &&
               testsupport::receiveSome(data.get(), chunk, sizeof chunk) > 0) {
        }
        data.close();
        break;
    }
    }
}

} // namespace ftptest
