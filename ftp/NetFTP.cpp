#include "NetFTP.h"

#include <algorithm>

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
        throw ENetTlsHandshakeFailed(Host, TNetHandshakeProblem::ClearTextAfterAuth);
    }
    UseLayer(m_tls->Protect(Stream(), Host, TNetTlsUse::Control, Clock(), IdleTimeout));
}

void TNetFTP::protectDataConnection(TNetTCPConnection& data) {
    // The server's certificate is checked against the name of the session, not the address of the data.
    data.UseLayer(m_tls->Protect(data.Stream(), Host, TNetTlsUse::Data, Clock(), IdleTimeout));
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

void TNetFTP::DownloadToStream(const std::string& remoteName, TNetStream& stream) {
    CheckCommandArgument(remoteName);
    runTransfer("retr " + remoteName, stream, Direction::Download);
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

void TNetFTP::runTransfer(const std::string& command, TNetStream& stream, Direction direction) {
    m_lastTransferBytes = 0;
    if (m_tls && !m_dataProtected) {
        SendCommandLine("PBSZ 0", {200});
        SendCommandLine("PROT P", {200});
        m_dataProtected = true;
    }
    if (Passive) {
        runPassive(command, stream, direction);
    } else {
        runActive(command, stream, direction);
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
    if (direction == Direction::Download) {
        data.ReceiveStream(stream, -1);
    } else {
        data.SendStream(stream, from);
    }
}

void TNetFTP::runActive(const std::string& command, TNetStream& stream, Direction direction) {
    auto owned = std::make_unique<TNetSimpleServer>();
    TNetSimpleServer& server = *owned;
    m_dataConnection = std::move(owned);
    shareWorkHandlers(server);
    server.BoundIP = m_socket.IP;
    try {
        server.StartListening();
        SendCommandLine(FormatPortCommand(server.ListeningIP(), server.ListeningPort()), {200});
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

void TNetFTP::runPassive(const std::string& command, TNetStream& stream, Direction direction) {
    SendCommandLine("PASV", {227});
    const TPassiveEndpoint endpoint = ParsePassiveReply(LastReplyLine());
    WriteTextLine(command);
    auto owned = std::make_unique<TNetTCPClient>();
    TNetTCPClient& client = *owned;
    m_dataConnection = std::move(owned);
    shareWorkHandlers(client);
    // The announced address is not trusted: the data comes from the server we are talking to.
    client.Host = m_socket.RemoteAddress;
    client.Port = endpoint.Port;
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

void TNetFTP::awaitFinalReply() {
    if (AwaitReply({225, 226, 250, 426}) != 426) {
        return;
    }
    // Some servers follow a 426 with a 226; others end the transfer with the 426 alone, for example
    // when the file shrank while it was sent. Waiting the whole idle time-out for a 226 that never
    // comes would only keep the user waiting, so this wait is short.
    const std::chrono::milliseconds wait =
        IdleTimeout.count() > 0 ? std::min(IdleTimeout, kWaitAfterAbort) : kWaitAfterAbort;
    const ENetProtocolReplyError aborted(LastReplyLine(), ReplyCode);
    try {
        AwaitReply({226}, TNetDeadline::After(Clock(), wait));
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
