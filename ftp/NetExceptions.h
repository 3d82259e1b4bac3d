// The FTP client's exceptions. Every failure of the client is one of these; each cause keeps its own
// message, and one base class keeps catch sites simple.
#pragma once

#include "NetSocketErrors.h"

#include <cstdint>
#include <stdexcept>
#include <string>

namespace net {

class ENetException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Raised for conditions a caller usually treats as the normal end of a conversation.
class ENetSilentException : public ENetException {
public:
    using ENetException::ENetException;
};

class ENetConnClosedGracefully : public ENetSilentException {
public:
    ENetConnClosedGracefully() : ENetSilentException("Connection Closed Gracefully.") {}
};

// A reply code the command does not accept; the message is the reply's last line.
class ENetProtocolReplyError : public ENetException {
public:
    ENetProtocolReplyError(const std::string& lastReplyLine, std::int16_t code)
        : ENetException(lastReplyLine), m_code(code) {}
    std::int16_t code() const { return m_code; }

private:
    std::int16_t m_code;
};

// "Socket Error # n" CR LF text, with Windows Sockets numbers on every platform.
class ENetSocketError : public ENetException {
public:
    explicit ENetSocketError(int number) : ENetException(SocketErrorText(number)), m_number(number) {}
    int number() const { return m_number; }

private:
    int m_number;
};

class ENetAlreadyConnected : public ENetException {
public:
    ENetAlreadyConnected() : ENetException("Already connected.") {}
};

class ENetInvalidSocket : public ENetException {
public:
    ENetInvalidSocket() : ENetException("Cannot allocate socket.") {}
};

class ENetSocketHandleError : public ENetException {
public:
    using ENetException::ENetException;
};

class ENetCouldNotBindSocket : public ENetSocketHandleError {
public:
    ENetCouldNotBindSocket() : ENetSocketHandleError("Could not bind socket. Address and port are already in use.") {}
};

class ENetTCPConnectionError : public ENetException {
public:
    using ENetException::ENetException;
};

class ENetNotEnoughDataInBuffer : public ENetTCPConnectionError {
public:
    ENetNotEnoughDataInBuffer() : ENetTCPConnectionError("Not enough data in buffer.") {}
};

// A control line or reply beyond any sane size; raised instead of buffering without end.
class ENetReplyTooLong : public ENetTCPConnectionError {
public:
    using ENetTCPConnectionError::ENetTCPConnectionError;
};

class ENetStackError : public ENetException {
public:
    using ENetException::ENetException;
};

class ENetStackCanNotLoadWinsock : public ENetException {
public:
    explicit ENetStackCanNotLoadWinsock(const std::string& library)
        : ENetException(library + " could not be loaded.") {}
};

class ENetStackInitializationFailed : public ENetStackError {
public:
    ENetStackInitializationFailed() : ENetStackError("Winsock Initialization Error.") {}
};

class ENetFTPFileAlreadyExists : public ENetException {
public:
    ENetFTPFileAlreadyExists() : ENetException("Destination file already exists.") {}
};

class ENetNoDataToRead : public ENetException {
public:
    ENetNoDataToRead() : ENetException("No data to read.") {}
};

// A command argument holding CR, LF or NUL, which would smuggle further commands to the server.
class ENetUnsafeArgument : public ENetException {
public:
    ENetUnsafeArgument() : ENetException("Command argument holds a line break or NUL character.") {}
};

// A PASV reply announcing an endpoint outside the ranges of IPv4 and TCP.
class ENetInvalidPassiveEndpoint : public ENetException {
public:
    explicit ENetInvalidPassiveEndpoint(const std::string& replyLine)
        : ENetException("Invalid data endpoint in reply: " + replyLine) {}
};

// A broken download that may not go on: the file on the server is no longer the one whose first part the
// local file holds, or the server no longer offers to continue. What arrived stays as it is.
class ENetDownloadNotContinued : public ENetException {
public:
    explicit ENetDownloadNotContinued(const std::string& why)
        : ENetException("The download cannot be continued: " + why) {}
};

// A 213 reply to SIZE that holds no size ("213 -1", "213 lots"): neither the size nor "no size".
class ENetInvalidSizeReply : public ENetException {
public:
    explicit ENetInvalidSizeReply(const std::string& replyLine)
        : ENetException("Invalid file size in reply: " + replyLine) {}
};

// Every failure to protect a session or one of its connections with TLS. A protected session never goes on
// in clear text: whatever fails before the login ends the session before the user name is sent.
class ENetTlsError : public ENetException {
public:
    ENetTlsError(const std::string& message, std::string reason)
        : ENetException(message), m_reason(std::move(reason)) {}
    // The cause as the server or the TLS library gave it, without the client's words around it.
    const std::string& reason() const { return m_reason; }

private:
    std::string m_reason;
};

// The server refused AUTH TLS (a 5xx reply): it offers no TLS, or not on this port.
class ENetTlsNotOffered : public ENetTlsError {
public:
    ENetTlsNotOffered(const std::string& replyLine, std::int16_t code)
        : ENetTlsError("Server refused AUTH TLS: " + replyLine, replyLine), m_code(code) {}
    std::int16_t code() const { return m_code; }

private:
    std::int16_t m_code;
};

// Why a handshake failed, where the client knows it better than the TLS library's reason says.
enum class TNetHandshakeProblem {
    ServerClosed,       // the server hung up during the handshake
    ServerReset,        // the server reset the connection during the handshake
    ServerSilent,       // the server did not answer within the idle time-out
    ClearTextAfterAuth, // the server sent clear text after accepting AUTH TLS
    Other,              // the TLS library's reason: an alert, no common protocol version or cipher
};

// The reason of a problem the client recognised itself.
inline std::string HandshakeProblemText(TNetHandshakeProblem problem) {
    switch (problem) {
    case TNetHandshakeProblem::ServerClosed:
        return "the server closed the connection during the handshake";
    case TNetHandshakeProblem::ServerReset:
        return "the server reset the connection during the handshake";
    case TNetHandshakeProblem::ServerSilent:
        return "the server did not answer the handshake";
    case TNetHandshakeProblem::ClearTextAfterAuth:
        return "the server sent clear text after accepting AUTH TLS";
    case TNetHandshakeProblem::Other:
        break;
    }
    return "unknown error";
}

class ENetTlsHandshakeFailed : public ENetTlsError {
public:
    ENetTlsHandshakeFailed(const std::string& peer, const std::string& reason,
                           TNetHandshakeProblem problem = TNetHandshakeProblem::Other)
        : ENetTlsError("TLS handshake with " + peer + " failed: " + reason, reason), m_problem(problem) {}
    ENetTlsHandshakeFailed(const std::string& peer, TNetHandshakeProblem problem)
        : ENetTlsHandshakeFailed(peer, HandshakeProblemText(problem), problem) {}
    TNetHandshakeProblem problem() const { return m_problem; }

private:
    TNetHandshakeProblem m_problem;
};

// What was wrong with a certificate that did not verify.
enum class TNetCertificateProblem { Untrusted, Expired, NotYetValid, NameMismatch, Other };

class ENetCertificateRejected : public ENetTlsError {
public:
    ENetCertificateRejected(const std::string& peer, const std::string& reason, TNetCertificateProblem problem)
        : ENetTlsError("Certificate of " + peer + " could not be verified: " + reason, reason), m_problem(problem) {}
    TNetCertificateProblem problem() const { return m_problem; }

private:
    TNetCertificateProblem m_problem;
};

// The file of certificates to trust could not be read, or held none.
class ENetTlsTrustUnreadable : public ENetTlsError {
public:
    ENetTlsTrustUnreadable(const std::string& file, const std::string& reason)
        : ENetTlsError("Trusted certificates could not be read from " + file + ": " + reason, reason), m_file(file) {}
    const std::string& file() const { return m_file; }

private:
    std::string m_file;
};

// A build without a TLS backend refuses every protected session before connecting.
class ENetTlsUnavailable : public ENetTlsError {
public:
    ENetTlsUnavailable() : ENetTlsError("This build has no TLS support.", "no TLS in this build") {}
};

// A protected connection failed after its handshake: a damaged record, an alert, or data that ended without
// the TLS close, which may have been cut short.
class ENetTlsBroken : public ENetTlsError {
public:
    ENetTlsBroken(const std::string& peer, const std::string& reason)
        : ENetTlsError("TLS connection to " + peer + " failed: " + reason, reason) {}
};

// Text that should be a whole number and is not: "'x' is not a valid integer value".
class EConvertError : public ENetException {
public:
    explicit EConvertError(const std::string& text) : ENetException("'" + text + "' is not a valid integer value") {}
};

// Local files: "Cannot create file %s", "Cannot open file %s", and read or write failures.
class EFileError : public ENetException {
public:
    using ENetException::ENetException;
};

} // namespace net
