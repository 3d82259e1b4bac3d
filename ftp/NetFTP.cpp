#include "NetFTP.h"

#include <algorithm>
#include <thread>

namespace net {

TNetFTP::TNetFTP() {
    Port = 21;
}

TNetFTP::~TNetFTP() {
    OnDisconnected = nullptr;
    OnStatus = nullptr;
    m_dataConnection.reset();
    CloseConnection();
}

void TNetFTP::SetTransferType(TNetFTPTransferType type) {
    if (type == TransferType || m_dataConnection) {
        return;
    }
    TransferType = type;
    if (IsConnected()) {
        ApplyTransferType();
    }
}

std::string TNetFTP::typeCommand() const {
    return TransferType == ftASCII ? "type A" : "type I";
}

void TNetFTP::ApplyTransferType() {
    SendCommandLine(typeCommand(), {200});
}

void TNetFTP::OpenSession(bool autoLogin) {
    try {
        if (autoLogin) {
            CheckCommandArgument(User);
            CheckCommandArgument(Password);
        }
        // Made before connecting: without TLS in this build, or with an unreadable CA file, nothing is sent.
        m_tls = UseTLS ? MakeTlsClient({TLSCAFile}) : nullptr;
        m_dataProtected = false;
        m_features.reset();
        m_extendedPassiveRefused = false;
        OpenConnection();
        AwaitReply({220});
        if (m_tls) {
            startTls();
        }
        if (autoLogin) {
            if (SendCommandLine("user " + User, {230, 331}) == 331) {
                SendCommandLine("pass " + Password, {230});
            }
            // "type" and "syst" go out together, after the protection of the data when the session has TLS:
            // one round trip less per session, and a refusal fails the session (closing it) whatever the
            // server makes of the commands after it.
            std::string lines = m_tls ? "PBSZ 0\r\nPROT P\r\n" : "";
            lines += typeCommand() + "\r\nsyst\r\n";
            SendBytes(lines.data(), static_cast<std::int64_t>(lines.size()));
            if (m_tls) {
                AwaitReply({200});
                AwaitReply({200});
                m_dataProtected = true;
            }
            AwaitReply({200});
            if (AwaitReply({200, 215, 500}) == 500) {
                SystemText = "Unknown";
            } else {
                SystemText = LastReplyLine().size() > 3 ? LastReplyLine().substr(3) : std::string();
            }
        }
    } catch (...) {
        try {
            CloseConnection();
        } catch (...) {
        }
        throw;
    }
}

void TNetFTP::startTls() {
    const std::int16_t code = SendCommandLine("AUTH TLS", {});
    if (code != 234) {
        if (code >= 500) {
            throw ENetTlsNotOffered(LastReplyLine(), code);
        }
        throw ENetProtocolReplyError(LastReplyLine(), code);
    }
    // The handshake starts right after the acceptance. Clear text that came with it would be read as if it
    // had been protected: a stranger on the way could put replies in the server's mouth.
    if (!PendingInput.Empty()) {
        throw ENetTlsHandshakeFailed(peerName(), TNetHandshakeProblem::ClearTextAfterAuth);
    }
    UseLayer(m_tls->Protect(Stream(), peerName(), TNetTlsUse::Control, Clock(), IdleTimeout));
}

void TNetFTP::protectDataConnection(TNetTCPConnection& data) {
    // The server's certificate is checked against the name of the session, not the address of the data.
    data.UseLayer(m_tls->Protect(data.Stream(), peerName(), TNetTlsUse::Data, Clock(), IdleTimeout));
}

std::int64_t TNetFTP::QueryFileSize(const std::string& remoteName) {
    CheckCommandArgument(remoteName);
    if (SendCommandLine("SIZE " + remoteName, {}) != 213) {
        return -1;
    }
    const std::int64_t size = ParseSizeReply(ReplyLines);
    if (size < 0) {
        throw ENetInvalidSizeReply(LastReplyLine());
    }
    return size;
}

void TNetFTP::DownloadFile(const std::string& remoteName, const std::string& localPath, bool canOverwrite) {
    CheckCommandArgument(remoteName);
    if (!canOverwrite && LocalFileExists(localPath)) {
        throw ENetFTPFileAlreadyExists();
    }
    TNetFileStream file(localPath, TFileMode::CreateForWriting);
    DownloadToStream(remoteName, file);
}

void TNetFTP::DownloadToStream(const std::string& remoteName, TNetStream& stream, std::int64_t restartAt) {
    CheckCommandArgument(remoteName);
    runTransfer("retr " + remoteName, stream, Direction::Download, restartAt);
}

const std::vector<std::string>& TNetFTP::Features() {
    if (!m_features) {
        m_features = SendCommandLine("FEAT", {}) == 211 ? ParseFeatureReply(ReplyLines) : std::vector<std::string>();
    }
    return *m_features;
}

std::string TNetFTP::QueryModificationTime(const std::string& remoteName) {
    CheckCommandArgument(remoteName);
    if (SendCommandLine("MDTM " + remoteName, {}) != 213) {
        return std::string();
    }
    return TrimControl(LastReplyLine().substr(3));
}

void TNetFTP::DownloadContinuing(const std::string& remoteName, TNetStream& stream, std::int64_t size) {
    CheckCommandArgument(remoteName);
    const std::int64_t start = stream.Position();
    // Asked before the first byte: a file that changes later, even during this download, is then noticed.
    const bool continuable = size >= 0 && DownloadRetries > 0 && HasFeature(Features(), "REST STREAM");
    const std::string modified =
        continuable && HasFeature(Features(), "MDTM") ? QueryModificationTime(remoteName) : std::string();
    // A transfer ended with 426 goes on in a new session anyway: waiting for a 226 after it would only delay.
    m_abortEndsTransfer = continuable;
    const struct Restore {
        bool& flag;
        ~Restore() { flag = false; }
    } restore{m_abortEndsTransfer};
    for (int retry = 1;; ++retry) {
        const std::int64_t from = stream.Position();
        std::exception_ptr failure;
        bool aborted = false;
        try {
            DownloadToStream(remoteName, stream, from - start);
        } catch (const ENetProtocolReplyError& error) {
            failure = std::current_exception();
            aborted = error.code() == 426;
        } catch (...) {
            failure = std::current_exception();
        }
        // Without a failure the caller sees what came, whole or short.
        if (!failure) {
            return;
        }
        // When every byte came, a 426 is no reason to fetch any again; a 226 may still follow it.
        if (aborted && continuable && stream.Position() - start == size) {
            try {
                AwaitReply({226}, TNetDeadline::After(Clock(), waitAfterAbort()));
            } catch (const ENetException&) {
            }
            return;
        }
        if (!continuable || m_transferBreak.empty() || stream.Position() == from || retry > DownloadRetries) {
            std::rethrow_exception(failure);
        }
        if (OnRetry) {
            OnRetry(retry, stream.Position() - start, m_transferBreak);
        }
        reopenToContinue(remoteName, size, modified);
    }
}

void TNetFTP::reopenToContinue(const std::string& remoteName, std::int64_t size, const std::string& modified) {
    // The old session may still wait for the end of the broken transfer: a new one starts clean.
    CloseConnection();
    if (RetryPause.count() > 0) {
        std::this_thread::sleep_for(RetryPause);
    }
    OpenSession(true);
    if (!HasFeature(Features(), "REST STREAM")) {
        throw ENetDownloadNotContinued("the server no longer offers REST STREAM");
    }
    if (QueryFileSize(remoteName) != size || (!modified.empty() && QueryModificationTime(remoteName) != modified)) {
        throw ENetDownloadNotContinued("the file on the server has changed");
    }
}

void TNetFTP::UploadFile(const std::string& localPath, const std::string& remoteName, bool append) {
    CheckCommandArgument(remoteName);
    TNetFileStream file(localPath, TFileMode::OpenForReading);
    UploadFromStream(file, remoteName, append);
}

void TNetFTP::UploadFromStream(TNetStream& stream, const std::string& remoteName, bool append) {
    CheckCommandArgument(remoteName);
    std::string command;
    if (remoteName.empty()) {
        command = "STOU ";
    } else {
        command = (append ? "APPE " : "STOR ") + remoteName;
    }
    runTransfer(command, stream, Direction::Upload);
}

void TNetFTP::runTransfer(const std::string& command, TNetStream& stream, Direction direction, std::int64_t restartAt) {
    m_lastTransferBytes = 0;
    m_transferBreak.clear();
    if (m_tls && !m_dataProtected) {
        SendCommandLine("PBSZ 0", {200});
        SendCommandLine("PROT P", {200});
        m_dataProtected = true;
    }
    if (Passive) {
        runPassive(command, stream, direction, restartAt);
    } else {
        runActive(command, stream, direction, restartAt);
    }
}

void TNetFTP::shareWorkHandlers(TNetTCPConnection& data) const {
    data.OnWork = OnWork;
    data.OnWorkBegin = OnWorkBegin;
    data.OnWorkEnd = OnWorkEnd;
    data.IdleTimeout = IdleTimeout;
    data.RecvBufferSize = RecvBufferSize;
    data.SendBufferSize = SendBufferSize;
    data.SetClock(Clock());
}

void TNetFTP::releaseDataConnection() {
    if (m_dataConnection) {
        m_lastTransferBytes = m_dataConnection->StreamBytes();
        m_dataConnection.reset();
    }
}

void TNetFTP::moveData(TNetTCPConnection& data, TNetStream& stream, Direction direction, From from) {
    try {
        if (direction == Direction::Download) {
            data.ReceiveStream(stream, -1);
        } else {
            data.SendStream(stream, from);
        }
    } catch (...) {
        noteBreakAndRethrow();
    }
}

void TNetFTP::noteBreakAndRethrow() {
    try {
        throw;
    } catch (const ENetSocketError& error) {
        const int n = error.number();
        if (n == wsa::ConnectionReset || n == wsa::ConnectionAborted || n == wsa::TimedOut) {
            m_transferBreak = error.what();
        }
        throw;
    } catch (const ENetTlsBroken& error) {
        m_transferBreak = error.what();
        throw;
    }
}

std::int32_t TNetFTP::requestPassivePort() {
    const bool overIPv6 = FamilyOf(m_socket.RemoteAddress) == TNetFamily::IPv6;
    if (!m_extendedPassiveRefused) {
        const std::int16_t code = SendCommandLine("EPSV", {});
        if (code == 229) {
            return ParseExtendedPassiveReply(LastReplyLine());
        }
        // PASV can only name an IPv4 address: over IPv6 a refusal is the end.
        if (overIPv6 || code < 500) {
            throw ENetProtocolReplyError(LastReplyLine(), code);
        }
        m_extendedPassiveRefused = true;
    }
    SendCommandLine("PASV", {227});
    return ParsePassiveReply(LastReplyLine()).Port;
}

void TNetFTP::announceRestart(std::int64_t restartAt) {
    if (restartAt > 0) {
        SendCommandLine("REST " + std::to_string(restartAt), {350});
    }
}

void TNetFTP::runActive(const std::string& command, TNetStream& stream, Direction direction, std::int64_t restartAt) {
    auto owned = std::make_unique<TNetSimpleServer>();
    TNetSimpleServer& server = *owned;
    m_dataConnection = std::move(owned);
    shareWorkHandlers(server);
    server.BoundIP = m_socket.IP;
    try {
        server.StartListening();
        const bool overIPv6 = FamilyOf(server.ListeningIP()) == TNetFamily::IPv6;
        SendCommandLine(overIPv6 ? FormatExtendedPortCommand(server.ListeningIP(), server.ListeningPort())
                                 : FormatPortCommand(server.ListeningIP(), server.ListeningPort()),
                        {200});
        announceRestart(restartAt);
        SendCommandLine(command, {125, 150});
        server.WaitForPeer(this, m_socket.RemoteAddress);
        // The server connected, but the client is still the TLS client on the connection.
        if (m_tls) {
            protectDataConnection(server);
        }
        moveData(server, stream, direction, From::Start);
        // Closing the data connection tells the server that an upload is complete.
        server.CloseConnection();
    } catch (...) {
        releaseDataConnection();
        throw;
    }
    releaseDataConnection();
    awaitFinalReply();
}

void TNetFTP::runPassive(const std::string& command, TNetStream& stream, Direction direction, std::int64_t restartAt) {
    const std::int32_t port = requestPassivePort();
    announceRestart(restartAt);
    WriteTextLine(command);
    auto owned = std::make_unique<TNetTCPClient>();
    TNetTCPClient& client = *owned;
    m_dataConnection = std::move(owned);
    shareWorkHandlers(client);
    // The announced address is not trusted: the data comes from the server we are talking to.
    client.Host = m_socket.RemoteAddress;
    client.Port = port;
    try {
        client.OpenConnection();
        if (direction == Direction::Download) {
            AwaitReply({125, 150});
        } else {
            AwaitReply({110, 125, 150});
        }
        if (m_tls) {
            protectDataConnection(client);
        }
        try {
            moveData(client, stream, direction, From::Position);
        } catch (const ENetSocketError& error) {
            if (direction == Direction::Download || error.number() != wsa::NotSocket) {
                throw;
            }
        }
        client.CloseConnection();
    } catch (...) {
        releaseDataConnection();
        throw;
    }
    releaseDataConnection();
    awaitFinalReply();
}

std::chrono::milliseconds TNetFTP::waitAfterAbort() const {
    return IdleTimeout.count() > 0 ? std::min(IdleTimeout, kWaitAfterAbort) : kWaitAfterAbort;
}

void TNetFTP::awaitFinalReply() {
    if (AwaitReply({225, 226, 250, 426}) != 426) {
        return;
    }
    m_transferBreak = LastReplyLine();
    if (m_abortEndsTransfer) {
        throw ENetProtocolReplyError(LastReplyLine(), ReplyCode);
    }
    // Some servers follow a 426 with a 226; others end the transfer with the 426 alone, for example
    // when the file shrank while it was sent. Waiting the whole idle time-out for a 226 that never
    // comes would only keep the user waiting, so this wait is short.
    const ENetProtocolReplyError aborted(LastReplyLine(), ReplyCode);
    try {
        AwaitReply({226}, TNetDeadline::After(Clock(), waitAfterAbort()));
    } catch (const ENetSocketError& error) {
        // The server's own words say more than the time-out of a wait for what it never meant to send.
        if (error.number() != wsa::TimedOut) {
            throw;
        }
        throw aborted;
    } catch (const ENetConnClosedGracefully&) {
        throw aborted;
    }
}

} // namespace net
