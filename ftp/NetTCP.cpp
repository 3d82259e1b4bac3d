#include "NetTCP.h"

#include "NetExceptions.h"
#include "NetReplies.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>
#ifdef __linux__
#endif

namespace net {

namespace {

std::string formatStatus(TNetStatus status, const std::string& argument) {
    switch (status) {
    case stResolving:
        return "Resolving hostname " + argument + ".";
    case stConnecting:
        return "Connecting to " + argument + ".";
    case stConnected:
        return "Connected.";
    case stDisconnecting:
        return "Disconnecting from " + argument + ".";
    case stDisconnected:
        return "Not connected.";
    case stText:
        return argument;
    }
    return argument;
}

#ifdef __linux__
// A pipe for moving received pages into a file without copying them through user memory.
class Pipe {
public:
    Pipe() {
        if (::pipe2(m_fds, O_CLOEXEC | O_NONBLOCK) != 0) {
            m_fds[0] = m_fds[1] = -1;
        }
    }
    ~Pipe() {
        for (int fd : m_fds) {
            if (fd >= 0) {
                ::close(fd);
            }
        }
    }
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;
    bool valid() const { return m_fds[0] >= 0; }
    int readEnd() const { return m_fds[0]; }
    int writeEnd() const { return m_fds[1]; }

private:
    int m_fds[2];
};

[[noreturn]] void raiseFileWriteError() {
    throw EFileError(std::string("Cannot write file: ") + std::strerror(errno));
}
#endif

bool allows(const TReplyCodes& allowed, std::int16_t code) {
    return allowed.empty() || std::find(allowed.begin(), allowed.end(), code) != allowed.end();
}

} // namespace

// ---- TNetComponent ----

void TNetComponent::StartWork(TWorkMode mode, std::int64_t expected) {
    TWorkRecord& work = m_work[mode];
    if (++work.Nesting == 1) {
        work.Expected = expected;
        work.Progress = 0;
        if (OnWorkBegin) {
            OnWorkBegin(*this, mode, expected);
        }
    }
}

void TNetComponent::AddWork(TWorkMode mode, std::int64_t count) {
    TWorkRecord& work = m_work[mode];
    if (work.Nesting > 0) {
        work.Progress += count;
        if (OnWork) {
            OnWork(*this, mode, work.Progress);
        }
    }
}

void TNetComponent::FinishWork(TWorkMode mode) {
    TWorkRecord& work = m_work[mode];
    if (work.Nesting == 1 && OnWorkEnd) {
        OnWorkEnd(*this, mode);
    }
    if (work.Nesting > 0) {
        --work.Nesting;
    }
}

void TNetComponent::ReportStatus(TNetStatus status, const std::string& argument) {
    if (OnStatus) {
        OnStatus(*this, status, formatStatus(status, argument));
    }
}

// ---- TNetTCPConnection ----

void TNetTCPConnection::ResetForOpen() {
    m_socket.Reset(true);
    PendingInput.Clear();
    ClosedByPeer = false;
    m_searchedBytes = 0;
}

void TNetTCPConnection::FailTimedOut() {
    // The conversation's state is unknown after a silent peer: close rather than leave it half-open.
    CloseConnection();
    throw ENetSocketError(wsa::TimedOut);
}

void TNetTCPConnection::CheckPeerClosed(bool raiseIfClosed, bool ignoreBuffered) {
    if (ClosedByPeer || !m_socket.IsOpen()) {
        CloseConnection();
        if (raiseIfClosed && (ignoreBuffered || PendingInput.Empty())) {
            throw ENetConnClosedGracefully();
        }
    }
}

bool TNetTCPConnection::IsConnected() {
    CheckPeerClosed(false, false);
    return m_socket.IsOpen();
}

void TNetTCPConnection::CloseConnection() {
    if (!m_socket.IsOpen()) {
        return;
    }
    ReportStatus(stDisconnecting, m_socket.RemoteAddress);
    m_socket.Close();
    ClosedByPeer = true;
    ReportStatus(stDisconnected, std::string());
    if (OnDisconnected) {
        OnDisconnected(*this);
    }
}

bool TNetTCPConnection::retryAfterReceiveError(int error) {
    if (error == EINTR) {
        return true;
    }
    if (error == EAGAIN || error == EWOULDBLOCK) {
        if (WaitForSocket(m_socket.Handle(), false, IdleTimeout) == TWaitResult::TimedOut) {
            // A receive low-water mark keeps a trickle below it from waking the wait; bytes that did
            // arrive still count as a live server.
            int available = 0;
            if (::ioctl(m_socket.Handle(), FIONREAD, &available) == 0 && available > 0) {
                return true;
            }
            FailTimedOut();
        }
        return true;
    }
    const int number = WinsockErrorNumber(error);
    if (number == wsa::Shutdown) {
        CloseConnection();
        if (PendingInput.Empty()) {
            throw ENetSocketError(number);
        }
        return false;
    }
    throw ENetSocketError(number);
}

void TNetTCPConnection::retryAfterSendError(int error) {
    if (error == EINTR) {
        return;
    }
    if (error == EAGAIN || error == EWOULDBLOCK) {
        if (WaitForSocket(m_socket.Handle(), true, IdleTimeout) == TWaitResult::TimedOut) {
            FailTimedOut();
        }
        return;
    }
    const int number = WinsockErrorNumber(error);
    if (number == wsa::Shutdown) {
        CloseConnection();
    }
    throw ENetSocketError(number);
}

std::size_t TNetTCPConnection::ReceiveFromSocket(bool raiseIfClosed, char* target, std::size_t capacity,
                                                 bool intoPendingInput) {
    CheckPeerClosed(raiseIfClosed, false);
    if (!IsConnected()) {
        return 0;
    }
    char* destination = target;
    if (intoPendingInput) {
        capacity = static_cast<std::size_t>(RecvBufferSize);
        destination = PendingInput.Reserve(capacity);
    } else if (destination == nullptr) {
        m_scratch.resize(static_cast<std::size_t>(RecvBufferSize));
        destination = m_scratch.data();
        capacity = m_scratch.size();
    }
    ssize_t received = 0;
    try {
        for (;;) {
            received = ::recv(m_socket.Handle(), destination, capacity, 0);
            if (received >= 0) {
                break;
            }
            if (!retryAfterReceiveError(errno)) {
                received = 0;
                break;
            }
        }
    } catch (...) {
        if (intoPendingInput) {
            PendingInput.Commit(0);
        }
        throw;
    }
    ClosedByPeer = received == 0;
    if (intoPendingInput) {
        PendingInput.Commit(static_cast<std::size_t>(received));
    } else if (received > 0) {
        AddWork(wkReceive, received);
    }
    CheckPeerClosed(raiseIfClosed, false);
    return static_cast<std::size_t>(received);
}

void TNetTCPConnection::SendBytes(const char* data, std::int64_t count) {
    if (count <= 0) {
        return;
    }
    CheckPeerClosed(true, true);
    while (count > 0) {
        const ssize_t sent = ::send(m_socket.Handle(), data, static_cast<std::size_t>(count), MSG_NOSIGNAL);
        if (sent < 0) {
            retryAfterSendError(errno);
            continue;
        }
        ClosedByPeer = sent == 0;
        CheckPeerClosed(true, false);
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
            CheckPeerClosed(true, true);
        }
        if (ReceiveFromSocket(true, nullptr, 0, true) == 0) {
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
    // Wake for a whole piece, not for every packet: on a fast link, waking per packet costs more
    // CPU than the copy itself. The idle time-out still sees bytes below the mark (see below).
    const int lowWater = RecvBufferSize;
    ::setsockopt(m_socket.Handle(), SOL_SOCKET, SO_RCVLOWAT, &lowWater, sizeof lowWater);
    try {
        if (!PendingInput.Empty()) {
            const auto n = static_cast<std::size_t>(std::min<std::int64_t>(remaining, PendingInput.Size()));
            stream.Write(PendingInput.View().data(), n);
            PendingInput.Remove(n);
            m_searchedBytes = 0;
            remaining -= static_cast<std::int64_t>(n);
            m_streamBytes += static_cast<std::int64_t>(n);
        }
        if (!receiveIntoFile(stream, remaining, !untilClosed)) {
            // Pieces are received one by one but written in batches: one write per piece costs a system
            // call each and buys nothing, as the file is only looked at when the transfer ends.
            const auto pieceSize = static_cast<std::size_t>(RecvBufferSize);
            std::vector<char> batch(std::max(kWriteBatch, pieceSize));
            std::size_t filled = 0;
            try {
                while (remaining >= 1 && IsConnected()) {
                    if (batch.size() - filled < pieceSize) {
                        stream.Write(batch.data(), filled);
                        filled = 0;
                    }
                    const auto piece = static_cast<std::size_t>(std::min<std::int64_t>(remaining, RecvBufferSize));
                    const std::size_t received = ReceiveFromSocket(!untilClosed, batch.data() + filled, piece, false);
                    filled += received;
                    remaining -= static_cast<std::int64_t>(received);
                    m_streamBytes += static_cast<std::int64_t>(received);
                }
            } catch (...) {
                stream.Write(batch.data(), filled); // what was received stays
                throw;
            }
            stream.Write(batch.data(), filled);
        }
    } catch (...) {
        FinishWork(wkReceive);
        throw;
    }
    FinishWork(wkReceive);
    if (stream.Size() > stream.Position()) {
        stream.SetSize(stream.Position());
    }
}

bool TNetTCPConnection::receiveIntoFile(TNetStream& stream, std::int64_t& remaining, bool raiseIfClosed) {
#ifdef __linux__
    if (stream.NativeHandle() < 0) {
        return false;
    }
    Pipe pipe;
    if (!pipe.valid()) {
        return false;
    }
    // Pieces move from the socket into the pipe one by one, and from the pipe into the file in batches.
    const int capacity = ::fcntl(pipe.writeEnd(), F_SETPIPE_SZ, static_cast<int>(kWriteBatch));
    if (capacity < 4 * RecvBufferSize) {
        return false;
    }
    const auto drainAt = static_cast<std::size_t>(capacity / 2);
    std::size_t inPipe = 0;
    const auto drain = [&] {
        loff_t offset = stream.Position();
        while (inPipe > 0) {
            const ssize_t written =
                ::splice(pipe.readEnd(), nullptr, stream.NativeHandle(), &offset, inPipe, SPLICE_F_MOVE);
            if (written <= 0) {
                if (written < 0 && errno == EINTR) {
                    continue;
                }
                raiseFileWriteError();
            }
            inPipe -= static_cast<std::size_t>(written);
            stream.SetPosition(offset);
        }
    };
    try {
        while (remaining >= 1 && IsConnected()) {
            CheckPeerClosed(raiseIfClosed, false);
            const auto piece = static_cast<std::size_t>(std::min<std::int64_t>(remaining, RecvBufferSize));
            if (inPipe >= drainAt) {
                drain();
            }
            ssize_t received = 0;
            for (;;) {
                received = ::splice(m_socket.Handle(), nullptr, pipe.writeEnd(), nullptr, piece,
                                    SPLICE_F_MOVE | SPLICE_F_NONBLOCK);
                if (received >= 0) {
                    break;
                }
                if ((errno == EAGAIN || errno == EWOULDBLOCK) && inPipe > 0) {
                    drain(); // the pipe may be full; otherwise this is time spent waiting anyway
                    continue;
                }
                if (!retryAfterReceiveError(errno)) {
                    received = 0;
                    break;
                }
            }
            ClosedByPeer = received == 0;
            if (received > 0) {
                inPipe += static_cast<std::size_t>(received);
                remaining -= received;
                m_streamBytes += received;
                AddWork(wkReceive, received);
            }
            CheckPeerClosed(raiseIfClosed, false);
        }
    } catch (...) {
        drain();
        throw;
    }
    drain();
    return true;
#else
    (void)stream;
    (void)remaining;
    (void)raiseIfClosed;
    return false;
#endif
}

void TNetTCPConnection::SendStream(TNetStream& stream, bool fromStart) {
    m_streamBytes = 0;
    if (fromStart) {
        stream.SetPosition(0);
    }
    const std::int64_t size = stream.Size();
    StartWork(wkSend, std::max<std::int64_t>(0, size - stream.Position()));
    try {
        // Keep at most one piece queued unsent. Otherwise the receiver's window updates make its own
        // context transmit our backlog, which slows the side that is usually the bottleneck. Bytes in
        // flight do not count, so a long link still fills.
        const int unsentLimit = SendBufferSize;
        ::setsockopt(m_socket.Handle(), IPPROTO_TCP, TCP_NOTSENT_LOWAT, &unsentLimit, sizeof unsentLimit);
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

// ---- TNetTCPClient ----

void TNetTCPClient::OpenConnection() {
    if (m_socket.IsOpen()) {
        throw ENetAlreadyConnected();
    }
    ResetForOpen();
    m_socket.Allocate();
    try {
        // Without a local address connect picks the port itself, which is cheaper than a bind to port 0.
        if (!BoundIP.empty()) {
            m_socket.Bind(BoundIP, 0);
        }
        if (!LooksLikeIPv4(Host)) {
            ReportStatus(stResolving, Host);
        }
        const std::string address = ResolveHostAddress(Host);
        if (!UseNagle) {
            const int on = 1;
            ::setsockopt(m_socket.Handle(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        }
        ReportStatus(stConnecting, address);
        m_socket.Connect(address, Port, IdleTimeout);
    } catch (...) {
        try {
            CloseConnection();
        } catch (...) {
        }
        throw;
    }
    ReportStatus(stConnected, m_socket.RemoteAddress);
    if (OnConnected) {
        OnConnected(*this);
    }
}

// ---- TNetSimpleServer ----

void TNetSimpleServer::StartListening() {
    ResetForOpen();
    m_abortWait = false;
    m_listening = false;
    if (!m_listener.IsOpen()) {
        m_listener.Allocate();
        try {
            m_listener.Bind(BoundIP, BoundPort);
            m_listener.Listen(1);
        } catch (...) {
            m_listener.Reset(true);
            throw;
        }
    }
    m_listening = true;
}

void TNetSimpleServer::stopListening() {
    m_listener.Reset(false);
    m_listening = false;
}

void TNetSimpleServer::WaitForPeer(TNetTCPConnection* control, const std::string& acceptFrom) {
    if (!m_listening) {
        StartListening();
    }
    const bool limited = IdleTimeout.count() > 0;
    const auto deadline = std::chrono::steady_clock::now() + IdleTimeout;
    // Ends the wait when control holds a failure reply, or more than any reply could be.
    const auto checkControl = [control] {
        if (control->FailureReplyPending()) {
            control->AwaitReply({});
            throw ENetProtocolReplyError(control->LastReplyLine(), control->ReplyCode);
        }
        if (control->PendingInput.Size() > kMaxReplyLineLength) {
            control->CloseConnection();
            throw ENetReplyTooLong("Reply longer than " + std::to_string(kMaxReplyLineLength) +
                                   " bytes while waiting for the data connection.");
        }
    };
    try {
        if (control != nullptr) {
            checkControl(); // a refusal may have come together with the preliminary reply
        }
        while (!m_abortWait) {
            auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (!limited) {
                left = std::chrono::milliseconds(-1);
            } else if (left.count() <= 0) {
                throw ENetSocketError(wsa::TimedOut);
            }
            pollfd waits[2] = {{m_listener.Handle(), POLLIN, 0}, {-1, POLLIN, 0}};
            nfds_t count = 1;
            if (control != nullptr && control->Socket().IsOpen()) {
                waits[1].fd = control->Socket().Handle();
                count = 2;
            }
            const int ready = ::poll(waits, count, static_cast<int>(std::min<long long>(left.count(), INT_MAX)));
            // (-1 waits without limit.)
            if (ready < 0) {
                if (errno == EINTR) {
                    continue;
                }
                throw ENetSocketError(WinsockErrorNumber(errno));
            }
            if (ready == 0) {
                continue;
            }
            if (waits[0].revents != 0) {
                sockaddr_in peer{};
                socklen_t length = sizeof peer;
                const int fd = ::accept4(m_listener.Handle(), reinterpret_cast<sockaddr*>(&peer), &length,
                                         SOCK_NONBLOCK | SOCK_CLOEXEC);
                if (fd < 0) {
                    const int error = errno;
                    if (error == EINTR || error == EAGAIN || error == EWOULDBLOCK || error == ECONNABORTED) {
                        continue;
                    }
                    throw ENetSocketError(WinsockErrorNumber(error));
                }
                char text[INET_ADDRSTRLEN] = {};
                inet_ntop(AF_INET, &peer.sin_addr, text, sizeof text);
                if (!acceptFrom.empty() && acceptFrom != text) {
                    // Only the server we talk to may deliver the data.
                    ::close(fd);
                    continue;
                }
                m_socket.Adopt(fd);
                ClosedByPeer = false;
                break;
            }
            if (count == 2 && waits[1].revents != 0) {
                control->ReceiveFromSocket(false, nullptr, 0, true);
                checkControl();
                if (!control->IsConnected()) {
                    throw ENetConnClosedGracefully();
                }
            }
        }
    } catch (...) {
        stopListening();
        throw;
    }
    stopListening();
}

} // namespace net
