// Plain blocking loopback sockets for the servers and peers that tests play, on POSIX and on Windows
// Sockets alike, so the test code itself needs no system header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace testsupport {

#ifdef _WIN32
using SocketHandle = std::uintptr_t; // SOCKET
#else
using SocketHandle = int;
#endif
inline constexpr SocketHandle kNoSocket = static_cast<SocketHandle>(-1);

// One socket, closed when it goes.
class TestSocket {
public:
    TestSocket() = default;
    explicit TestSocket(SocketHandle handle) : m_handle(handle) {}
    ~TestSocket() { close(); }
    TestSocket(TestSocket&& other) noexcept : m_handle(other.release()) {}
    TestSocket& operator=(TestSocket&& other) noexcept;
    TestSocket(const TestSocket&) = delete;
    TestSocket& operator=(const TestSocket&) = delete;

    SocketHandle get() const { return m_handle; }
    bool valid() const { return m_handle != kNoSocket; }
    SocketHandle release();
    void close();

private:
    SocketHandle m_handle = kNoSocket;
};

// A listener on ip (IPv4 or IPv6) and port, or a free port when port is 0 (given back in port); raises
// std::runtime_error.
TestSocket listenOn(const std::string& ip, int backlog, int& port);
// A listener on 127.0.0.1 and a free port (given back in port).
TestSocket listenOnLoopback(int backlog, int& port);
// The next connection of a listener (waiting for it); invalid on failure.
TestSocket acceptFrom(SocketHandle listener);
// A connection to ip:port, from the local address from when it is not empty; invalid when refused.
TestSocket connectTo(const std::string& ip, int port, const std::string& from = std::string());
// A connection to ip:port that is only started: it does not wait for the peer to accept.
TestSocket startConnecting(int port, const std::string& ip = "127.0.0.1");
// True when something accepts connections on ip:port.
bool acceptsConnections(int port, const std::string& ip = "127.0.0.1");
// A free TCP port of a loopback address (127.0.0.1 or ::1) at the moment of the call.
int freeLoopbackPort(const std::string& ip = "127.0.0.1");

// Waits until the socket is readable; false when ms milliseconds passed first.
bool waitReadable(SocketHandle socket, int ms);
// Sends every byte; raises std::runtime_error with the system's reason on failure. Never raises a signal
// for a peer that has gone.
void sendAll(SocketHandle socket, const char* data, std::size_t size);
// One receive: the count, 0 when the peer closed, -1 on failure.
long receiveSome(SocketHandle socket, char* data, std::size_t size);
// Makes the next close a reset instead of an orderly end.
void resetOnClose(SocketHandle socket);

} // namespace testsupport
