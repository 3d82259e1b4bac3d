// The socket layer's portable part: the texts of addresses and tokens, resolution, the connect that tries
// every address of a name, binding and reading a socket's addresses (calls both platforms spell alike), result
// checks, and the handle's bookkeeping. The calls that differ are in NetSocketPosix.cpp and NetSocketWindows.cpp.
#include "NetSocket.h"

#include "NetExceptions.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#endif

namespace net {

namespace {

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

// 1..4 hexadecimal digits per group, groups apart by ":"; adds the count of groups to count.
bool hexGroups(const std::string& text, int& count) {
    if (text.empty()) {
        return true;
    }
    std::string rest = text + ":";
    for (std::size_t colon = rest.find(':'); colon != std::string::npos; colon = rest.find(':')) {
        const std::string group = rest.substr(0, colon);
        if (group.empty() || group.size() > 4 ||
            !std::all_of(group.begin(), group.end(), [](unsigned char c) { return std::isxdigit(c) != 0; })) {
            return false;
        }
        ++count;
        rest.erase(0, colon + 1);
    }
    return true;
}

} // namespace

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

bool LooksLikeIPv6(const std::string& text) {
    // A zone ("%eth0") may follow the address of a link.
    const std::size_t zone = text.find('%');
    if (zone != std::string::npos && zone + 1 == text.size()) {
        return false;
    }
    std::string address = text.substr(0, zone);
    const std::size_t lastColon = address.rfind(':');
    if (lastColon == std::string::npos) {
        return false;
    }
    // The last 32 bits may be written as an IPv4 address, in the room of two groups.
    const std::string tail = address.substr(lastColon + 1);
    if (tail.find('.') != std::string::npos) {
        if (!LooksLikeIPv4(tail)) {
            return false;
        }
        address = address.substr(0, lastColon + 1) + "0:0";
    }
    int groups = 0;
    const std::size_t gap = address.find("::");
    if (gap == std::string::npos) {
        return hexGroups(address, groups) && groups == 8;
    }
    if (address.find("::", gap + 1) != std::string::npos) {
        return false;
    }
    return hexGroups(address.substr(0, gap), groups) && hexGroups(address.substr(gap + 2), groups) && groups <= 7;
}

std::string WithoutBrackets(const std::string& host) {
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
        return host.substr(1, host.size() - 2);
    }
    return host;
}

bool IsAddressLiteral(const std::string& host) {
    return LooksLikeIPv4(host) || LooksLikeIPv6(WithoutBrackets(host));
}

TNetFamily FamilyOf(const std::string& address) {
    return address.find(':') != std::string::npos ? TNetFamily::IPv6 : TNetFamily::IPv4;
}

std::string EndpointText(const std::string& address, std::int32_t port) {
    const std::string host = FamilyOf(address) == TNetFamily::IPv6 ? "[" + address + "]" : address;
    return host + ":" + std::to_string(port);
}

int NativeFamily(TNetFamily family) {
    return family == TNetFamily::IPv6 ? AF_INET6 : AF_INET;
}

TNetSocketAddress SocketAddressOf(const std::string& ip, std::int32_t port, TNetFamily family) {
    static_assert(sizeof(sockaddr_storage) <= sizeof(TNetSocketAddress::storage));
    addrinfo hints{};
    hints.ai_family = NativeFamily(family);
    hints.ai_flags = AI_NUMERICHOST | AI_PASSIVE;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* answer = nullptr;
    if (::getaddrinfo(ip.empty() ? nullptr : ip.c_str(), "0", &hints, &answer) != 0 || answer == nullptr) {
        throw ENetSocketError(wsa::InvalidArgument);
    }
    TNetSocketAddress address;
    address.length = static_cast<int>(std::min<std::size_t>(answer->ai_addrlen, sizeof address.storage));
    std::memcpy(address.storage, answer->ai_addr, static_cast<std::size_t>(address.length));
    ::freeaddrinfo(answer);
    const auto networkPort = htons(static_cast<std::uint16_t>(port));
    if (reinterpret_cast<const sockaddr*>(address.storage)->sa_family == AF_INET6) {
        reinterpret_cast<sockaddr_in6*>(address.storage)->sin6_port = networkPort;
    } else {
        reinterpret_cast<sockaddr_in*>(address.storage)->sin_port = networkPort;
    }
    return address;
}

void ReadSocketAddress(const void* address, std::size_t length, std::string& ip, std::int32_t& port) {
    char host[NI_MAXHOST] = {};
    char service[NI_MAXSERV] = {};
    if (::getnameinfo(static_cast<const sockaddr*>(address), static_cast<socklen_t>(length), host, sizeof host, service,
                      sizeof service, NI_NUMERICHOST | NI_NUMERICSERV) == 0) {
        ip = host;
        port = std::atoi(service);
    }
}

std::vector<std::string> AddressTextsOf(const addrinfo* answer) {
    std::vector<std::string> addresses;
    for (const addrinfo* entry = answer; entry != nullptr; entry = entry->ai_next) {
        std::string ip;
        std::int32_t ignoredPort = 0;
        ReadSocketAddress(entry->ai_addr, entry->ai_addrlen, ip, ignoredPort);
        if (!ip.empty() && std::find(addresses.begin(), addresses.end(), ip) == addresses.end()) {
            addresses.push_back(ip);
        }
    }
    return addresses;
}

