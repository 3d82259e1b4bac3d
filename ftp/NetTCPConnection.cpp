#include "NetTCPConnection.h"

#include "NetExceptions.h"
#include "NetReplies.h"

#include <algorithm>
#include <climits>

namespace net {

namespace {

bool allows(const TReplyCodes& allowed, std::int16_t code) {
    return allowed.empty() || std::find(allowed.begin(), allowed.end(), code) != allowed.end();
}

} // namespace

// The connection as a download's stream sees it: pieces up to the count still wanted, each one counted.
class TNetTCPConnection::Source final : public TNetReceiveSource {
public:
    Source(TNetTCPConnection& connection, std::int64_t remaining, IfClosed ifClosed)
        : m_connection(connection), m_remaining(remaining), m_ifClosed(ifClosed) {}

    std::size_t PieceSize() const override { return static_cast<std::size_t>(m_connection.RecvBufferSize); }
    std::size_t NextPiece() override {
        if (m_remaining < 1 || !m_connection.IsConnected()) {
            return 0;
        }
        return static_cast<std::size_t>(std::min<std::int64_t>(m_remaining, m_connection.RecvBufferSize));
    }
    std::size_t Receive(char* data, std::size_t count) override {
        return taken(m_connection.ReceiveFromSocket(m_ifClosed, data, count, Into::Target));
    }
    bool CanSplice() const override { return m_connection.m_stream->CanSplice(); }
    std::size_t SpliceInto(TNetNativeHandle pipe, std::size_t count, const std::function<bool()>& whileIdle) override {
        return taken(m_connection.receiveIntoPipe(m_ifClosed, pipe, count, whileIdle));
    }

private:
    std::size_t taken(std::size_t count) {
        m_remaining -= static_cast<std::int64_t>(count);
        m_connection.m_streamBytes += static_cast<std::int64_t>(count);
        return count;
    }

