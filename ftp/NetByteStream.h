// The bytes of one connection as the line reader, the reply reader and the transfers see them: a socket, or
// memory in tests; a protecting layer over a socket fits the same shape. Every wait ends at a deadline on
// the connection's clock.
#pragma once

#include "NetClock.h"
#include "NetDescriptor.h"

#include <cstddef>
#include <functional>
#include <stdexcept>

namespace net {

// How a receive or send ended. A count of 0 with Done means that the peer has closed.
enum class TNetIoStatus { Done, TimedOut, ShutDown };

struct TNetIoResult {
    std::size_t Count = 0;
    TNetIoStatus Status = TNetIoStatus::Done;
};

class TNetByteStream {
public:
    virtual ~TNetByteStream() = default;

    virtual bool IsOpen() const = 0;
    // Shuts the sending side down and closes; nothing when closed.
    virtual void Close() = 0;

    // One receive of at most count bytes, waiting until the deadline for the first of them. Failures other
    // than a time-out or a shut-down socket raise ENetSocketError.
    virtual TNetIoResult Receive(char* data, std::size_t count, const TNetDeadline& deadline) = 0;
    // One send of at most count bytes (fewer when that is all the stream takes now), waiting for room until
    // the deadline. Failures as for Receive.
    virtual TNetIoResult Send(const char* data, std::size_t count, const TNetDeadline& deadline) = 0;

    // True when a receive would return at once with bytes the stream holds itself (a protecting layer keeps
    // decoded bytes that its socket no longer shows), so a readiness wait on the handle would miss them.
    virtual bool InputBuffered() const { return false; }
    // The platform handle to wait on together with others (the active-mode wait); kNoHandle when none.
    virtual TNetNativeHandle WaitHandle() const { return kNoHandle; }

    // Hints for bulk transfers: wake a waiting receive only for a whole piece; keep at most a piece queued
    // unsent. Streams without such controls ignore them.
    virtual void SetReceivePiece(std::size_t) {}
    virtual void SetSendPiece(std::size_t) {}

    // True when received bytes can be moved into a pipe without passing through user memory, which only a
    // clear-text socket can do: spliced bytes skip every layer above the socket.
    virtual bool CanSplice() const { return false; }
    // Moves at most count received bytes into the pipe whose write end is pipe. While nothing has arrived it
    // calls whileIdle, and waits only when that found nothing to do. Results as for Receive.
    virtual TNetIoResult SpliceInto(TNetNativeHandle pipe, std::size_t count, const TNetDeadline& deadline,
                                    const std::function<bool()>& whileIdle) {
        (void)pipe;
        (void)count;
        (void)deadline;
        (void)whileIdle;
        throw std::logic_error("this byte stream cannot splice");
    }
};

} // namespace net
