#include "ScriptedServer.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace ftptest {

namespace {

constexpr int kSilenceMs = 5000;

bool waitReadable(int fd, int ms) {
    pollfd entry{fd, POLLIN, 0};
    return ::poll(&entry, 1, ms) > 0;
}

int listenOnLoopback(int& port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 4) != 0) {
        throw std::runtime_error(std::string("listen failed: ") + std::strerror(errno));
    }
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    port = ntohs(address.sin_port);
    return fd;
}

void sendAllTo(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n <= 0) {
            if (n < 0 && errno == EINTR) {
                continue;
            }
            throw std::runtime_error(std::string("send failed: ") + std::strerror(errno));
        }
        done += static_cast<std::size_t>(n);
    }
}

} // namespace

DataLink& DataLink::operator=(DataLink&& other) noexcept {
    if (this != &other) {
        close();
        m_fd = other.m_fd;
        other.m_fd = -1;
    }
    return *this;
}

void DataLink::sendAll(const std::string& bytes) {
    sendAllTo(m_fd, bytes);
}

std::string DataLink::receiveAll() {
    std::string bytes;
    char chunk[65536];
    while (waitReadable(m_fd, kSilenceMs)) {
        const ssize_t n = ::recv(m_fd, chunk, sizeof chunk, 0);
        if (n <= 0) {
            break;
        }
        bytes.append(chunk, static_cast<std::size_t>(n));
    }
    return bytes;
}

void DataLink::close() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

void DataLink::reset() {
    if (m_fd >= 0) {
        linger option{1, 0};
        ::setsockopt(m_fd, SOL_SOCKET, SO_LINGER, &option, sizeof option);
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
        if (m_fd < 0 || !waitReadable(m_fd, kSilenceMs)) {
            return std::string();
        }
        char chunk[4096];
        const ssize_t n = ::recv(m_fd, chunk, sizeof chunk, 0);
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
    sendAllTo(m_fd, bytes);
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
    while (m_fd >= 0 && waitReadable(m_fd, kSilenceMs)) {
        const ssize_t n = ::recv(m_fd, chunk, sizeof chunk, 0);
        if (n <= 0) {
            return true;
        }
    }
    return false;
}

void ServerSession::close() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

DataLink ServerSession::connectToPort(const std::string& fromAddress) {
    int pieces[6] = {};
    if (std::sscanf(m_lastPort.c_str(), "%d,%d,%d,%d,%d,%d", &pieces[0], &pieces[1], &pieces[2], &pieces[3], &pieces[4],
                    &pieces[5]) != 6) {
        throw std::runtime_error("no PORT command seen");
    }
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in source{};
    source.sin_family = AF_INET;
    inet_pton(AF_INET, fromAddress.c_str(), &source.sin_addr);
    ::bind(fd, reinterpret_cast<sockaddr*>(&source), sizeof source);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    const std::string ip = std::to_string(pieces[0]) + "." + std::to_string(pieces[1]) + "." +
                           std::to_string(pieces[2]) + "." + std::to_string(pieces[3]);
    inet_pton(AF_INET, ip.c_str(), &address.sin_addr);
    address.sin_port = htons(static_cast<std::uint16_t>(pieces[4] * 256 + pieces[5]));
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        throw std::runtime_error(std::string("data connect failed: ") + std::strerror(errno));
    }
    return DataLink(fd);
}

std::string ServerSession::openPassive(const std::string& announcedHost) {
    int port = 0;
    m_passiveListener = listenOnLoopback(port);
    return "227 Entering Passive Mode (" + announcedHost + "," + std::to_string(port / 256) + "," +
           std::to_string(port % 256) + ")";
}

DataLink ServerSession::acceptPassive() {
    if (m_passiveListener < 0 || !waitReadable(m_passiveListener, kSilenceMs)) {
        throw std::runtime_error("no passive connection");
    }
    const int fd = ::accept(m_passiveListener, nullptr, nullptr);
    ::close(m_passiveListener);
    m_passiveListener = -1;
    return DataLink(fd);
}

ScriptedServer::ScriptedServer(Script script) : m_script(std::move(script)) {
    m_listener = listenOnLoopback(m_port);
    m_thread = std::thread([this] { run(); });
}

ScriptedServer::~ScriptedServer() {
    finish();
    if (m_listener >= 0) {
        ::close(m_listener);
    }
}

void ScriptedServer::run() {
    try {
        if (!waitReadable(m_listener, kSilenceMs)) {
            throw std::runtime_error("client never connected");
        }
        const int fd = ::accept(m_listener, nullptr, nullptr);
        ServerSession session(fd, m_commands, m_mutex);
        try {
            m_script(session);
        } catch (...) {
            session.close();
            if (session.m_passiveListener >= 0) {
                ::close(session.m_passiveListener);
            }
            throw;
        }
        session.close();
        if (session.m_passiveListener >= 0) {
            ::close(session.m_passiveListener);
        }
    } catch (const std::exception& error) {
        std::lock_guard lock(m_mutex);
        m_error = error.what();
    }
}

void ScriptedServer::knock() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(m_port));
    ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::close(fd);
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
    int port = 0;
    const int fd = listenOnLoopback(port);
    ::close(fd);
    return port;
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
