// Connection objects of the FTP client: work accounting and events, the buffered TCP connection with
// its line and reply readers, the connecting client and the one-shot listening server used for
// active-mode data connections.
#pragma once

#include "NetBuffer.h"
#include "NetSocket.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace net {

enum TWorkMode : int { wkReceive = 0, wkSend = 1 };

enum TNetStatus : int {
    stResolving = 0,
    stConnecting = 1,
    stConnected = 2,
    stDisconnecting = 3,
    stDisconnected = 4,
    stText = 5
};

class TNetComponent;

using TNetNotifyEvent = std::function<void(TNetComponent& sender)>;
using TNetStatusEvent = std::function<void(TNetComponent& sender, TNetStatus status, const std::string& statusText)>;
using TWorkBeginEvent = std::function<void(TNetComponent& sender, TWorkMode mode, std::int64_t countMax)>;
using TWorkEvent = std::function<void(TNetComponent& sender, TWorkMode mode, std::int64_t count)>;
using TWorkEndEvent = std::function<void(TNetComponent& sender, TWorkMode mode)>;

// Reply codes a command accepts; empty accepts every code.
using TReplyCodes = std::vector<std::int16_t>;

// Limits that keep a hostile server from making the client buffer without end.
constexpr std::size_t kMaxReplyLineLength = 65536;
constexpr std::size_t kMaxReplyLines = 1000;
// Downloads are written to their stream in batches of this size.
constexpr std::size_t kWriteBatch = 1 << 20;

class TNetBaseComponent {
public:
    TNetBaseComponent() = default;
    virtual ~TNetBaseComponent() = default;
    TNetBaseComponent(const TNetBaseComponent&) = delete;
    TNetBaseComponent& operator=(const TNetBaseComponent&) = delete;
};

class TNetComponent : public TNetBaseComponent {
public:
    struct TWorkRecord {
        std::int64_t Progress = 0;
        std::int64_t Expected = 0;
        std::int32_t Nesting = 0;
    };

    TNetStatusEvent OnStatus;
    TWorkBeginEvent OnWorkBegin;
    TWorkEvent OnWork;
    TWorkEndEvent OnWorkEnd;

    // Only the outermost begin and end of nested work of one mode fire events.
    void StartWork(TWorkMode mode, std::int64_t expected);
    void AddWork(TWorkMode mode, std::int64_t count);
    void FinishWork(TWorkMode mode);
    const TWorkRecord& WorkRecord(TWorkMode mode) const { return m_work[mode]; }

protected:
    void ReportStatus(TNetStatus status, const std::string& argument);

private:
    TWorkRecord m_work[2];
};

class TNetTCPConnection : public TNetComponent {
public:
    TNetTCPConnection() = default;
    ~TNetTCPConnection() override = default;

    TNetSocketHandle& Socket() { return m_socket; }
    const TNetSocketHandle& Socket() const { return m_socket; }

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
    std::int16_t AwaitReply(const TReplyCodes& allowed);
    void WriteTextLine(const std::string& text);
    void SendBytes(const char* data, std::int64_t count);
    // One receive of at most capacity bytes into target (RecvBufferSize into the scratch area when target
    // is null), or appended to PendingInput. Returns 0 when the server has closed.
    std::size_t ReceiveFromSocket(bool raiseIfClosed, char* target, std::size_t capacity, bool intoPendingInput);
    std::string ReadTextLine(const std::string& terminator = std::string());
    std::string ReadNonEmptyLine();
    std::string TakePending(std::size_t count);

    // Writes received bytes to the stream: byteCount bytes, or with -1 until the server closes.
    void ReceiveStream(TNetStream& stream, std::int64_t byteCount = -1);
    // Sends the stream's bytes from its position (from its start when asked) to its end.
    void SendStream(TNetStream& stream, bool fromStart);
    // Bytes moved by the last ReceiveStream or SendStream, also when it failed part-way.
    std::int64_t StreamBytes() const { return m_streamBytes; }

    bool IsConnected();
    void CloseConnection();

    // True when PendingInput starts with a complete reply line whose code is 400 or above.
    bool FailureReplyPending() const;

protected:
    void CheckPeerClosed(bool raiseIfClosed, bool ignoreBuffered);
    void ResetForOpen();
    [[noreturn]] void FailTimedOut();
    [[noreturn]] void failLineTooLong();
    // The next line as received, counted against the bound on the lines of one reply.
    std::string readReplyLine();
    // After a failed receive: waits and returns true to try again, false for a socket already shut down
    // with bytes still buffered; raises otherwise.
    bool retryAfterReceiveError(int error);
    // After a failed send: waits to try again, or raises.
    void retryAfterSendError(int error);
    // Zero-copy paths for local files where the platform has them; false when not taken.
    bool receiveIntoFile(TNetStream& stream, std::int64_t& remaining, bool raiseIfClosed);

    TNetSocketHandle m_socket;

private:
    std::vector<char> m_scratch;
    std::size_t m_searchedBytes = 0; // bytes of PendingInput already searched for a line end
    std::size_t m_linesThisReply = 0;
    std::int64_t m_streamBytes = 0;
};

class TNetTCPClient : public TNetTCPConnection {
public:
    std::string BoundIP; // local address to bind; empty = any
    std::string Host;
    TNetNotifyEvent OnConnected;
    std::int32_t Port = 0;
    bool UseNagle = true;

    void OpenConnection();
};

// Listens for one incoming connection (the server's side of an active-mode data connection).
class TNetSimpleServer : public TNetTCPConnection {
public:
    std::int32_t PollInterval = 0; // kept for compatibility; the wait blocks in the platform instead
    std::string BoundIP;
    std::int32_t BoundPort = 0;

    void StartListening();
    void StopWaiting() { m_abortWait = true; }
    const std::string& ListeningIP() const { return m_listener.IP; }
    std::int32_t ListeningPort() const { return m_listener.Port; }
    bool IsListening() const { return m_listening; }

    // Waits within IdleTimeout for one connection from acceptFrom (any address when empty); others are
    // closed and the wait goes on. Watches control too: its closing, or a reply of 400 or above there,
    // ends the wait with an exception. The listening socket is closed afterwards in every case.
    void WaitForPeer(TNetTCPConnection* control, const std::string& acceptFrom);

private:
    void stopListening();

    TNetSocketHandle m_listener;
    bool m_abortWait = false;
    bool m_listening = false;
};

} // namespace net
