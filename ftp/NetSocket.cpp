#include "NetSocket.h"

#include "NetExceptions.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace net {

namespace {

struct ErrorText {
    int number;
    const char* text;
};

constexpr ErrorText kErrorTexts[] = {
    {10004, "Interrupted system call."},
    {10009, "Bad file number."},
    {10013, "Access denied."},
    {10014, "Bad address."},
    {10022, "Invalid argument."},
    {10024, "Too many open files."},
    {10035, "Operation would block. "},
    {10036, "Operation now in progress."},
    {10037, "Operation already in progress."},
    {10038, "Socket operation on non-socket."},
    {10039, "Destination address required."},
    {10040, "Message too long."},
    {10041, "Protocol wrong type for socket."},
    {10042, "Bad protocol option."},
    {10043, "Protocol not supported."},
    {10044, "Socket type not supported."},
    {10045, "Operation not supported on socket."},
    {10046, "Protocol family not supported."},
    {10047, "Address family not supported by protocol family."},
    {10048, "Address already in use."},
    {10049, "Cannot assign requested address."},
    {10050, "Network is down."},
    {10051, "Network is unreachable."},
    {10052, "Net dropped connection or reset."},
    {10053, "Software caused connection abort."},
    {10054, "Connection reset by peer."},
    {10055, "No buffer space available."},
    {10056, "Socket is already connected."},
    {10057, "Socket is not connected."},
    {10058, "Cannot send or receive after socket is closed."},
    {10059, "Too many references, cannot splice."},
    {10060, "Connection timed out."},
    {10061, "Connection refused."},
    {10062, "Too many levels of symbolic links."},
    {10063, "File name too long."},
    {10064, "Host is down."},
    {10065, "No route to host."},
    {10066, "Directory not empty"},
};

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

bool isDecimalPart(const std::string& part) {
    if (part.empty() || part.size() > 3) {
        return false;
    }
    int value = 0;
    for (char c : part) {
        if (c < '0' || c > '9') {
            return false;
        }
        value = value * 10 + (c - '0');
    }
    return value <= 255;
}

sockaddr_in makeAddress(const std::string& ip, std::int32_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    if (ip.empty()) {
        address.sin_addr.s_addr = htonl(INADDR_ANY);
    } else if (inet_pton(AF_INET, ip.c_str(), &address.sin_addr) != 1) {
        throw ENetSocketError(10022);
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

std::string SocketErrorText(int number) {
    const char* text = "";
    for (const ErrorText& entry : kErrorTexts) {
        if (entry.number == number) {
            text = entry.text;
        }
    }
    return "Socket Error # " + std::to_string(number) + "\r\n" + text;
}

int WinsockErrorNumber(int platformError) {
    switch (platformError) {
    case EINTR:
        return 10004;
    case EBADF:
        return 10009;
    case EACCES:
    case EPERM:
        return 10013;
    case EFAULT:
        return 10014;
    case EINVAL:
        return 10022;
    case EMFILE:
    case ENFILE:
        return 10024;
    case EWOULDBLOCK:
        return 10035;
    case EINPROGRESS:
        return 10036;
    case EALREADY:
        return 10037;
    case ENOTSOCK:
        return 10038;
    case EDESTADDRREQ:
        return 10039;
    case EMSGSIZE:
        return 10040;
    case EPROTOTYPE:
        return 10041;
    case ENOPROTOOPT:
        return 10042;
    case EPROTONOSUPPORT:
        return 10043;
    case ESOCKTNOSUPPORT:
        return 10044;
    case EOPNOTSUPP:
        return 10045;
    case EPFNOSUPPORT:
        return 10046;
    case EAFNOSUPPORT:
        return 10047;
    case EADDRINUSE:
        return 10048;
    case EADDRNOTAVAIL:
        return 10049;
    case ENETDOWN:
        return 10050;
    case ENETUNREACH:
        return 10051;
    case ENETRESET:
        return 10052;
    case ECONNABORTED:
        return 10053;
    // A send after the peer's reset reports EPIPE on POSIX; Windows reports the reset itself.
    case ECONNRESET:
    case EPIPE:
        return 10054;
    case ENOBUFS:
    case ENOMEM:
        return 10055;
    case EISCONN:
        return 10056;
    case ENOTCONN:
        return 10057;
    case ESHUTDOWN:
        return 10058;
    case ETOOMANYREFS:
        return 10059;
    case ETIMEDOUT:
        return 10060;
    case ECONNREFUSED:
        return 10061;
    case ELOOP:
        return 10062;
    case ENAMETOOLONG:
        return 10063;
    case EHOSTDOWN:
        return 10064;
    case EHOSTUNREACH:
        return 10065;
    case ENOTEMPTY:
        return 10066;
    default:
        return platformError;
    }
}

std::string FetchToken(std::string& input, const std::string& delimiter, bool deleteToken) {
    const std::size_t at = input.find(delimiter);
    std::string token;
    if (at == std::string::npos) {
        token = input;
        if (deleteToken) {
            input.clear();
        }
    } else {
        token = input.substr(0, at);
        if (deleteToken) {
            input.erase(0, at + delimiter.size());
        }
    }
    return token;
}

std::size_t LastPosition(const std::string& sub, const std::string& text) {
    if (sub.empty() || sub.size() > text.size()) {
        return 0;
    }
    for (std::size_t start = text.size() - sub.size() + 1; start-- > 0;) {
        bool same = true;
        for (std::size_t i = 0; i < sub.size() && same; ++i) {
            same = std::tolower(static_cast<unsigned char>(text[start + i])) ==
                   std::tolower(static_cast<unsigned char>(sub[i]));
        }
        if (same) {
            return start + 1;
        }
    }
    return 0;
}

bool LooksLikeIPv4(const std::string& text) {
    std::string rest = text;
    for (int i = 0; i < 3; ++i) {
        if (!isDecimalPart(FetchToken(rest, "."))) {
            return false;
        }
    }
    return isDecimalPart(rest);
}

std::string ResolveHostAddress(const std::string& host) {
    std::string upper = host;
    for (char& c : upper) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    if (upper == "LOCALHOST") {
        return "127.0.0.1";
    }
    if (LooksLikeIPv4(host)) {
        return host;
    }
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

bool CheckSocketResult(long result, std::initializer_list<int> allowed) {
    if (result != -1) {
        return true;
    }
    const int number = WinsockErrorNumber(errno);
    for (int a : allowed) {
        if (a == number) {
            return false;
        }
    }
    throw ENetSocketError(number);
}

TWaitResult WaitForSocket(int fd, bool forWriting, Milliseconds timeout) {
    if (timeout.count() == 0) {
        timeout = Milliseconds(-1); // an idle time-out of 0 means no limit
    }
    if (fd < 0) {
        throw ENetConnClosedGracefully();
    }
    pollfd entry{fd, static_cast<short>(forWriting ? POLLOUT : POLLIN), 0};
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        int waitMs = -1;
        if (timeout.count() >= 0) {
            const auto left =
                std::chrono::duration_cast<Milliseconds>(deadline - std::chrono::steady_clock::now()).count();
            waitMs = static_cast<int>(std::max<long long>(0, std::min<long long>(left, 1 << 30)));
        }
        const int ready = ::poll(&entry, 1, waitMs);
        if (ready > 0) {
            // Errors and hang-ups count as ready: the following call reports them.
            if (entry.revents & POLLNVAL) {
                throw ENetSocketError(10038);
            }
            return TWaitResult::Ready;
        }
        if (ready == 0) {
            if (waitMs == 0 || std::chrono::steady_clock::now() >= deadline) {
                return TWaitResult::TimedOut;
            }
            continue;
        }
        if (errno != EINTR) {
            throw ENetSocketError(WinsockErrorNumber(errno));
        }
    }
}

TNetSocketHandle::~TNetSocketHandle() {
    if (m_handle >= 0) {
        ::shutdown(m_handle, SHUT_WR);
        ::close(m_handle);
    }
}

void TNetSocketHandle::Allocate() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        throw ENetInvalidSocket();
    }
    m_handle = fd;
    m_open = true;
}

void TNetSocketHandle::Bind(const std::string& ip, std::int32_t port) {
    const sockaddr_in address = makeAddress(ip, port);
    if (::bind(m_handle, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        const int number = WinsockErrorNumber(errno);
        if (number == wsa::AddressInUse) {
            throw ENetCouldNotBindSocket();
        }
        throw ENetSocketError(number);
    }
    ReadAddresses();
}

void TNetSocketHandle::Connect(const std::string& address, std::int32_t port, Milliseconds timeout) {
    const sockaddr_in peer = makeAddress(address, port);
    RemoteAddress = address;
    RemotePort = port;
    if (::connect(m_handle, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) != 0) {
        if (errno != EINPROGRESS) {
            throw ENetSocketError(WinsockErrorNumber(errno));
        }
        if (WaitForSocket(m_handle, true, timeout) == TWaitResult::TimedOut) {
            throw ENetSocketError(wsa::TimedOut);
        }
        int error = 0;
        socklen_t length = sizeof error;
        if (::getsockopt(m_handle, SOL_SOCKET, SO_ERROR, &error, &length) != 0) {
            error = errno;
        }
        if (error != 0) {
            throw ENetSocketError(WinsockErrorNumber(error));
        }
    }
    ReadAddresses();
}

void TNetSocketHandle::Listen(int backlog) {
    CheckSocketResult(::listen(m_handle, backlog));
}

void TNetSocketHandle::Adopt(int handle) {
    Reset(true);
    m_handle = handle;
    m_open = true;
    ReadAddresses();
}

void TNetSocketHandle::ReadAddresses() {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (::getsockname(m_handle, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        readAddress(address, IP, Port);
    }
    length = sizeof address;
    if (::getpeername(m_handle, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        readAddress(address, RemoteAddress, RemotePort);
    }
}

void TNetSocketHandle::Close() {
    if (m_handle >= 0) {
        ::shutdown(m_handle, SHUT_WR);
        ::close(m_handle);
        m_handle = -1;
    }
    Reset(true);
}

void TNetSocketHandle::Reset(bool includeLocal) {
    if (m_handle >= 0) {
        ::close(m_handle);
    }
    m_handle = -1;
    m_open = false;
    RemoteAddress.clear();
    RemotePort = 0;
    if (includeLocal) {
        IP.clear();
        Port = 0;
    }
}

} // namespace net
