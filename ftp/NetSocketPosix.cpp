// The socket layer on POSIX systems: error numbers come from errno and are mapped onto the Windows Sockets
// numbers; waits use poll.
#ifndef _WIN32

#include "NetSocket.h"

#include "NetExceptions.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
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

int nativeFamily(TNetFamily family) {
    return family == TNetFamily::IPv6 ? AF_INET6 : AF_INET;
}

// ip:port as a socket address of the family; an empty ip is any address. Raises 10022 for text that is no
// address of the family.
socklen_t makeAddress(const std::string& ip, std::int32_t port, TNetFamily family, sockaddr_storage& address) {
    address = {};
    addrinfo hints{};
    hints.ai_family = nativeFamily(family);
    hints.ai_flags = AI_NUMERICHOST | AI_PASSIVE;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* answer = nullptr;
    if (::getaddrinfo(ip.empty() ? nullptr : ip.c_str(), "0", &hints, &answer) != 0 || answer == nullptr) {
        throw ENetSocketError(wsa::InvalidArgument);
    }
    const auto length = static_cast<socklen_t>(std::min<std::size_t>(answer->ai_addrlen, sizeof address));
    std::memcpy(&address, answer->ai_addr, length);
    ::freeaddrinfo(answer);
    const auto networkPort = htons(static_cast<std::uint16_t>(port));
    if (address.ss_family == AF_INET6) {
        reinterpret_cast<sockaddr_in6&>(address).sin6_port = networkPort;
    } else {
        reinterpret_cast<sockaddr_in&>(address).sin_port = networkPort;
    }
    return length;
}

void readAddress(const sockaddr_storage& address, socklen_t length, std::string& ip, std::int32_t& port) {
    char host[NI_MAXHOST] = {};
    char service[NI_MAXSERV] = {};
    if (::getnameinfo(reinterpret_cast<const sockaddr*>(&address), length, host, sizeof host, service, sizeof service,
                      NI_NUMERICHOST | NI_NUMERICSERV) == 0) {
        ip = host;
        port = std::atoi(service);
    }
}

} // namespace

std::vector<std::string> LookUpAddresses(const std::string& host) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* answer = nullptr;
    const int result = getaddrinfo(host.c_str(), nullptr, &hints, &answer);
    if (result != 0 || answer == nullptr) {
        throw ENetSocketError(result != 0 ? lookupErrorNumber(result) : wsa::HostNotFound);
    }
    std::vector<std::string> addresses;
    for (const addrinfo* entry = answer; entry != nullptr; entry = entry->ai_next) {
        sockaddr_storage address{};
        const auto length = static_cast<socklen_t>(std::min<std::size_t>(entry->ai_addrlen, sizeof address));
        std::memcpy(&address, entry->ai_addr, length);
        std::string ip;
        std::int32_t ignoredPort = 0;
        readAddress(address, length, ip, ignoredPort);
        if (!ip.empty() && std::find(addresses.begin(), addresses.end(), ip) == addresses.end()) {
            addresses.push_back(ip);
        }
    }
    freeaddrinfo(answer);
    return addresses;
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

void TNetSocketHandle::Allocate(TNetFamily family) {
    const int fd = ::socket(nativeFamily(family), SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        throw ENetInvalidSocket();
    }
    m_descriptor.Reset(fd);
    m_family = family;
}

void TNetSocketHandle::Bind(const std::string& ip, std::int32_t port) {
    sockaddr_storage address{};
    const socklen_t length = makeAddress(ip, port, m_family, address);
    if (::bind(Handle(), reinterpret_cast<const sockaddr*>(&address), length) != 0) {
        const int number = WinsockErrorNumber(errno);
        if (number == wsa::AddressInUse) {
            throw ENetCouldNotBindSocket();
        }
        throw ENetSocketError(number);
    }
    ReadAddresses();
}

int TNetSocketHandle::StartConnect(const std::string& address, std::int32_t port) {
    sockaddr_storage peer{};
    const socklen_t length = makeAddress(address, port, m_family, peer);
    RemoteAddress = address;
    RemotePort = port;
    if (::connect(Handle(), reinterpret_cast<const sockaddr*>(&peer), length) != 0 && errno != EINPROGRESS) {
        return WinsockErrorNumber(errno);
    }
    return 0;
}

int TNetSocketHandle::ConnectOutcome() const {
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(Handle(), SOL_SOCKET, SO_ERROR, &error, &length) != 0) {
        error = errno;
    }
    return error == 0 ? 0 : WinsockErrorNumber(error);
}

int WaitForConnectOutcome(const std::vector<const TNetSocketHandle*>& connecting, const TNetDeadline& deadline) {
    std::vector<pollfd> waits;
    for (const TNetSocketHandle* socket : connecting) {
        waits.push_back({socket->Handle(), POLLOUT, 0});
    }
    for (;;) {
        const long long left = deadline.MillisecondsLeft();
        const int ready =
            ::poll(waits.data(), waits.size(), left < 0 ? -1 : static_cast<int>(std::min<long long>(left, INT_MAX)));
        if (ready > 0) {
            for (std::size_t i = 0; i < waits.size(); ++i) {
                if (waits[i].revents != 0) {
                    return static_cast<int>(i);
                }
            }
        }
        if (ready == 0 && (left == 0 || deadline.Passed())) {
            return -1;
        }
        if (ready < 0 && errno != EINTR) {
            throw ENetSocketError(WinsockErrorNumber(errno));
        }
    }
}

void TNetSocketHandle::Listen(int backlog) {
    CheckSocketResult(::listen(Handle(), backlog));
}

void TNetSocketHandle::SetNoDelay() {
    const int on = 1;
    ::setsockopt(Handle(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

TNetDescriptor TNetSocketHandle::AcceptOne(std::string& peerAddress) {
    sockaddr_storage peer{};
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
    readAddress(peer, length, peerAddress, ignoredPort);
    return accepted;
}

void TNetSocketHandle::ReadAddresses() {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (::getsockname(Handle(), reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        readAddress(address, length, IP, Port);
        m_family = address.ss_family == AF_INET6 ? TNetFamily::IPv6 : TNetFamily::IPv4;
    }
    length = sizeof address;
    if (::getpeername(Handle(), reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        readAddress(address, length, RemoteAddress, RemotePort);
    }
}

} // namespace net

#endif
