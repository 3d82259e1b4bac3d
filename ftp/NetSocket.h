// The socket layer: one IPv4 stream socket per handle, Windows Sockets error numbers on every platform,
// host resolution, and readiness waits bounded by a time-out.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>

namespace net {

// Windows Sockets numbers used by messages and by the client's own checks.
namespace wsa {
constexpr int Interrupted = 10004;
constexpr int WouldBlock = 10035;
constexpr int NotSocket = 10038;
constexpr int AddressInUse = 10048;
constexpr int ConnectionReset = 10054;
constexpr int Shutdown = 10058;
constexpr int TimedOut = 10060;
constexpr int ConnectionRefused = 10061;
constexpr int HostNotFound = 11001;
constexpr int TryAgain = 11002;
constexpr int NoRecovery = 11003;
constexpr int NoData = 11004;
} // namespace wsa

// The platform's error number (errno) as the matching Windows Sockets number.
int WinsockErrorNumber(int platformError);

// Cuts the text before the first delimiter off input (with deleteToken) and returns it; without a
// delimiter the whole input is the token.
std::string FetchToken(std::string& input, const std::string& delimiter, bool deleteToken = true);
// 1-based position of the last occurrence of sub in text, ignoring letter case; 0 when absent.
std::size_t LastPosition(const std::string& sub, const std::string& text);
// Four decimal parts 0..255 joined by ".".
bool LooksLikeIPv4(const std::string& text);
// "LOCALHOST" (any case) and dotted addresses as they are; else the first IPv4 address of a name lookup.
std::string ResolveHostAddress(const std::string& host);

// Raises ENetSocketError for result -1 unless the current error number is one of allowed; returns
// false for an allowed error and true for success.
bool CheckSocketResult(long result, std::initializer_list<int> allowed = {});

using Milliseconds = std::chrono::milliseconds;

class TNetSocketHandle {
public:
    TNetSocketHandle() = default;
    ~TNetSocketHandle();
    TNetSocketHandle(const TNetSocketHandle&) = delete;
    TNetSocketHandle& operator=(const TNetSocketHandle&) = delete;

    int Handle() const { return m_handle; }
    bool IsOpen() const { return m_open; }

    std::string IP;            // local address
    std::string RemoteAddress; // peer address
    std::int32_t Port = 0;     // local port
    std::int32_t RemotePort = 0;

    // A new non-blocking IPv4 stream socket; raises ENetInvalidSocket.
    void Allocate();
    // Bind errors: 10048 raises ENetCouldNotBindSocket, others ENetSocketError.
    void Bind(const std::string& ip, std::int32_t port);
    // Connects within timeout (10060 when it passes).
    void Connect(const std::string& address, std::int32_t port, Milliseconds timeout);
    void Listen(int backlog);
    // Takes over an accepted socket.
    void Adopt(int handle);
    // Reads local and peer address back from the socket.
    void ReadAddresses();
    // Shuts the sending side down and closes; nothing when closed.
    void Close();
    // Forgets the socket (closing it) and the peer; the local address too when asked.
    void Reset(bool includeLocal);

private:
    int m_handle = -1;
    bool m_open = false;
};

enum class TWaitResult { Ready, TimedOut };

// Waits until fd is readable (or writable) within timeout; 0 or less waits without limit.
// A failing wait raises ENetSocketError.
TWaitResult WaitForSocket(int fd, bool forWriting, Milliseconds timeout);

} // namespace net
