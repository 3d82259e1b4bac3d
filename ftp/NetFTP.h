// The FTP client.
//
// Public interface used by the transfer window (all in namespace net):
//
//   class TNetFTP : public TNetTCPClient
//     std::string Host;                        // server name, or an address: "127.0.0.1", "::1" or "[::1]"
//                                              // ("localhost" = 127.0.0.1); a name's every address is tried
//     std::int32_t Port = 21;
//     std::string User, Password;
//     bool Passive = false;                    // false: active (PORT, EPRT over IPv6); true: passive (EPSV,
//                                              // PASV over IPv4 when the server refuses EPSV)
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
//     void DownloadToStream(const std::string& remoteName, TNetStream& stream, std::int64_t restartAt = 0);
//                                              // "REST restartAt" first when above 0
//     void DownloadContinuing(const std::string& remoteName, TNetStream& stream, std::int64_t size);
//                                              // after a break, continues in a new session (see below)
//     int DownloadRetries = 3;                 // continuations per DownloadContinuing
//     std::chrono::milliseconds RetryPause{1000};    // before each continuation's new session
//     TNetRetryEvent OnRetry;                  // void(int retry, std::int64_t from, const std::string& cause)
//     const std::vector<std::string>& Features();   // FEAT, asked once per session
//     std::string QueryModificationTime(const std::string& remoteName);   // MDTM's time; empty without one
//     void UploadFile(const std::string& localPath, const std::string& remoteName, bool append);
//     void UploadFromStream(TNetStream& stream, const std::string& remoteName, bool append);
//     std::int64_t LastTransferBytes() const;  // data bytes moved by the last transfer, also a failed one
//
//   A download's data connection breaks when it is reset or times out, or when the server ends the transfer
//   with 426. DownloadContinuing then closes the session and opens a new one, and continues the stream from
//   the bytes it holds ("REST"), at most DownloadRetries times, each after some bytes came. Only when the
//   server answered SIZE and lists REST STREAM in FEAT, and only while the size and (where the server gives
//   one) the MDTM time are those of the start: otherwise the break is raised as it came, or
//   ENetDownloadNotContinued. Uploads are never continued.
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
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace net {

enum TNetFTPTransferType : int { ftBinary = 0, ftASCII = 1 };

// After a final reply of 426 the client waits this long (or the idle time-out, when shorter) for a 226.
constexpr std::chrono::milliseconds kWaitAfterAbort{5000};

// A broken download is about to go on: the retry's number (1 for the first), the bytes the stream holds, where
// the new data starts, and what broke.
using TNetRetryEvent = std::function<void(int retry, std::int64_t from, const std::string& cause)>;

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
    // With restartAt above 0, the server is asked to start there ("REST"), and the stream is written from its
    // position on.
    void DownloadToStream(const std::string& remoteName, TNetStream& stream, std::int64_t restartAt = 0);
    // Downloads into stream from its position, continuing after a break of the data connection as the
    // comment at the top of this file says; size is the file's size as SIZE gave it (-1: none, no retry).
    void DownloadContinuing(const std::string& remoteName, TNetStream& stream, std::int64_t size);
    void UploadFile(const std::string& localPath, const std::string& remoteName, bool append);
    void UploadFromStream(TNetStream& stream, const std::string& remoteName, bool append);

    std::int64_t LastTransferBytes() const { return m_lastTransferBytes; }

    // What the server lists for FEAT, asked once per session; empty when it lists nothing or refuses.
    const std::vector<std::string>& Features();
    // The file's modification time as MDTM gives it ("20260108101502"); empty when the server gives none.
    std::string QueryModificationTime(const std::string& remoteName);

    int DownloadRetries = 3;
    std::chrono::milliseconds RetryPause{1000};
    TNetRetryEvent OnRetry;

private:
    enum class Direction { Download, Upload };

    std::string typeCommand() const;
    // The name the server's certificate must carry: Host, without brackets around an address.
    std::string peerName() const { return WithoutBrackets(Host); }
    std::int32_t requestPassivePort();
    void announceRestart(std::int64_t restartAt);
    // Notes a break of the data connection when error is one, and raises it again.
    [[noreturn]] void noteBreakAndRethrow();
    // The new session in which a broken download goes on; raises ENetDownloadNotContinued when the file
    // or the server has changed.
    void reopenToContinue(const std::string& remoteName, std::int64_t size, const std::string& modified);
    void startTls();
    void protectDataConnection(TNetTCPConnection& data);
    void runTransfer(const std::string& command, TNetStream& stream, Direction direction, std::int64_t restartAt = 0);
    void runActive(const std::string& command, TNetStream& stream, Direction direction, std::int64_t restartAt);
    void runPassive(const std::string& command, TNetStream& stream, Direction direction, std::int64_t restartAt);
    void moveData(TNetTCPConnection& data, TNetStream& stream, Direction direction, From from);
    void shareWorkHandlers(TNetTCPConnection& data) const;
    void releaseDataConnection();
    void awaitFinalReply();
    // How long a 226 may take to follow a 426.
    std::chrono::milliseconds waitAfterAbort() const;

    std::unique_ptr<TNetTlsClient> m_tls; // while a protected session is open
    bool m_dataProtected = false;         // "PROT P" accepted in this session
    std::unique_ptr<TNetTCPConnection> m_dataConnection;
    std::int64_t m_lastTransferBytes = 0;
    std::optional<std::vector<std::string>> m_features; // once asked in this session
    bool m_extendedPassiveRefused = false;              // EPSV refused in this session
    std::string m_transferBreak;                        // why the last transfer's data connection broke
    bool m_abortEndsTransfer = false;                   // a final 426 raises at once, without a 226 awaited
};

} // namespace net
