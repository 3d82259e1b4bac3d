// A buffered connection with its line reader and FTP reply reader, and the stream transfers of a data
// connection. All bytes pass through a byte stream (the socket's, unless another is put in its place) and
// every wait ends at a deadline on the connection's clock.
#pragma once

#include "NetBuffer.h"
#include "NetByteStream.h"
#include "NetClock.h"
#include "NetComponent.h"
#include "NetSocket.h"
#include "NetSocketStream.h"
#include "NetStream.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace net {

// Reply codes a command accepts; empty accepts every code.
using TReplyCodes = std::vector<std::int16_t>;

// Limits that keep a hostile server from making the client buffer without end.
constexpr std::size_t kMaxReplyLineLength = 65536;
constexpr std::size_t kMaxReplyLines = 1000;

// Whether finding the connection closed raises ENetConnClosedGracefully.
enum class IfClosed { Return, Raise };
// Where ReceiveFromSocket puts the bytes: the caller's target (the scratch area when that is null), or the
// end of PendingInput.
enum class Into { Target, PendingInput };
// Whether bytes still buffered keep a closed connection from raising (they can still be read).
enum class Buffered { Counts, Ignored };
// Where SendStream starts: at the stream's position, or at its start.
enum class From { Position, Start };

class TNetTCPConnection : public TNetComponent {
public:
    TNetTCPConnection() = default;
    ~TNetTCPConnection() override = default;

    TNetSocketHandle& Socket() { return m_socket; }
    const TNetSocketHandle& Socket() const { return m_socket; }
    // The byte stream every receive and send goes through.
    TNetByteStream& Stream() { return *m_stream; }
    const TNetByteStream& Stream() const { return *m_stream; }
    // Puts another stream in place of the socket's (memory in tests); null puts the socket's back. Opening a
    // connection always starts on the socket's.
    void UseStream(std::unique_ptr<TNetByteStream> stream);
    // Puts a protecting layer over the stream in use; the layer reads and writes through that stream, which
    // stays beneath it until the connection is opened again or another stream is put in place.
    void UseLayer(std::unique_ptr<TNetByteStream> layer);
    TNetClock& Clock() const { return *m_clock; }
    void SetClock(TNetClock& clock) { m_clock = &clock; }

    TNetBuffer PendingInput;             // received, not yet consumed
    bool ClosedByPeer = false;           // the last receive or send moved 0 bytes, or the connection closed
    std::vector<std::string> ReplyLines; // every line of the last reply
    TNetNotifyEvent OnDisconnected;
    bool LineWaitExpired = false;
    std::int32_t RecvBufferSize = 32768; // at most this much per receive call
    std::int16_t ReplyCode = 0;
    std::int32_t SendBufferSize = 32768; // piece size of stream uploads
    // Bounds every wait of this connection: connect, each reply, each receive and send; 0 waits without limit.
    std::chrono::milliseconds IdleTimeout{60000};

    std::string LastReplyLine() const { return ReplyLines.empty() ? std::string() : ReplyLines.back(); }

    std::int16_t SendCommandLine(const std::string& text, const TReplyCodes& allowed);
    // Reads one reply, all of it due within IdleTimeout.
    std::int16_t AwaitReply(const TReplyCodes& allowed);
    // The same, with the whole reply due by deadline instead (each wait still ends within IdleTimeout).
    std::int16_t AwaitReply(const TReplyCodes& allowed, const TNetDeadline& deadline);
    void WriteTextLine(const std::string& text);
    void SendBytes(const char* data, std::int64_t count);
    // One receive of at most capacity bytes into target (RecvBufferSize into the scratch area when target
    // is null), or of RecvBufferSize bytes appended to PendingInput. Returns 0 when the server has closed.
    std::size_t ReceiveFromSocket(IfClosed ifClosed, char* target, std::size_t capacity, Into into);
    std::string ReadTextLine(const std::string& terminator = std::string());
    std::string ReadNonEmptyLine();
    std::string TakePending(std::size_t count);

    // Writes received bytes to the stream: byteCount bytes, or with -1 until the server closes.
    void ReceiveStream(TNetStream& stream, std::int64_t byteCount = -1);
    // Sends the stream's bytes from its position (or from its start) to its end.
    void SendStream(TNetStream& stream, From from);
    // Bytes moved by the last ReceiveStream or SendStream, also when it failed part-way.
    std::int64_t StreamBytes() const { return m_streamBytes; }

    bool IsConnected();
    void CloseConnection();

    // True when PendingInput starts with a complete reply line whose code is 400 or above.
    bool FailureReplyPending() const;

protected:
    void CheckPeerClosed(IfClosed ifClosed, Buffered buffered);
    void ResetForOpen();
    [[noreturn]] void FailTimedOut();
    [[noreturn]] void failLineTooLong();
    // The next line as received, counted against the bound on the lines of one reply.
    std::string readReplyLine();

    TNetSocketHandle m_socket;

private:
    class Source;

    // The deadline of a wait that starts now.
    TNetDeadline waitDeadline() const;
    // AwaitReply's reading, within the reply's deadline.
    std::int16_t readReply(const TReplyCodes& allowed);
    // The count of a finished receive; a time-out or a shut-down socket closes the connection and raises,
    // except that a shut-down socket with bytes still buffered reads as the peer's close.
    std::size_t receivedCount(const TNetIoResult& result);
    // ReceiveFromSocket for the zero-copy path: the bytes go into a pipe.
    std::size_t receiveIntoPipe(IfClosed ifClosed, TNetNativeHandle pipe, std::size_t count,
                                const std::function<bool()>& whileIdle);

    // Destroyed in reverse order: a layer before the stream beneath it.
    TNetSocketStream m_socketStream{m_socket};
    std::unique_ptr<TNetByteStream> m_otherStream;
    std::unique_ptr<TNetByteStream> m_layer;
    TNetByteStream* m_stream = &m_socketStream;
    TNetClock* m_clock = &SystemClock();
    std::optional<TNetDeadline> m_replyDeadline; // while a reply is due by a deadline of its own
    std::vector<char> m_scratch;
    std::size_t m_searchedBytes = 0; // bytes of PendingInput already searched for a line end
    std::size_t m_linesThisReply = 0;
    std::int64_t m_streamBytes = 0;
};

} // namespace net
