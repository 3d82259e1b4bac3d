// The stream a transfer reads an upload from or writes a download into, and the source a download's
// stream takes its bytes from.
#pragma once

#include "NetDescriptor.h"

#include <cstddef>
#include <cstdint>
#include <functional>

namespace net {

// Downloads spliced into a file pass through a pipe of this size, and reach the file in batches of it.
constexpr std::size_t kWriteBatch = 1 << 20;
// Received bytes that pass through memory (protected ones, or where the platform cannot splice) are
// written in smaller batches: still few write calls, and the bytes are still in the processor's cache
// when the write copies them into the file. Measured with bench/ftp-compare --tls, 1 MiB batches made
// a protected download about a third slower, and the copying download of clear text slower too.
constexpr std::size_t kCopyBatch = 128 << 10;

// The data connection as a download's stream sees it: pieces of received bytes, each counted as work when
// it is taken.
class TNetReceiveSource {
public:
    virtual ~TNetReceiveSource() = default;
    // The largest piece one receive hands out.
    virtual std::size_t PieceSize() const = 0;
    // The size of the next piece to take; 0 when the transfer has all it wants or the peer has closed.
    virtual std::size_t NextPiece() = 0;
    // One receive of at most count bytes into data; 0 when the peer has closed.
    virtual std::size_t Receive(char* data, std::size_t count) = 0;
    // True when pieces can be moved into a pipe without passing through user memory (TNetByteStream).
    virtual bool CanSplice() const = 0;
    // One such move of at most count bytes into the pipe's write end; whileIdle as in TNetByteStream.
    virtual std::size_t SpliceInto(TNetNativeHandle pipe, std::size_t count,
                                   const std::function<bool()>& whileIdle) = 0;
};

// A seekable byte stream. A transfer reads an upload from one and writes a download into one.
class TNetStream {
public:
    virtual ~TNetStream() = default;
    virtual std::int64_t Size() const = 0;
    virtual std::int64_t Position() const = 0;
    virtual void SetPosition(std::int64_t position) = 0;
    // Grows or cuts the stream; the position stays.
    virtual void SetSize(std::int64_t size) = 0;
    // Reads up to count bytes at the position; 0 only at the end.
    virtual std::size_t Read(char* data, std::size_t count) = 0;
    // Writes all count bytes at the position.
    virtual void Write(const char* data, std::size_t count) = 0;
    // Writes what source gives at the position until it has nothing more. Pieces are received one by one
    // and written in batches; what was received before a failure is written too.
    virtual void TakeFrom(TNetReceiveSource& source);
};

} // namespace net
