// The socket stream on Windows Sockets 2. A send never raises a signal there, so a peer's reset comes back
// as error 10054 by itself. Windows has neither a receive low-water mark nor a limit on unsent bytes, and
// no zero-copy receive into a pipe: the piece hints are ignored and every download takes the plain loop.
#ifdef _WIN32

#include "NetSocketStream.h"

#include "NetExceptions.h"

#include <algorithm>
#include <climits>

#include <winsock2.h>

namespace net {

namespace {

// One call moves at most this much: the calls count in int.
constexpr std::size_t kMostPerCall = INT_MAX;

// A failed call that would not block: a shut-down socket is reported to the connection, which closes
// itself; everything else raises.
TNetIoResult shutDownOrRaise(int error) {
    if (error == wsa::Shutdown) {
        return {0, TNetIoStatus::ShutDown};
    }
    throw ENetSocketError(error);
}

} // namespace

bool TNetSocketStream::awaitInput(const TNetDeadline& deadline) {
    return WaitForSocket(m_socket.Handle(), WaitFor::Reading, deadline) == TWaitResult::Ready;
}

TNetIoResult TNetSocketStream::Receive(char* data, std::size_t count, const TNetDeadline& deadline) {
    for (;;) {
        const int received = ::recv(m_socket.Handle(), data, static_cast<int>(std::min(count, kMostPerCall)), 0);
        if (received != SOCKET_ERROR) {
            return {static_cast<std::size_t>(received), TNetIoStatus::Done};
        }
        const int error = ::WSAGetLastError();
        if (error == wsa::Interrupted) {
            continue;
        }
        if (error != wsa::WouldBlock) {
            return shutDownOrRaise(error);
        }
        if (!awaitInput(deadline)) {
            return {0, TNetIoStatus::TimedOut};
        }
    }
}

TNetIoResult TNetSocketStream::Send(const char* data, std::size_t count, const TNetDeadline& deadline) {
    for (;;) {
        const int sent = ::send(m_socket.Handle(), data, static_cast<int>(std::min(count, kMostPerCall)), 0);
        if (sent != SOCKET_ERROR) {
            return {static_cast<std::size_t>(sent), TNetIoStatus::Done};
        }
        const int error = ::WSAGetLastError();
        if (error == wsa::Interrupted) {
            continue;
        }
        if (error != wsa::WouldBlock) {
            return shutDownOrRaise(error);
        }
        if (WaitForSocket(m_socket.Handle(), WaitFor::Writing, deadline) == TWaitResult::TimedOut) {
            return {0, TNetIoStatus::TimedOut};
        }
    }
}

void TNetSocketStream::SetReceivePiece(std::size_t) {}

void TNetSocketStream::SetSendPiece(std::size_t) {}

bool TNetSocketStream::CanSplice() const {
    return false;
}

TNetIoResult TNetSocketStream::SpliceInto(TNetNativeHandle pipe, std::size_t count, const TNetDeadline& deadline,
                                          const std::function<bool()>& whileIdle) {
    return TNetByteStream::SpliceInto(pipe, count, deadline, whileIdle);
}

} // namespace net

#endif
