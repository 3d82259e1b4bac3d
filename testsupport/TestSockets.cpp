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

SocketHandle newSocket(int family) {
    startSockets();
    return ::WSASocketW(family, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
}

void closeHandle(SocketHandle socket) {
    ::closesocket(socket);
}
#else
constexpr int kNoSignal = MSG_NOSIGNAL;

std::string lastErrorText() {
    return std::strerror(errno);
}

SocketHandle newSocket(int family) {
    return ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
}

void closeHandle(SocketHandle socket) {
    ::close(socket);
}
#endif

// The socket address of ip (IPv4 or IPv6) and port, and its length.
struct Address {
    sockaddr_storage storage{};
    socklen_t length = 0;
    int family() const { return storage.ss_family; }
    sockaddr* get() { return reinterpret_cast<sockaddr*>(&storage); }
};

Address addressOf(const std::string& ip, int port) {
    Address address;
    if (ip.find(':') != std::string::npos) {
        auto& v6 = reinterpret_cast<sockaddr_in6&>(address.storage);
        v6.sin6_family = AF_INET6;
        v6.sin6_port = htons(static_cast<std::uint16_t>(port));
        ::inet_pton(AF_INET6, ip.c_str(), &v6.sin6_addr);
        address.length = sizeof v6;
    } else {
        auto& v4 = reinterpret_cast<sockaddr_in&>(address.storage);
        v4.sin_family = AF_INET;
        v4.sin_port = htons(static_cast<std::uint16_t>(port));
        ::inet_pton(AF_INET, ip.c_str(), &v4.sin_addr);
        address.length = sizeof v4;
    }
    return address;
}

int portOf(const Address& address) {
    return address.family() == AF_INET6 ? ntohs(reinterpret_cast<const sockaddr_in6&>(address.storage).sin6_port)
                                        : ntohs(reinterpret_cast<const sockaddr_in&>(address.storage).sin_port);
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

TestSocket listenOn(const std::string& ip, int backlog, int& port) {
    Address address = addressOf(ip, port);
    TestSocket listener(newSocket(address.family()));
    if (!listener.valid() || ::bind(listener.get(), address.get(), address.length) != 0 ||
        ::listen(listener.get(), backlog) != 0) {
        throw std::runtime_error("listen on " + ip + " failed: " + lastErrorText());
    }
    socklen_t length = sizeof address.storage;
    ::getsockname(listener.get(), address.get(), &length);
    port = portOf(address);
    return listener;
}

TestSocket listenOnLoopback(int backlog, int& port) {
    port = 0;
    return listenOn("127.0.0.1", backlog, port);
}

TestSocket acceptFrom(SocketHandle listener) {
    return TestSocket(::accept(listener, nullptr, nullptr));
}

TestSocket connectTo(const std::string& ip, int port, const std::string& from) {
    Address address = addressOf(ip, port);
    TestSocket socket(newSocket(address.family()));
    if (!from.empty()) {
        Address source = addressOf(from, 0);
        ::bind(socket.get(), source.get(), source.length);
    }
    if (!socket.valid() || ::connect(socket.get(), address.get(), address.length) != 0) {
        return TestSocket();
    }
    return socket;
}

TestSocket startConnecting(int port, const std::string& ip) {
    Address address = addressOf(ip, port);
    TestSocket socket(newSocket(address.family()));
#ifdef _WIN32
    u_long on = 1;
    ::ioctlsocket(socket.get(), FIONBIO, &on);
#else
    ::fcntl(socket.get(), F_SETFL, O_NONBLOCK);
#endif
    ::connect(socket.get(), address.get(), address.length);
    return socket;
}

bool acceptsConnections(int port, const std::string& ip) {
    return connectTo(ip, port).valid();
}

int freeLoopbackPort(const std::string& ip) {
    int port = 0;
    listenOn(ip, 1, port);
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
