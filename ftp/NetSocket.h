// The socket layer: one IPv4 stream socket per handle, host resolution, and readiness waits that end at a
// deadline. Every platform call on sockets lives in the layer's platform files (NetSocketPosix.cpp,
// NetSocketWindows.cpp) and in the socket stream's (NetSocketStream*.cpp).
#pragma once

#include "NetClock.h"
#include "NetDescriptor.h"
#include "NetSocketErrors.h"

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>

namespace net {

// Cuts the text before the first delimiter off input (with deleteToken) and returns it; without a
// delimiter the whole input is the token.
std::string FetchToken(std::string& input, const std::string& delimiter, bool deleteToken = true);
// 1-based position of the last occurrence of sub in text, ignoring letter case; 0 when absent.
std::size_t LastPosition(const std::string& sub, const std::string& text);
// Four decimal parts 0..255 joined by ".".
bool LooksLikeIPv4(const std::string& text);
// "LOCALHOST" (any case) and dotted addresses as they are; else the first IPv4 address of a name lookup.
std::string ResolveHostAddress(const std::string& host);
// The platform's name lookup: the first IPv4 address of the answer; no answer raises ENetSocketError with
// the lookup's error number.
std::string LookUpIPv4Address(const std::string& host);

// Raises ENetSocketError for result -1 unless the current error number is one of allowed; returns
// false for an allowed error and true for success.
bool CheckSocketResult(long result, std::initializer_list<int> allowed = {});

// What Reset forgets besides the socket itself.
enum class Forget { Peer, PeerAndLocal };

class TNetSocketHandle {
public:
    TNetSocketHandle() = default;
    // Shuts the sending side down and closes, as Close does.
    ~TNetSocketHandle();
    TNetSocketHandle(const TNetSocketHandle&) = delete;
    TNetSocketHandle& operator=(const TNetSocketHandle&) = delete;

    TNetNativeHandle Handle() const { return m_descriptor.Get(); }
    bool IsOpen() const { return m_descriptor.Valid(); }

    std::string IP;            // local address
    std::string RemoteAddress; // peer address
    std::int32_t Port = 0;     // local port
    std::int32_t RemotePort = 0;

    // A new non-blocking IPv4 stream socket; raises ENetInvalidSocket.
    void Allocate();
    // Bind errors: 10048 raises ENetCouldNotBindSocket, others ENetSocketError.
    void Bind(const std::string& ip, std::int32_t port);
    // Connects by the deadline (10060 when it passes).
    void Connect(const std::string& address, std::int32_t port, const TNetDeadline& deadline);
    void Listen(int backlog);
    // Switches off the delay of small sends.
    void SetNoDelay();
    // Accepts one waiting connection of this listening socket and tells its peer address; an invalid
    // descriptor when none was waiting after all.
    TNetDescriptor AcceptOne(std::string& peerAddress);
    // Takes over an accepted socket.
    void Adopt(TNetDescriptor accepted);
    // Reads local and peer address back from the socket.
    void ReadAddresses();
    // Tells the peer that nothing more will be sent; the socket stays open for receiving.
    void ShutDownSending();
    // Shuts the sending side down and closes; nothing when closed.
    void Close();
    // Closes the socket without shutting it down and forgets the peer, and the local address when asked.
    void Reset(Forget what);

private:
    TNetDescriptor m_descriptor;
};

enum class WaitFor { Reading, Writing };
enum class TWaitResult { Ready, TimedOut };

// Waits until the handle is readable (or writable) or the deadline passes. A failing wait raises
// ENetSocketError; a closed handle raises ENetConnClosedGracefully.
TWaitResult WaitForSocket(TNetNativeHandle handle, WaitFor what, const TNetDeadline& deadline);

enum class TReadySide { Listener, Other, Neither };

// Waits until the listening socket has a connection to accept or other (unless kNoHandle) is readable;
// Neither when the deadline passed or the wait was interrupted.
TReadySide WaitForListenerOrInput(const TNetSocketHandle& listener, TNetNativeHandle other,
                                  const TNetDeadline& deadline);

} // namespace net