    TNetTCPConnection& m_connection;
    std::int64_t m_remaining;
    IfClosed m_ifClosed;
};

void TNetTCPConnection::UseStream(std::unique_ptr<TNetByteStream> stream) {
    m_layer.reset();
    m_otherStream = std::move(stream);
    m_stream = m_otherStream ? m_otherStream.get() : &m_socketStream;
}

void TNetTCPConnection::UseLayer(std::unique_ptr<TNetByteStream> layer) {
    m_layer = std::move(layer);
    m_stream = m_layer ? m_layer.get() : m_otherStream ? m_otherStream.get() : &m_socketStream;
}

void TNetTCPConnection::ResetForOpen() {
    UseStream(nullptr);
    m_socket.Reset(Forget::PeerAndLocal);
    PendingInput.Clear();
    ClosedByPeer = false;
    m_searchedBytes = 0;
}

TNetDeadline TNetTCPConnection::waitDeadline() const {
    const TNetDeadline idle = TNetDeadline::After(*m_clock, IdleTimeout);
    return m_replyDeadline ? idle.Earlier(*m_replyDeadline) : idle;
}

void TNetTCPConnection::FailTimedOut() {
    // The conversation's state is unknown after a silent peer: close rather than leave it half-open.
    CloseConnection();
    throw ENetSocketError(wsa::TimedOut);
}

void TNetTCPConnection::CheckPeerClosed(IfClosed ifClosed, Buffered buffered) {
    if (ClosedByPeer || !m_stream->IsOpen()) {
        CloseConnection();
        if (ifClosed == IfClosed::Raise && (buffered == Buffered::Ignored || PendingInput.Empty())) {
            throw ENetConnClosedGracefully();
        }
    }
}

bool TNetTCPConnection::IsConnected() {
    CheckPeerClosed(IfClosed::Return, Buffered::Counts);
    return m_stream->IsOpen();
}

void TNetTCPConnection::CloseConnection() {
    if (!m_stream->IsOpen()) {
        return;
    }
    ReportStatus(stDisconnecting, m_socket.RemoteAddress);
    m_stream->Close();
    m_socket.Close();
    ClosedByPeer = true;
    ReportStatus(stDisconnected, std::string());
    if (OnDisconnected) {
        OnDisconnected(*this);
    }
}

std::size_t TNetTCPConnection::receivedCount(const TNetIoResult& result) {
    switch (result.Status) {
    case TNetIoStatus::Done:
        return result.Count;
    case TNetIoStatus::TimedOut:
        FailTimedOut();
    case TNetIoStatus::ShutDown:
        CloseConnection();
        if (PendingInput.Empty()) {
            throw ENetSocketError(wsa::Shutdown);
        }
        return 0;
    }
    return 0;
}

std::size_t TNetTCPConnection::ReceiveFromSocket(IfClosed ifClosed, char* target, std::size_t capacity, Into into) {
    CheckPeerClosed(ifClosed, Buffered::Counts);
    if (!IsConnected()) {
        return 0;
    }
    char* destination = target;
    if (into == Into::PendingInput) {
        capacity = static_cast<std::size_t>(RecvBufferSize);
        destination = PendingInput.Reserve(capacity);
    } else if (destination == nullptr) {
        m_scratch.resize(static_cast<std::size_t>(RecvBufferSize));
        destination = m_scratch.data();
        capacity = m_scratch.size();
    }
    TNetIoResult result;
    try {
        result = m_stream->Receive(destination, capacity, waitDeadline());
    } catch (...) {
        if (into == Into::PendingInput) {
            PendingInput.Commit(0);
        }
        throw;
    }
    if (into == Into::PendingInput) {
        PendingInput.Commit(result.Count);
    }
    const std::size_t received = receivedCount(result);
    ClosedByPeer = received == 0;
    if (into == Into::Target && received > 0) {
        AddWork(wkReceive, static_cast<std::int64_t>(received));
    }
    CheckPeerClosed(ifClosed, Buffered::Counts);
    return received;
}

std::size_t TNetTCPConnection::receiveIntoPipe(IfClosed ifClosed, TNetNativeHandle pipe, std::size_t count,
                                               const std::function<bool()>& whileIdle) {
    CheckPeerClosed(ifClosed, Buffered::Counts);
    if (!IsConnected()) {
        return 0;
    }
    const std::size_t received = receivedCount(m_stream->SpliceInto(pipe, count, waitDeadline(), whileIdle));
    ClosedByPeer = received == 0;
    if (received > 0) {
        AddWork(wkReceive, static_cast<std::int64_t>(received));
    }
    CheckPeerClosed(ifClosed, Buffered::Counts);
    return received;
}

void TNetTCPConnection::SendBytes(const char* data, std::int64_t count) {
    if (count <= 0) {
        return;
    }
    CheckPeerClosed(IfClosed::Raise, Buffered::Ignored);
    while (count > 0) {
        const TNetIoResult result = m_stream->Send(data, static_cast<std::size_t>(count), waitDeadline());
        if (result.Status == TNetIoStatus::TimedOut) {
            FailTimedOut();
        }
        if (result.Status == TNetIoStatus::ShutDown) {
            CloseConnection();
            throw ENetSocketError(wsa::Shutdown);
        }
        const auto sent = static_cast<std::int64_t>(result.Count);
        ClosedByPeer = sent == 0;
        CheckPeerClosed(IfClosed::Raise, Buffered::Counts);
        AddWork(wkSend, sent);
        data += sent;
        count -= sent;
    }
}

void TNetTCPConnection::WriteTextLine(const std::string& text) {
    const std::string line = text + "\r\n";
    SendBytes(line.data(), static_cast<std::int64_t>(line.size()));
}

std::string TNetTCPConnection::TakePending(std::size_t count) {
    if (PendingInput.Size() < count) {
        throw ENetNotEnoughDataInBuffer();
    }
    std::string taken(PendingInput.View().substr(0, count));
    PendingInput.Remove(count);
    m_searchedBytes = 0;
    AddWork(wkReceive, static_cast<std::int64_t>(count));
    return taken;
}

void TNetTCPConnection::failLineTooLong() {
    CloseConnection();
    throw ENetReplyTooLong("Reply line longer than " + std::to_string(kMaxReplyLineLength) + " bytes.");
}

std::string TNetTCPConnection::ReadTextLine(const std::string& terminator) {
    const bool defaulted = terminator.empty();
    const std::string& ending = defaulted ? std::string("\n") : terminator;
    LineWaitExpired = false;
    for (;;) {
        const std::string_view buffered = PendingInput.View();
        if (!buffered.empty()) {
            // Only bytes not searched before, plus room for a terminator split across receives.
            const std::size_t overlap = ending.size() - 1;
            const std::size_t from = m_searchedBytes > overlap ? m_searchedBytes - overlap : 0;
            const std::size_t at = buffered.find(ending, from);
            if (at != std::string_view::npos) {
                std::string line = TakePending(at + ending.size());
                line.resize(at);
                if (defaulted && !line.empty() && line.back() == '\r') {
                    line.pop_back();
                }
                if (line.size() > kMaxReplyLineLength) {
                    failLineTooLong();
                }
                return line;
            }
            m_searchedBytes = buffered.size();
            // The bound is on the line itself, whether or not its end has arrived yet: the start of its
            // terminator (and the CR dropped before a default line end) may already be buffered.
            const std::size_t slack = overlap + (defaulted ? 1 : 0);
            if (buffered.size() > kMaxReplyLineLength + slack) {
                failLineTooLong();
            }
            CheckPeerClosed(IfClosed::Raise, Buffered::Ignored);
        }
        if (ReceiveFromSocket(IfClosed::Raise, nullptr, 0, Into::PendingInput) == 0) {
            LineWaitExpired = true;
            return std::string();
        }
    }
}

std::string TNetTCPConnection::readReplyLine() {
    if (++m_linesThisReply > kMaxReplyLines) {
        CloseConnection();
        throw ENetReplyTooLong("Reply longer than " + std::to_string(kMaxReplyLines) + " lines.");
    }
    return ReadTextLine();
}

std::string TNetTCPConnection::ReadNonEmptyLine() {
    for (;;) {
        std::string line = TrimControl(readReplyLine());
        if (!line.empty()) {
            return line;
        }
    }
}

std::int16_t TNetTCPConnection::AwaitReply(const TReplyCodes& allowed) {
    // The whole reply is due within the idle time-out: a server that trickles a byte now and then would
    // otherwise restart each wait and keep the client for ever.
    return AwaitReply(allowed, TNetDeadline::After(*m_clock, IdleTimeout));
}

std::int16_t TNetTCPConnection::AwaitReply(const TReplyCodes& allowed, const TNetDeadline& deadline) {
    m_replyDeadline = deadline;
    try {
        const std::int16_t code = readReply(allowed);
        m_replyDeadline.reset();
        return code;
    } catch (...) {
        m_replyDeadline.reset();
        throw;
    }
}

std::int16_t TNetTCPConnection::readReply(const TReplyCodes& allowed) {
    ReplyLines.clear();
    m_linesThisReply = 0;
    ReplyLines.push_back(ReadNonEmptyLine());
    const std::string& first = ReplyLines.front();
    if (first.size() > 3 && first[3] == '-') {
        // Only the line that starts with the code and a blank ends the reply; every line before it is
        // text, whatever it looks like. A welcome text sent as continuation lines may hold " ", " ***"
        // or " 220 x": the test is made on the line as received, before trimming.
        const std::string marker = first.substr(0, 3) + " ";
        for (;;) {
            const std::string received = readReplyLine();
            const bool last = received.size() >= 4 && EqualsIgnoringCase(received.substr(0, 4), marker);
            std::string line = TrimControl(received);
            if (!line.empty()) {
                ReplyLines.push_back(std::move(line));
            }
            if (last) {
                break;
            }
        }
    }
    ReplyCode = ReplyCodeOf(LastReplyLine());
    if (ReplyCode == 421) {
        // The server is closing the control connection: close it here too, or the owner would take the
        // session for open and fail later on a dead socket.
        CloseConnection();
    }
    if (!allows(allowed, ReplyCode)) {
        throw ENetProtocolReplyError(LastReplyLine(), ReplyCode);
    }
    return ReplyCode;
}

std::int16_t TNetTCPConnection::SendCommandLine(const std::string& text, const TReplyCodes& allowed) {
    WriteTextLine(text);
    return AwaitReply(allowed);
}

bool TNetTCPConnection::FailureReplyPending() const {
    std::string_view rest = PendingInput.View();
    for (;;) {
        const std::size_t end = rest.find('\n');
        if (end == std::string_view::npos) {
            return false;
        }
        const std::string line = TrimControl(std::string(rest.substr(0, end)));
        if (!line.empty()) {
            return ReplyCodeOf(line) >= 400;
        }
        rest.remove_prefix(end + 1);
    }
}

void TNetTCPConnection::ReceiveStream(TNetStream& stream, std::int64_t byteCount) {
    const bool untilClosed = byteCount < 0;
    m_streamBytes = 0;
    if (!untilClosed) {
        stream.SetSize(stream.Position() + byteCount);
    }
    StartWork(wkReceive, untilClosed ? 0 : byteCount);
    std::int64_t remaining = untilClosed ? INT64_MAX : byteCount;
    m_stream->SetReceivePiece(static_cast<std::size_t>(RecvBufferSize));
    try {
        if (!PendingInput.Empty()) {
            const auto n = static_cast<std::size_t>(std::min<std::int64_t>(remaining, PendingInput.Size()));
            stream.Write(PendingInput.View().data(), n);
            PendingInput.Remove(n);
            m_searchedBytes = 0;
            remaining -= static_cast<std::int64_t>(n);
            m_streamBytes += static_cast<std::int64_t>(n);
        }
        Source source(*this, remaining, untilClosed ? IfClosed::Return : IfClosed::Raise);
        stream.TakeFrom(source);
    } catch (...) {
        FinishWork(wkReceive);
        throw;
    }
    FinishWork(wkReceive);
    if (stream.Size() > stream.Position()) {
        stream.SetSize(stream.Position());
    }
}

void TNetTCPConnection::SendStream(TNetStream& stream, From from) {
    m_streamBytes = 0;
    if (from == From::Start) {
        stream.SetPosition(0);
    }
    const std::int64_t size = stream.Size();
    StartWork(wkSend, std::max<std::int64_t>(0, size - stream.Position()));
    try {
        m_stream->SetSendPiece(static_cast<std::size_t>(SendBufferSize));
        // A plain read and send per piece: measured here, it beats sendfile in pieces of this size.
        std::vector<char> chunk(static_cast<std::size_t>(SendBufferSize));
        for (;;) {
            const std::int64_t left = size - stream.Position();
            const auto n = static_cast<std::size_t>(std::min<std::int64_t>(left, SendBufferSize));
            if (left <= 0 || n == 0) {
                break;
            }
            const std::size_t got = stream.Read(chunk.data(), n);
            if (got == 0) {
                throw ENetNoDataToRead();
            }
            SendBytes(chunk.data(), static_cast<std::int64_t>(got));
            m_streamBytes += static_cast<std::int64_t>(got);
        }
    } catch (...) {
        FinishWork(wkSend);
        throw;
    }
    FinishWork(wkSend);
}

} // namespace net
