// The socket layer on Windows Sockets 2: the error numbers are the system's own, waits use select, and the
// socket library is started once per process, before the first socket or name lookup.
#ifdef _WIN32

#include "NetSocket.h"

#include "NetExceptions.h"

#include <algorithm>

#include <winsock2.h>
#include <ws2tcpip.h>

namespace net {

namespace {

// Started at the first use and shut down when the process ends. Starting and stopping it with every
// connection would only cost time: the library counts its users itself.
class SocketLibrary {
public:
    SocketLibrary() {
        WSADATA data{};
        m_started = ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }
    ~SocketLibrary() {
        if (m_started) {
            ::WSACleanup();
        }
    }
    SocketLibrary(const SocketLibrary&) = delete;
    SocketLibrary& operator=(const SocketLibrary&) = delete;
    bool started() const { return m_started; }

private:
    bool m_started = false;
};

void startSocketLibrary() {
    static const SocketLibrary library;
    if (!library.started()) {
        throw ENetStackInitializationFailed();
    }
}

// The milliseconds left (-1 without limit) as a select time-out; null waits without limit.
timeval* selectTimeout(long long left, timeval& storage) {
    if (left < 0) {
        return nullptr;
    }
    const long long capped = std::min<long long>(left, 1LL << 30);
    storage.tv_sec = static_cast<long>(capped / 1000);
    storage.tv_usec = static_cast<long>(capped % 1000 * 1000);
    return &storage;
}

void makeNonBlocking(SOCKET socket) {
    u_long on = 1;
    if (::ioctlsocket(socket, FIONBIO, &on) != 0) {
        throw ENetSocketError(::WSAGetLastError());
    }
}

// One wait for the sockets given. Readiness to read (or accept) is asked of WSAPoll, which reports a reset
// or a closed peer as ready, as the following call then does too. A connect's failure is asked of select:
// before Windows 10 version 2004, WSAPoll never reported it, so the connect would wait out its time-out.
int waitOnce(WSAPOLLFD* sockets, unsigned long count, long long left) {
    const int timeout = left < 0 ? -1 : static_cast<int>(std::min<long long>(left, 1 << 30));
    if (sockets[0].events != POLLWRNORM) {
        return ::WSAPoll(sockets, count, timeout);
    }
    fd_set writable;
    FD_ZERO(&writable);
    FD_SET(sockets[0].fd, &writable);
    fd_set failed;
    FD_ZERO(&failed);
    FD_SET(sockets[0].fd, &failed);
    timeval storage{};
    const int ready = ::select(0, nullptr, &writable, &failed, selectTimeout(left, storage));
    sockets[0].revents = static_cast<SHORT>(ready > 0 ? POLLWRNORM : 0);
    return ready;
}

} // namespace

std::vector<std::string> LookUpAddresses(const std::string& host) {
    startSocketLibrary();
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* answer = nullptr;
    // The lookup's results are Windows Sockets numbers already (11001 for an unknown host).
    const int result = ::getaddrinfo(host.c_str(), nullptr, &hints, &answer);
    if (result != 0 || answer == nullptr) {
        throw ENetSocketError(result != 0 ? result : wsa::HostNotFound);
    }
    std::vector<std::string> addresses = AddressTextsOf(answer);
    ::freeaddrinfo(answer);
    return addresses;
}

TWaitResult WaitForSocket(TNetNativeHandle handle, WaitFor what, const TNetDeadline& deadline) {
    if (handle == kNoHandle) {
        throw ENetConnClosedGracefully();
    }
    for (;;) {
        WSAPOLLFD entry{handle, static_cast<SHORT>(what == WaitFor::Writing ? POLLWRNORM : POLLRDNORM), 0};
        const long long left = deadline.MillisecondsLeft();
        const int ready = waitOnce(&entry, 1, left);
        if (ready > 0) {
            if (entry.revents & POLLNVAL) {
                throw ENetSocketError(wsa::NotSocket);
            }
            // Errors and hang-ups count as ready: the following call reports them.
            return TWaitResult::Ready;
        }
        if (ready == 0) {
            if (left == 0 || deadline.Passed()) {
                return TWaitResult::TimedOut;
            }
            continue;
        }
        throw ENetSocketError(::WSAGetLastError());
    }
}

TReadySide WaitForListenerOrInput(const TNetSocketHandle& listener, TNetNativeHandle other,
                                  const TNetDeadline& deadline) {
    WSAPOLLFD waits[2] = {{listener.Handle(), POLLRDNORM, 0}, {other, POLLRDNORM, 0}};
    const int ready = waitOnce(waits, other == kNoHandle ? 1 : 2, deadline.MillisecondsLeft());
    if (ready < 0) {
        throw ENetSocketError(::WSAGetLastError());
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
    ::shutdown(Handle(), SD_SEND);
}

void TNetSocketHandle::Allocate(TNetFamily family) {
    startSocketLibrary();
    // Not inherited: a program this process starts must not keep the connection open.
    TNetDescriptor socket(::WSASocketW(NativeFamily(family), SOCK_STREAM, IPPROTO_TCP, nullptr, 0,
                                       WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT));
    if (!socket.Valid()) {
        throw ENetInvalidSocket();
    }
    makeNonBlocking(socket.Get());
    m_descriptor = std::move(socket);
    m_family = family;
}

int TNetSocketHandle::StartConnect(const std::string& address, std::int32_t port) {
    const TNetSocketAddress peer = SocketAddressOf(address, port, m_family);
    RemoteAddress = address;
    RemotePort = port;
    if (::connect(Handle(), reinterpret_cast<const sockaddr*>(peer.storage), peer.length) != 0) {
        const int started = ::WSAGetLastError();
        return started == wsa::WouldBlock ? 0 : started;
    }
    return 0;
}

// Asked of select, as waitOnce does for one connect: a failed connect is reported among the exceptions.
int WaitForConnectOutcome(const std::vector<const TNetSocketHandle*>& connecting, const TNetDeadline& deadline) {
    for (;;) {
        fd_set writable;
        fd_set failed;
        FD_ZERO(&writable);
        FD_ZERO(&failed);
        for (const TNetSocketHandle* socket : connecting) {
            FD_SET(socket->Handle(), &writable);
            FD_SET(socket->Handle(), &failed);
        }
        const long long left = deadline.MillisecondsLeft();
        timeval storage{};
        const int ready = ::select(0, nullptr, &writable, &failed, selectTimeout(left, storage));
        if (ready > 0) {
            for (std::size_t i = 0; i < connecting.size(); ++i) {
                if (FD_ISSET(connecting[i]->Handle(), &writable) || FD_ISSET(connecting[i]->Handle(), &failed)) {
                    return static_cast<int>(i);
                }
            }
        }
        if (ready == 0 && (left == 0 || deadline.Passed())) {
            return -1;
        }
        if (ready < 0) {
            throw ENetSocketError(::WSAGetLastError());
        }
    }
}

void TNetSocketHandle::Listen(int backlog) {
    CheckSocketResult(::listen(Handle(), backlog));
}

void TNetSocketHandle::SetNoDelay() {
    const BOOL on = TRUE;
    ::setsockopt(Handle(), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
}

TNetDescriptor TNetSocketHandle::AcceptOne(std::string& peerAddress) {
    sockaddr_storage peer{};
    int length = sizeof peer;
    TNetDescriptor accepted(::accept(Handle(), reinterpret_cast<sockaddr*>(&peer), &length));
    if (!accepted.Valid()) {
        const int error = ::WSAGetLastError();
        // A peer that gave up before it was accepted is reported as a reset here.
        if (error == wsa::Interrupted || error == wsa::WouldBlock || error == wsa::ConnectionReset ||
            error == WSAECONNABORTED) {
            return accepted;
        }
        throw ENetSocketError(error);
    }
    // An accepted socket takes over the listener's mode, but say so rather than rely on it; and like every
    // socket here it stays out of the programs this process starts.
    makeNonBlocking(accepted.Get());
    ::SetHandleInformation(reinterpret_cast<HANDLE>(accepted.Get()), HANDLE_FLAG_INHERIT, 0);
    std::int32_t ignoredPort = 0;
    ReadSocketAddress(&peer, length, peerAddress, ignoredPort);
    return accepted;
}

} // namespace net

#endif
