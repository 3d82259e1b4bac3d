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
    std::vector<std::string> addresses = AddressTextsOf(answer);
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
    const int fd = ::socket(NativeFamily(family), SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        throw ENetInvalidSocket();
    }
    m_descriptor.Reset(fd);
    m_family = family;
}

int TNetSocketHandle::StartConnect(const std::string& address, std::int32_t port) {
    const TNetSocketAddress peer = SocketAddressOf(address, port, m_family);
    RemoteAddress = address;
    RemotePort = port;
    if (::connect(Handle(), reinterpret_cast<const sockaddr*>(peer.storage), peer.length) != 0 &&
        errno != EINPROGRESS) {
        return WinsockErrorNumber(errno);
    }
    return 0;
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
    ReadSocketAddress(&peer, length, peerAddress, ignoredPort);
    return accepted;
}

} // namespace net

#endif
