#include "ScriptedServer.h"

#include <cstdio>
#include <stdexcept>

namespace ftptest {

using testsupport::TestSocket;

namespace {

constexpr int kSilenceMs = 5000;

} // namespace

void DataLink::sendAll(const std::string& bytes) {
    testsupport::sendAll(m_socket.get(), bytes.data(), bytes.size());
}

std::string DataLink::receiveAll() {
    std::string bytes;
    char chunk[65536];
    while (testsupport::waitReadable(m_socket.get(), kSilenceMs)) {
        const long n = testsupport::receiveSome(m_socket.get(), chunk, sizeof chunk);
        if (n <= 0) {
            break;
        }
        bytes.append(chunk, static_cast<std::size_t>(n));
    }
    return bytes;
}

void DataLink::close() {
    m_socket.close();
}

void DataLink::reset() {
    if (m_socket.valid()) {
        testsupport::resetOnClose(m_socket.get());
        close();
    }
}

std::string ServerSession::readCommand() {
    for (;;) {
        const std::size_t end = m_buffer.find("\r\n");
        if (end != std::string::npos) {
            std::string line = m_buffer.substr(0, end);
            m_buffer.erase(0, end + 2);
            record(line);
            return line;
        }
        if (!m_socket.valid() || !testsupport::waitReadable(m_socket.get(), kSilenceMs)) {
            return std::string();
        }
        char chunk[4096];
        const long n = testsupport::receiveSome(m_socket.get(), chunk, sizeof chunk);
        if (n <= 0) {
            return std::string();
        }
        m_buffer.append(chunk, static_cast<std::size_t>(n));
    }
}

void ServerSession::record(const std::string& command) {
    m_lastCommand = command;
    int p[6] = {};
    char ip[64] = {};
    if (std::sscanf(command.c_str(), "PORT %d,%d,%d,%d,%d,%d", &p[0], &p[1], &p[2], &p[3], &p[4], &p[5]) == 6) {
        m_portAddress =
            std::to_string(p[0]) + "." + std::to_string(p[1]) + "." + std::to_string(p[2]) + "." + std::to_string(p[3]);
        m_portNumber = p[4] * 256 + p[5];
    } else if (std::sscanf(command.c_str(), "EPRT |%*d|%63[^|]|%d|", ip, &p[0]) == 2) {
        m_portAddress = ip;
        m_portNumber = p[0];
    }
    std::lock_guard lock(m_mutex);
    m_commands.push_back(command);
}

void ServerSession::send(const std::string& bytes) {
    testsupport::sendAll(m_socket.get(), bytes.data(), bytes.size());
}

void ServerSession::login() {
    reply("220 Scripted server ready");
    readCommand();
    reply("331 Password please");
    readCommand();
    reply("230 Logged in");
    readCommand();
    reply("200 Type set");
    readCommand();
    reply("215 UNIX Type: L8");
}

bool ServerSession::waitForClose() {
    char chunk[4096];
    while (m_socket.valid() && testsupport::waitReadable(m_socket.get(), kSilenceMs)) {
        const long n = testsupport::receiveSome(m_socket.get(), chunk, sizeof chunk);
        if (n <= 0) {
            return true;
        }
    }
    return false;
}

void ServerSession::close() {
    m_socket.close();
    m_passiveListener.close();
}

DataLink ServerSession::connectToPort(const std::string& fromAddress) {
    if (m_portAddress.empty()) {
        throw std::runtime_error("no PORT or EPRT command seen");
    }
    TestSocket data =
        testsupport::connectTo(m_portAddress, m_portNumber, fromAddress.empty() ? m_address : fromAddress);
    if (!data.valid()) {
        throw std::runtime_error("data connect failed");
    }
    return DataLink(std::move(data));
}

std::string ServerSession::openPassive(const std::string& announcedHost) {
    int port = 0;
    m_passiveListener = testsupport::listenOn(m_address, 4, port);
    if (m_lastCommand == "EPSV") {
        return "229 Entering Extended Passive Mode (|||" + std::to_string(port) + "|)";
    }
    return "227 Entering Passive Mode (" + announcedHost + "," + std::to_string(port / 256) + "," +
           std::to_string(port % 256) + ")";
}

DataLink ServerSession::acceptPassive() {
    if (!m_passiveListener.valid() || !testsupport::waitReadable(m_passiveListener.get(), kSilenceMs)) {
        throw std::runtime_error("no passive connection");
    }
    TestSocket data = testsupport::acceptFrom(m_passiveListener.get());
    m_passiveListener.close();
    return DataLink(std::move(data));
}

ScriptedServer::ScriptedServer(std::string address, Script script)
    : m_script(std::move(script)), m_address(std::move(address)) {
    m_listener = testsupport::listenOn(m_address, 4, m_port);
    m_thread = std::thread([this] { run(); });
}

ScriptedServer::~ScriptedServer() {
    finish();
}

void ScriptedServer::run() {
    try {
        if (!testsupport::waitReadable(m_listener.get(), kSilenceMs)) {
            throw std::runtime_error("client never connected");
        }
        ServerSession session(testsupport::acceptFrom(m_listener.get()), m_address, m_commands, m_mutex);
        m_script(session);
    } catch (const std::exception& error) {
        std::lock_guard lock(m_mutex);
        m_error = error.what();
    }
}

void ScriptedServer::knock() {
    testsupport::connectTo(m_address, m_port);
}

std::vector<std::string> ScriptedServer::finish() {
    if (m_thread.joinable()) {
        m_thread.join();
    }
    std::lock_guard lock(m_mutex);
    return m_commands;
}

std::string ScriptedServer::error() const {
    std::lock_guard lock(m_mutex);
    return m_error;
}

int freeLoopbackPort() {
    return testsupport::freeLoopbackPort();
}

DataLink openTransfer(ServerSession& s, bool passive) {
    s.login();
    s.readCommand();
    s.reply(passive ? s.openPassive() : "200 PORT ok");
    s.readCommand();
    DataLink data = passive ? s.acceptPassive() : DataLink();
    s.reply("150 ok");
    return passive ? std::move(data) : s.connectToPort();
}

} // namespace ftptest
