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
    if (command.rfind("PORT ", 0) == 0) {
        m_lastPort = command.substr(5);
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
    int pieces[6] = {};
    if (std::sscanf(m_lastPort.c_str(), "%d,%d,%d,%d,%d,%d", &pieces[0], &pieces[1], &pieces[2], &pieces[3], &pieces[4],
                    &pieces[5]) != 6) {
        throw std::runtime_error("no PORT command seen");
    }
    const std::string ip = std::to_string(pieces[0]) + "." + std::to_string(pieces[1]) + "." +
                           std::to_string(pieces[2]) + "." + std::to_string(pieces[3]);
    TestSocket data = testsupport::connectTo(ip, pieces[4] * 256 + pieces[5], fromAddress);
    if (!data.valid()) {
        throw std::runtime_error("data connect failed");
    }
    return DataLink(std::move(data));
}

std::string ServerSession::openPassive(const std::string& announcedHost) {
    int port = 0;
    m_passiveListener = testsupport::listenOnLoopback(4, port);
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

ScriptedServer::ScriptedServer(Script script) : m_script(std::move(script)) {
    m_listener = testsupport::listenOnLoopback(4, m_port);
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
        ServerSession session(testsupport::acceptFrom(m_listener.get()), m_commands, m_mutex);
        m_script(session);
    } catch (const std::exception& error) {
        std::lock_guard lock(m_mutex);
        m_error = error.what();
    }
}

void ScriptedServer::knock() {
    testsupport::connectTo("127.0.0.1", m_port);
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
