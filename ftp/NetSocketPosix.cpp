// The socket layer on POSIX systems: error numbers come from errno and are mapped onto the Windows Sockets
// numbers; waits use poll.
#ifndef _WIN32

#include "NetSocket.h"

#include "NetExceptions.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <climits>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace net {

namespace {

int lookupErrorNumber(int gaiError) {
    switch (gaiError) {
    case EAI_NONAME:
#ifdef EAI_NODATA
    case EAI_NODATA:
#endif
        return wsa::HostNotFound;
    case EAI_AGAIN:
        return wsa::TryAgain;
    case EAI_FAIL:
        return wsa::NoRecovery;
    case EAI_SYSTEM:
        return WinsockErrorNumber(errno);
    default:
        return wsa::NoData;
    }
}

sockaddr_in makeAddress(const std::string& ip, std::int32_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    if (ip.empty()) {
        address.sin_addr.s_addr = htonl(INADDR_ANY);
    } else if (inet_pton(AF_INET, ip.c_str(), &address.sin_addr) != 1) {
        throw ENetSocketError(wsa::InvalidArgument);
    }
    return address;
}

void readAddress(const sockaddr_in& address, std::string& ip, std::int32_t& port) {
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
    ip = text;
    port = ntohs(address.sin_port);
}

} // namespace

std::string LookUpIPv4Address(const std::string& host) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* answer = nullptr;
    const int result = getaddrinfo(host.c_str(), nullptr, &hints, &answer);
    if (result != 0 || answer == nullptr) {
        throw ENetSocketError(result != 0 ? lookupErrorNumber(result) : wsa::HostNotFound);
    }
    std::string ip;
    std::int32_t ignoredPort = 0;
    readAddress(*reinterpret_cast<const sockaddr_in*>(answer->ai_addr), ip, ignoredPort);
    freeaddrinfo(answer);
    return ip;
}

TWaitResult WaitForSocket(TNetNativeHandle handle, WaitFor what, const TNetDeadline& deadline) {
    if (handle == kNoHandle) {
        throw ENetConnClosedGracefully();
    }
    pollfd entry{handle, static_cast<short>(what == WaitFor::Writing ? POLLOUT : POLLIN), 0};
    for (;;) {
        const long long left = deadline.MillisecondsLeft();
        const int ready = ::poll(&entry, 1, left < 0 ? -1 : static_cast<int>(std::min<long long>(left, 1 << 30)));
        if (ready > 0) {
            // Errors and hang-ups count as ready: the following call reports them.
            if (entry.revents & POLLNVAL) {
                throw ENetSocketError(wsa::NotSocket);
            }
            return TWaitResult::Ready;
        }
        if (ready == 0) {
            if (left == 0 || deadline.Passed()) {
                return TWaitResult::TimedOut;
            }
            continue;
        }
        if (errno != EINTR) {
            throw ENetSocketError(WinsockErrorNumber(errno));
        }
    }
}

TReadySide WaitForListenerOrInput(const TNetSocketHandle& listener, TNetNativeHandle other,
                                  const TNetDeadline& deadline) {
    pollfd waits[2] = {{listener.Handle(), POLLIN, 0}, {other, POLLIN, 0}};
    const nfds_t count = other == kNoHandle ? 1 : 2;
    const long long left = deadline.MillisecondsLeft();
    const int ready = ::poll(waits, count, left < 0 ? -1 : static_cast<int>(std::min<long long>(left, INT_MAX)));
    if (ready < 0) {
        if (errno == EINTR) {
            return TReadySide::Neither;
        }
        throw ENetSocketError(WinsockErrorNumber(errno));
    }
    if (ready == 0) {
        return TReadySide::Neither;
    }
    return waits[0].revents != 0 ? TReadySide::Listener : TReadySide::Other;
}

TNetSocketHandle::~TNetSocketHandle() {
    if (IsOpen()) {
        ShutDownSending();
    }
}

void TNetSocketHandle::ShutDownSending() {
    ::shutdown(Handle(), SHUT_WR);
}

void TNetSocketHandle::Allocate() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        throw ENetInvalidSocket();
    }
    m_descriptor.Reset(fd);
}

void TNetSocketHandle::Bind(const std::string& ip, std::int32_t port) {
    const sockaddr_in address = makeAddress(ip, port);
    if (::bind(Handle(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        const int number = WinsockErrorNumber(errno);
        if (number == wsa::AddressInUse) {
            throw ENetCouldNotBindSocket();
        }
        throw ENetSocketError(number);
    }
    ReadAddresses();
}

void TNetSocketHandle::Connect(const std::string& address, std::int32_t port, const TNetDeadline& deadline) {
    const sockaddr_in peer = makeAddress(address, port);
    RemoteAddress = address;
    RemotePort = port;
    if (::connect(Handle(), reinterpret_cast<const sockaddr*>(&peer), sizeof peer) != 0) {
        if (errno != EINPROGRESS) {
            throw ENetSocketError(WinsockErrorNumber(errno));
        }
        if (WaitForSocket(Handle(), WaitFor::Writing, deadline) == TWaitResult::TimedOut) {
            throw ENetSocketError(wsa::TimedOut);
        }
        int error = 0;
        socklen_t length = sizeof error;
        if (::getsockopt(Handle(), SOL_SOCKET, SO_ERROR, &error, &length) != 0) {
            error = errno;
        }
        if (error != 0) {
            throw ENetSocketError(WinsockErrorNumber(error));
        }
    }
    ReadAddresses();
}

void TNetSocketHandle::Listen(int backlog) {
    CheckSocketResult(::listen(Handle(), backlog));
}

void TNetSocketHandle::SetNoDelay() {
    const int on = 1;
    ::setsockopt(Handle(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

TNetDescriptor TNetSocketHandle::AcceptOne(std::string& peerAddress) {
    sockaddr_in peer{};
    socklen_t length = sizeof peer;
    TNetDescriptor accepted(
        ::accept4(Handle(), reinterpret_cast<sockaddr*>(&peer), &length, SOCK_NONBLOCK | SOCK_CLOEXEC));
    if (!accepted.Valid()) {
        const int error = errno;
        if (error == EINTR || error == EAGAIN || error == EWOULDBLOCK || error == ECONNABORTED) {
            return accepted;
        }
        throw ENetSocketError(WinsockErrorNumber(error));
    }
    std::int32_t ignoredPort = 0;
    readAddress(peer, peerAddress, ignoredPort);
    return accepted;
}

void TNetSocketHandle::ReadAddresses() {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (::getsockname(Handle(), reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        readAddress(address, IP, Port);
    }
    length = sizeof address;
    if (::getpeername(Handle(), reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        readAddress(address, RemoteAddress, RemotePort);
    }
}

} // namespace net

#endif
