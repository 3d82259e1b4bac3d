#include "TestSockets.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <utility>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace testsupport {

namespace {

#ifdef _WIN32
constexpr int kNoSignal = 0; // Windows raises no signal for a send to a peer that has gone

// The socket library, started once for the test process.
void startSockets() {
    static const bool started = [] {
        WSADATA data{};
        return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    if (!started) {
        throw std::runtime_error("Windows Sockets did not start");
    }
}

std::string lastErrorText() {
    return "error " + std::to_string(::WSAGetLastError());
}

SocketHandle newSocket() {
    startSockets();
    return ::WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
}

void closeHandle(SocketHandle socket) {
    ::closesocket(socket);
}
#else
constexpr int kNoSignal = MSG_NOSIGNAL;

std::string lastErrorText() {
    return std::strerror(errno);
}

SocketHandle newSocket() {
    return ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
}

void closeHandle(SocketHandle socket) {
    ::close(socket);
}
#endif

sockaddr_in addressOf(const std::string& ip, int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    ::inet_pton(AF_INET, ip.c_str(), &address.sin_addr);
    return address;
}

} // namespace

TestSocket& TestSocket::operator=(TestSocket&& other) noexcept {
    if (this != &other) {
        close();
        m_handle = other.release();
    }
    return *this;
}

SocketHandle TestSocket::release() {
    return std::exchange(m_handle, kNoSocket);
}

void TestSocket::close() {
    if (valid()) {
        closeHandle(release());
    }
}

TestSocket listenOnLoopback(int backlog, int& port) {
    TestSocket listener(newSocket());
    sockaddr_in address = addressOf("127.0.0.1", 0);
    if (!listener.valid() || ::bind(listener.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener.get(), backlog) != 0) {
        throw std::runtime_error("listen failed: " + lastErrorText());
    }
    socklen_t length = sizeof address;
    ::getsockname(listener.get(), reinterpret_cast<sockaddr*>(&address), &length);
    port = ntohs(address.sin_port);
    return listener;
}

TestSocket acceptFrom(SocketHandle listener) {
    return TestSocket(::accept(listener, nullptr, nullptr));
}

TestSocket connectTo(const std::string& ip, int port, const std::string& from) {
    TestSocket socket(newSocket());
    if (!from.empty()) {
        const sockaddr_in source = addressOf(from, 0);
        ::bind(socket.get(), reinterpret_cast<const sockaddr*>(&source), sizeof source);
    }
    const sockaddr_in address = addressOf(ip, port);
    if (!socket.valid() || ::connect(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        return TestSocket();
    }
    return socket;
}

TestSocket startConnecting(int port) {
    TestSocket socket(newSocket());
#ifdef _WIN32
    u_long on = 1;
    ::ioctlsocket(socket.get(), FIONBIO, &on);
#else
    ::fcntl(socket.get(), F_SETFL, O_NONBLOCK);
#endif
    const sockaddr_in address = addressOf("127.0.0.1", port);
    ::connect(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address);
    return socket;
}

bool acceptsConnections(int port) {
    return connectTo("127.0.0.1", port).valid();
}

int freeLoopbackPort() {
    int port = 0;
    listenOnLoopback(1, port);
    return port;
}

bool waitReadable(SocketHandle socket, int ms) {
#ifdef _WIN32
    WSAPOLLFD entry{socket, POLLIN, 0};
    return ::WSAPoll(&entry, 1, ms) > 0;
#else
    pollfd entry{socket, POLLIN, 0};
    return ::poll(&entry, 1, ms) > 0;
#endif
}

void sendAll(SocketHandle socket, const char* data, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const auto n = ::send(socket, data + done, static_cast<int>(size - done), kNoSignal);
        if (n <= 0) {
#ifndef _WIN32
            if (n < 0 && errno == EINTR) {
                continue;
            }
#endif
            throw std::runtime_error("send failed: " + lastErrorText());
        }
        done += static_cast<std::size_t>(n);
    }
}

long receiveSome(SocketHandle socket, char* data, std::size_t size) {
    for (;;) {
        const auto n = ::recv(socket, data, static_cast<int>(size), 0);
#ifndef _WIN32
        if (n < 0 && errno == EINTR) {
            continue;
        }
#endif
        return static_cast<long>(n);
    }
}

void resetOnClose(SocketHandle socket) {
    linger option{};
    option.l_onoff = 1;
    option.l_linger = 0;
    ::setsockopt(socket, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&option), sizeof option);
}

} // namespace testsupport