std::vector<std::string> ResolveHostAddresses(const std::string& host, const TNetResolver& resolver) {
    std::string upper = host;
    for (char& c : upper) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    if (upper == "LOCALHOST") {
        return {"127.0.0.1"};
    }
    if (LooksLikeIPv4(host)) {
        return {host};
    }
    if (LooksLikeIPv6(WithoutBrackets(host))) {
        return {WithoutBrackets(host)};
    }
    std::vector<std::string> addresses = resolver ? resolver(host) : LookUpAddresses(host);
    if (addresses.empty()) {
        throw ENetSocketError(wsa::HostNotFound);
    }
    return addresses;
}

void TNetSocketHandle::Bind(const std::string& ip, std::int32_t port) {
    const TNetSocketAddress address = SocketAddressOf(ip, port, m_family);
    if (::bind(Handle(), reinterpret_cast<const sockaddr*>(address.storage), address.length) != 0) {
        const int number = LastSocketError();
        if (number == wsa::AddressInUse) {
            throw ENetCouldNotBindSocket();
        }
        throw ENetSocketError(number);
    }
    ReadAddresses();
}

int TNetSocketHandle::ConnectOutcome() const {
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(Handle(), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) != 0) {
        return LastSocketError();
    }
    return WinsockErrorNumber(error);
}

void TNetSocketHandle::ReadAddresses() {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (::getsockname(Handle(), reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        ReadSocketAddress(&address, length, IP, Port);
        m_family = address.ss_family == AF_INET6 ? TNetFamily::IPv6 : TNetFamily::IPv4;
    }
    length = sizeof address;
    if (::getpeername(Handle(), reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        ReadSocketAddress(&address, length, RemoteAddress, RemotePort);
    }
}

void TNetSocketHandle::ConnectToFirst(const std::vector<std::string>& addresses, std::int32_t port,
                                      const std::string& boundIP, const TNetDeadline& deadline) {
    std::vector<std::unique_ptr<TNetSocketHandle>> pending;
    std::size_t next = 0;
    // Without an address of the bound address's family there is nothing to try.
    int lastError = wsa::AddressFamilyNotSupported;
    std::optional<TNetDeadline> nextStart; // unset: start the next address at once
    for (;;) {
        while (next < addresses.size() && (pending.empty() || !nextStart || nextStart->Passed())) {
            const std::string& address = addresses[next++];
            if (!boundIP.empty() && FamilyOf(address) != FamilyOf(boundIP)) {
                continue;
            }
            auto attempt = std::make_unique<TNetSocketHandle>();
            try {
                // A system without IPv6 refuses the socket itself: that address has failed, not the connect.
                attempt->Allocate(FamilyOf(address));
            } catch (const ENetInvalidSocket&) {
                lastError = wsa::AddressFamilyNotSupported;
                continue;
            }
            if (!boundIP.empty()) {
                attempt->Bind(boundIP, 0);
            }
            if (const int error = attempt->StartConnect(address, port)) {
                lastError = error;
                continue;
            }
            pending.push_back(std::move(attempt));
            nextStart = TNetDeadline::After(deadline.Clock(), kNextAddressDelay);
        }
        if (pending.empty()) {
            throw ENetSocketError(lastError);
        }
        std::vector<const TNetSocketHandle*> connecting;
        for (const auto& attempt : pending) {
            connecting.push_back(attempt.get());
        }
        const int ready = WaitForConnectOutcome(
            connecting, next < addresses.size() && nextStart ? deadline.Earlier(*nextStart) : deadline);
        if (ready < 0) {
            if (deadline.Passed()) {
                throw ENetSocketError(wsa::TimedOut);
            }
            continue; // the next address's turn has come
        }
        TNetSocketHandle& done = *pending[static_cast<std::size_t>(ready)];
        if (const int error = done.ConnectOutcome()) {
            lastError = error;
            pending.erase(pending.begin() + ready);
            nextStart.reset();
            continue;
        }
        m_descriptor = std::move(done.m_descriptor);
        ReadAddresses();
        return;
    }
}

bool CheckSocketResult(long result, std::initializer_list<int> allowed) {
    if (result != -1) {
        return true;
    }
    const int number = LastSocketError();
    for (int a : allowed) {
        if (a == number) {
            return false;
        }
    }
    throw ENetSocketError(number);
}

void TNetSocketHandle::Adopt(TNetDescriptor accepted) {
    Reset(Forget::PeerAndLocal);
    m_descriptor = std::move(accepted);
    ReadAddresses();
}

void TNetSocketHandle::Close() {
    if (IsOpen()) {
        ShutDownSending();
    }
    Reset(Forget::PeerAndLocal);
}

void TNetSocketHandle::Reset(Forget what) {
    m_descriptor.Reset();
    RemoteAddress.clear();
    RemotePort = 0;
    if (what == Forget::PeerAndLocal) {
        IP.clear();
        Port = 0;
    }
}

} // namespace net
