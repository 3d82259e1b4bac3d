#include "NetTCP.h"

#include "NetExceptions.h"
#include "NetReplies.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <climits>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace net {

namespace {

std::string formatStatus(TNetStatus status, const std::string& argument) {
    switch (status) {
    case stResolving: return "Resolving hostname " + argument + ".";
    case stConnecting: return "Connecting to " + argument + ".";
    case stConnected: return "Connected.";
    case stDisconnecting: return "Disconnecting from " + argument + ".";
    case stDisconnected: return "Not connected.";
    case stText: return argument;
    }
    return argument;
}

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
    for (;;) {
        received = ::recv(m_socket.Handle(), destination, capacity, 0);
        if (received >= 0) {
            break;
        }
        const int error = errno;
        if (error == EINTR) {
            continue;
        }
        if (error == EAGAIN || error == EWOULDBLOCK) {
            if (WaitForSocket(m_socket.Handle(), false, IdleTimeout) == TWaitResult::TimedOut) {
                if (intoPendingInput) {
                    PendingInput.Commit(0);
                }
                FailTimedOut();
            }
            continue;
        }
        if (intoPendingInput) {
            PendingInput.Commit(0);
        }
        const int number = WinsockErrorNumber(error);
        if (number == wsa::Shutdown) {
            CloseConnection();
            if (PendingInput.Empty()) {
                throw ENetSocketError(number);
            }
            received = 0;
            break;
        }
        throw ENetSocketError(number);
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
            const int error = errno;
            if (error == EINTR) {
                continue;
            }
            if (error == EAGAIN || error == EWOULDBLOCK) {
                if (WaitForSocket(m_socket.Handle(), true, IdleTimeout) == TWaitResult::TimedOut) {
                    FailTimedOut();
                }
                continue;
            }
            const int number = WinsockErrorNumber(error);
            if (number == wsa::Shutdown) {
                CloseConnection();
            }
            throw ENetSocketError(number);
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
                return line;
            }
            m_searchedBytes = buffered.size();
            if (buffered.size() > kMaxReplyLineLength) {
                CloseConnection();
                throw ENetReplyTooLong("Reply line longer than " + std::to_string(kMaxReplyLineLength) + " bytes.");
            }
            CheckPeerClosed(true, true);
        }
        if (ReceiveFromSocket(true, nullptr, 0, true) == 0) {
            LineWaitExpired = true;
            return std::string();
        }
    }
}

std::string TNetTCPConnection::ReadNonEmptyLine() {
    for (;;) {
        if (++m_linesThisReply > kMaxReplyLines) {
            CloseConnection();
            throw ENetReplyTooLong("Reply longer than " + std::to_string(kMaxReplyLines) + " lines.");
        }
        std::string line = TrimControl(ReadTextLine());
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
        const std::string marker = first.substr(0, 3) + " ";
        for (;;) {
            ReplyLines.push_back(ReadNonEmptyLine());
            const std::string& line = ReplyLines.back();
            if (line.size() < 4 || EqualsIgnoringCase(line.substr(0, 4), marker)) {
                break;
            }
        }
    }
    ReplyCode = ReplyCodeOf(LastReplyLine());
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
    try {
        if (!PendingInput.Empty()) {
            const auto n = static_cast<std::size_t>(std::min<std::int64_t>(remaining, PendingInput.Size()));
            stream.Write(PendingInput.View().data(), n);
            PendingInput.Remove(n);
            m_searchedBytes = 0;
            remaining -= static_cast<std::int64_t>(n);
            m_streamBytes += static_cast<std::int64_t>(n);
        }
        std::vector<char> chunk(static_cast<std::size_t>(RecvBufferSize));
        while (remaining >= 1 && IsConnected()) {
            const auto piece = static_cast<std::size_t>(std::min<std::int64_t>(remaining, RecvBufferSize));
            const std::size_t received = ReceiveFromSocket(!untilClosed, chunk.data(), piece, false);
            stream.Write(chunk.data(), received);
            remaining -= static_cast<std::int64_t>(received);
            m_streamBytes += static_cast<std::int64_t>(received);
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

void TNetTCPConnection::SendStream(TNetStream& stream, bool fromStart) {
    m_streamBytes = 0;
    if (fromStart) {
        stream.SetPosition(0);
    }
    const std::int64_t size = stream.Size();
    StartWork(wkSend, std::max<std::int64_t>(0, size - stream.Position()));
    try {
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
        m_socket.Bind(BoundIP, 0);
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
    const auto deadline = std::chrono::steady_clock::now() + IdleTimeout;
    try {
        while (!m_abortWait) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                throw ENetSocketError(wsa::TimedOut);
            }
            pollfd waits[2] = {{m_listener.Handle(), POLLIN, 0}, {-1, POLLIN, 0}};
            nfds_t count = 1;
            if (control != nullptr && control->Socket().IsOpen()) {
                waits[1].fd = control->Socket().Handle();
                count = 2;
            }
            const int ready = ::poll(waits, count, static_cast<int>(std::min<long long>(left.count(), INT_MAX)));
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
                if (control->FailureReplyPending()) {
                    control->AwaitReply({});
                    throw ENetProtocolReplyError(control->LastReplyLine(), control->ReplyCode);
                }
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
