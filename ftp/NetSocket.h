// The socket layer: one stream socket (IPv4 or IPv6) per handle, host resolution to every address of a name,
// a connect that tries those addresses in turn, and readiness waits that end at a deadline. The platform calls that
// both platforms spell alike are in NetSocket.cpp; the others in the layer's platform files (NetSocketPosix.cpp,
// NetSocketWindows.cpp) and in the socket stream's (NetSocketStream*.cpp).
#pragma once

#include "NetClock.h"
#include "NetDescriptor.h"
#include "NetSocketErrors.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

struct addrinfo; // the platform's answer to a name lookup

namespace net {

// Cuts the text before the first delimiter off input (with deleteToken) and returns it; without a
// delimiter the whole input is the token.
std::string FetchToken(std::string& input, const std::string& delimiter, bool deleteToken = true);
// 1-based position of the last occurrence of sub in text, ignoring letter case; 0 when absent.
std::size_t LastPosition(const std::string& sub, const std::string& text);
// Four decimal parts 0..255 joined by ".".
bool LooksLikeIPv4(const std::string& text);
// An IPv6 address as text ("::1", "2001:db8::5", "fe80::1%eth0"), without brackets.
bool LooksLikeIPv6(const std::string& text);
// The host without the brackets that may enclose an IPv6 address ("[::1]" gives "::1").
std::string WithoutBrackets(const std::string& host);
// An address written as one, in either form (brackets allowed around an IPv6 address): no name lookup.
bool IsAddressLiteral(const std::string& host);

enum class TNetFamily { IPv4, IPv6 };
// The family of an address text: IPv6 when it holds a ":".
TNetFamily FamilyOf(const std::string& address);
// The platform's number of the family (AF_INET, AF_INET6).
int NativeFamily(TNetFamily family);
// The address with its port as a person reads it: "127.0.0.1:21", "[::1]:21".
std::string EndpointText(const std::string& address, std::int32_t port);

// A socket address of either family as the platform's calls take it, without the platform's headers here.
struct TNetSocketAddress {
    alignas(8) unsigned char storage[128] = {}; // a sockaddr_storage
    int length = 0;
};
// ip:port; an empty ip is any address of the family. Raises 10022 for text that is no address of the family.
TNetSocketAddress SocketAddressOf(const std::string& ip, std::int32_t port, TNetFamily family);
// The text and port of a socket address (a sockaddr of length bytes).
void ReadSocketAddress(const void* address, std::size_t length, std::string& ip, std::int32_t& port);
// The addresses of a name lookup's answer as text, in its order, each once.
std::vector<std::string> AddressTextsOf(const addrinfo* answer);

// Every address of a name, in the order given, each once; the platform's lookup raises ENetSocketError with
// the lookup's error number when there is none. A test may put a lookup of its own in its place.
using TNetResolver = std::function<std::vector<std::string>(const std::string& host)>;
std::vector<std::string> LookUpAddresses(const std::string& host);
// "LOCALHOST" (any case) gives 127.0.0.1 and an address literal itself, both without a lookup; any other
// host is looked up with resolver (the platform's lookup when it is empty).
std::vector<std::string> ResolveHostAddresses(const std::string& host, const TNetResolver& resolver = nullptr);

// A connect that has not answered after this long gets company: the next address is tried beside it, and
// whichever answers first is kept. A dead first address of a name then costs this, not the whole time-out.
constexpr std::chrono::milliseconds kNextAddressDelay{250};

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

    // A new non-blocking stream socket of the family; raises ENetInvalidSocket.
    void Allocate(TNetFamily family);
    // An empty ip binds to any address of the socket's family. Bind errors: 10048 raises
    // ENetCouldNotBindSocket, others ENetSocketError.
    void Bind(const std::string& ip, std::int32_t port);
    // Connects to the first of addresses (at least one) that answers by the deadline, trying them in their
    // order; each attempt that has not answered after kNextAddressDelay has the next one started beside it.
    // Binds each attempt to boundIP when it is not empty (only addresses of its family are tried). When none
    // answers, raises the error of the last one to fail (10060 when the deadline passed first).
    void ConnectToFirst(const std::vector<std::string>& addresses, std::int32_t port, const std::string& boundIP,
                        const TNetDeadline& deadline);
    // One connect started on this socket: 0 when it is under way or done, else the error number.
    int StartConnect(const std::string& address, std::int32_t port);
    // The end of a connect the wait below reported: 0 when connected, else the error number.
    int ConnectOutcome() const;
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
    TNetFamily m_family = TNetFamily::IPv4;
};

enum class WaitFor { Reading, Writing };
enum class TWaitResult { Ready, TimedOut };

// Waits until the handle is readable (or writable) or the deadline passes. A failing wait raises
// ENetSocketError; a closed handle raises ENetConnClosedGracefully.
TWaitResult WaitForSocket(TNetNativeHandle handle, WaitFor what, const TNetDeadline& deadline);

// Waits until one of the connecting sockets has an outcome; its index, or -1 when the deadline passed first.
int WaitForConnectOutcome(const std::vector<const TNetSocketHandle*>& connecting, const TNetDeadline& deadline);

enum class TReadySide { Listener, Other, Neither };

// Waits until the listening socket has a connection to accept or other (unless kNoHandle) is readable;
// Neither when the deadline passed or the wait was interrupted.
TReadySide WaitForListenerOrInput(const TNetSocketHandle& listener, TNetNativeHandle other,
                                  const TNetDeadline& deadline);

} // namespace net
