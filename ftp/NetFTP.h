// The FTP client.
//
// Public interface used by the transfer window (all in namespace net):
//
//   class TNetFTP : public TNetTCPClient
//     std::string Host;                        // server name or dotted address ("localhost" = 127.0.0.1)
//     std::int32_t Port = 21;
//     std::string User, Password;
//     bool Passive = false;                    // false: PORT (active), true: PASV
//     bool UseTLS = false;                     // explicit TLS: AUTH TLS before the login, PBSZ 0 and PROT P,
//                                              // every data connection protected; never clear text
//     std::string TLSCAFile;                   // PEM certificates to trust instead of the system's
//     TNetFTPTransferType TransferType = ftBinary;   // or SetTransferType(), which applies it at once
//     std::string SystemText;                  // from "syst", "Unknown" when refused with 500
//     std::chrono::milliseconds IdleTimeout{60000};  // bounds every wait (0: no limit): connect, each whole
//                                              // reply, the server's data connection, each data receive or
//                                              // send; expiry raises ENetSocketError 10060. The wait for a
//                                              // 226 after a final 426 is at most kWaitAfterAbort; without
//                                              // one, the 426 is raised as the transfer's failure.
//     TNetNotifyEvent OnConnected, OnDisconnected;   // void(TNetComponent& sender)
//     TWorkBeginEvent OnWorkBegin;             // void(TNetComponent& sender, TWorkMode mode, int64 countMax)
//     TWorkEvent OnWork;                       // void(TNetComponent& sender, TWorkMode mode, int64 count)
//     TWorkEndEvent OnWorkEnd;                 // void(TNetComponent& sender, TWorkMode mode)
//     TNetStatusEvent OnStatus;                // void(TNetComponent& sender, TNetStatus, const std::string&)
//
//     void OpenSession(bool autoLogin);        // connect, greeting, user/pass, type, syst; closed on failure
//     bool IsConnected();
//     void CloseConnection();                  // sends nothing; fires OnDisconnected when it was open
//     std::int64_t QueryFileSize(const std::string& remoteName);   // -1 when the server gives no size; a 213
//                                              // without one raises ENetInvalidSizeReply
//     void DownloadFile(const std::string& remoteName, const std::string& localPath, bool canOverwrite);
//     void DownloadToStream(const std::string& remoteName, TNetStream& stream);
//     void UploadFile(const std::string& localPath, const std::string& remoteName, bool append);
//     void UploadFromStream(TNetStream& stream, const std::string& remoteName, bool append);
//     std::int64_t LastTransferBytes() const;  // data bytes moved by the last transfer, also a failed one
//
//   Work modes: wkReceive = 0 (download), wkSend = 1 (upload). During a transfer the work events come
//   from the data connection object (sender is not the TNetFTP), with counts rising strictly to the
//   number of bytes moved.
//
//   Every failure raises an ENetException (NetExceptions.h): ENetProtocolReplyError (code()),
//   ENetSocketError (number()), ENetConnClosedGracefully, ENetFTPFileAlreadyExists, EFileError for
//   local files, EConvertError for a PASV reply with non-numbers, ENetUnsafeArgument for a name with
//   CR, LF or NUL, ENetReplyTooLong, ENetInvalidPassiveEndpoint, ENetInvalidSizeReply, and the rest of the
//   hierarchy. With
//   UseTLS, an ENetTlsError: ENetTlsNotOffered, ENetTlsHandshakeFailed, ENetCertificateRejected,
//   ENetTlsTrustUnreadable and ENetTlsUnavailable end OpenSession before the user name is sent;
//   ENetTlsBroken is a protected connection failing later.
//
// Beneath it, top to bottom: TNetTCPConnection (line and reply reader, stream transfers) reads and writes
// through a TNetByteStream, the socket's or one put in its place with UseStream (memory in tests); every
// wait ends at a deadline on the connection's TNetClock. A download's TNetStream takes its bytes from the
// data connection (TakeFrom), and a local file may splice them straight from a clear-text socket. With
// UseTLS a TLS layer (NetTls.h) sits between each connection and its socket's stream.
#pragma once

#include "NetExceptions.h"
#include "NetFileStream.h"
#include "NetMemoryStream.h"
#include "NetReplies.h"
#include "NetSimpleServer.h"
#include "NetStream.h"
#include "NetTCPClient.h"
#include "NetTls.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

namespace net {

enum TNetFTPTransferType : int { ftBinary = 0, ftASCII = 1 };

// After a final reply of 426 the client waits this long (or the idle time-out, when shorter) for a 226.
constexpr std::chrono::milliseconds kWaitAfterAbort{5000};

class TNetFTP : public TNetTCPClient {
public:
    TNetFTP();
    // Closes the control connection without firing events: the owner may be half destroyed.
    ~TNetFTP() override;

    std::string User;
    bool Passive = false;
    std::string Password;
    std::string SystemText;
    TNetFTPTransferType TransferType = ftBinary;
    // Explicit TLS: "AUTH TLS" after the greeting and the handshake before the login, "PBSZ 0" and "PROT P"
    // before the first transfer, and every data connection protected, resuming the control connection's
    // TLS session. When any of it fails the session ends; nothing goes in clear text.
    bool UseTLS = false;
    // A PEM file of certificates to trust instead of the system's. Either way the certificate must be
    // issued for Host.
    std::string TLSCAFile;

    // Stores a different type and announces it at once when connected; nothing while a transfer runs.
    void SetTransferType(TNetFTPTransferType type);
    // The data connection while a transfer runs, else null.
    TNetTCPConnection* DataConnection() const { return m_dataConnection.get(); }

    void OpenSession(bool autoLogin);
    void ApplyTransferType();
    std::int64_t QueryFileSize(const std::string& remoteName);

    void DownloadFile(const std::string& remoteName, const std::string& localPath, bool canOverwrite);
    void DownloadToStream(const std::string& remoteName, TNetStream& stream);
    void UploadFile(const std::string& localPath, const std::string& remoteName, bool append);
    void UploadFromStream(TNetStream& stream, const std::string& remoteName, bool append);

    std::int64_t LastTransferBytes() const { return m_lastTransferBytes; }

private:
    enum class Direction { Download, Upload };

    std::string typeCommand() const;
    void startTls();
    void protectDataConnection(TNetTCPConnection& data);
    void runTransfer(const std::string& command, TNetStream& stream, Direction direction);
    void runActive(const std::string& command, TNetStream& stream, Direction direction);
    void runPassive(const std::string& command, TNetStream& stream, Direction direction);
    void moveData(TNetTCPConnection& data, TNetStream& stream, Direction direction, From from);
    void shareWorkHandlers(TNetTCPConnection& data) const;
    void releaseDataConnection();
    void awaitFinalReply();

    std::unique_ptr<TNetTlsClient> m_tls; // while a protected session is open
    bool m_dataProtected = false;         // "PROT P" accepted in this session
    std::unique_ptr<TNetTCPConnection> m_dataConnection;
    std::int64_t m_lastTransferBytes = 0;
};

} // namespace net
