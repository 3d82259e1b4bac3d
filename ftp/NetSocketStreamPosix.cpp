// The socket stream on POSIX systems, with the receive low-water mark, the limit on unsent bytes and (on
// Linux) the zero-copy receive into a pipe.
#ifndef _WIN32

#include "NetSocketStream.h"

#include "NetExceptions.h"

#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

namespace net {

namespace {

bool isWouldBlock(int error) {
    return error == EAGAIN || error == EWOULDBLOCK;
}

// A failed call that is neither interrupted nor would block: a shut-down socket is reported to the
// connection, which closes itself; everything else raises.
TNetIoResult shutDownOrRaise(int error) {
    const int number = WinsockErrorNumber(error);
    if (number == wsa::Shutdown) {
        return {0, TNetIoStatus::ShutDown};
    }
    throw ENetSocketError(number);
}

} // namespace

bool TNetSocketStream::awaitInput(const TNetDeadline& deadline) {
    if (WaitForSocket(m_socket.Handle(), WaitFor::Reading, deadline) == TWaitResult::Ready) {
        return true;
    }
    // A receive low-water mark keeps a trickle below it from waking the wait; bytes that did arrive still
    // count as a live server.
    int available = 0;
    return ::ioctl(m_socket.Handle(), FIONREAD, &available) == 0 && available > 0;
}

TNetIoResult TNetSocketStream::Receive(char* data, std::size_t count, const TNetDeadline& deadline) {
    for (;;) {
        const ssize_t received = ::recv(m_socket.Handle(), data, count, 0);
        if (received >= 0) {
            return {static_cast<std::size_t>(received), TNetIoStatus::Done};
        }
        const int error = errno;
        if (error == EINTR) {
            continue;
        }
        if (!isWouldBlock(error)) {
            return shutDownOrRaise(error);
        }
        if (!awaitInput(deadline)) {
            return {0, TNetIoStatus::TimedOut};
        }
    }
}

TNetIoResult TNetSocketStream::Send(const char* data, std::size_t count, const TNetDeadline& deadline) {
    for (;;) {
        // No SIGPIPE for a peer that has gone: the failure comes back as an error number instead.
        const ssize_t sent = ::send(m_socket.Handle(), data, count, MSG_NOSIGNAL);
        if (sent >= 0) {
            return {static_cast<std::size_t>(sent), TNetIoStatus::Done};
        }
        const int error = errno;
        if (error == EINTR) {
            continue;
        }
        if (!isWouldBlock(error)) {
            return shutDownOrRaise(error);
        }
        if (WaitForSocket(m_socket.Handle(), WaitFor::Writing, deadline) == TWaitResult::TimedOut) {
            return {0, TNetIoStatus::TimedOut};
        }
    }
}

void TNetSocketStream::SetReceivePiece(std::size_t size) {
    // Wake for a whole piece, not for every packet: on a fast link, waking per packet costs more CPU than
    // the copy itself. The idle time-out still sees bytes below the mark (awaitInput).
    const int lowWater = static_cast<int>(size);
    ::setsockopt(m_socket.Handle(), SOL_SOCKET, SO_RCVLOWAT, &lowWater, sizeof lowWater);
}

void TNetSocketStream::SetSendPiece(std::size_t size) {
    // Keep at most one piece queued unsent. Otherwise the receiver's window updates make its own context
    // transmit our backlog, which slows the side that is usually the bottleneck. Bytes in flight do not
    // count, so a long link still fills.
    const int unsentLimit = static_cast<int>(size);
    ::setsockopt(m_socket.Handle(), IPPROTO_TCP, TCP_NOTSENT_LOWAT, &unsentLimit, sizeof unsentLimit);
}

bool TNetSocketStream::CanSplice() const {
#ifdef __linux__
    return true;
#else
    return false;
#endif
}

TNetIoResult TNetSocketStream::SpliceInto(TNetNativeHandle pipe, std::size_t count, const TNetDeadline& deadline,
                                          const std::function<bool()>& whileIdle) {
#ifdef __linux__
    for (;;) {
        const ssize_t received =
            ::splice(m_socket.Handle(), nullptr, pipe, nullptr, count, SPLICE_F_MOVE | SPLICE_F_NONBLOCK);
        if (received >= 0) {
            return {static_cast<std::size_t>(received), TNetIoStatus::Done};
        }
        const int error = errno;
        if (error == EINTR) {
            continue;
        }
        if (!isWouldBlock(error)) {
            return shutDownOrRaise(error);
        }
        if (whileIdle && whileIdle()) {
            continue;
        }
        if (!awaitInput(deadline)) {
            return {0, TNetIoStatus::TimedOut};
        }
    }
#else
    return TNetByteStream::SpliceInto(pipe, count, deadline, whileIdle);
#endif
}

} // namespace net

#endif
