// TLS for the FTP client: a protecting layer over a connection's byte stream, so that the line reader, the
// reply reader and the transfers do not care whether the bytes are protected.
//
// One backend per build, chosen with the CMake variable PYTAGORAS_TLS and kept out of this header:
//   OpenSSL   ftp/tls/OpenSslTls.cpp (the default on Linux)
//   Schannel  ftp/tls/SchannelTls.cpp, the system's own TLS on Windows (the default there)
//   none      ftp/tls/NoTls.cpp: MakeTlsClient raises ENetTlsUnavailable, so a protected session is refused
//             before anything is sent.
//
// A backend makes one TNetTlsClient per session. The session hands it the control connection's byte stream
// after "AUTH TLS" and each data connection's stream after the server's preliminary reply; the client
// handshakes over it, checks the server's certificate, and returns the stream that protects it.
#pragma once

#include "NetByteStream.h"
#include "NetClock.h"

#include <chrono>
#include <memory>
#include <string>

namespace net {

// Whom a protected session trusts.
struct TNetTlsTrust {
    // A PEM file of certificates to trust instead of the system's (a private CA, or the server's own
    // certificate); empty trusts the system's certificates.
    std::string CAFile;
};

// Which connection of the session a stream protects.
//   Control: a new TLS session, whose resumption data the client keeps for the data connections. The server
//            closing without the TLS close reads as an ordinary close, as in clear text.
//   Data:    resumes the control connection's session (servers may insist on it, so that a stranger cannot
//            take the data connection), and data that ends without the TLS close raises ENetTlsBroken,
//            because it may have been cut short.
enum class TNetTlsUse { Control, Data };

class TNetTlsClient {
public:
    virtual ~TNetTlsClient() = default;

    // Handshakes as the TLS client over lower, with each wait bounded by idleTimeout on clock (0: no limit),
    // and checks the certificate against the trust and peerName: a host name, or an address (IPv4 or IPv6,
    // without brackets) checked as an address. TLS 1.2 or newer. Returns the protecting stream, which reads and
    // writes through lower and must not outlive it; closing it ends TLS and then closes lower.
    // Raises ENetCertificateRejected, ENetTlsHandshakeFailed (its problem tells a server that stayed silent
    // past the time-out, closed, reset or answered in clear text from the rest), and the other socket errors
    // of lower.
    virtual std::unique_ptr<TNetByteStream> Protect(TNetByteStream& lower, const std::string& peerName, TNetTlsUse use,
                                                    const TNetClock& clock, std::chrono::milliseconds idleTimeout) = 0;
};

// Whether the server's first byte after accepting AUTH TLS can open its part of the handshake (a handshake
// record, or an alert); a reply in clear text cannot.
inline bool OpensTlsRecord(char firstByte) {
    return firstByte == 0x15 || firstByte == 0x16;
}

class ENetSocketError;
// Called in a handler of error during a handshake: a reset is the server's answer to the handshake and raises
// ENetTlsHandshakeFailed (ServerReset); any other socket error is raised again as it is.
[[noreturn]] void RethrowHandshakeSocketError(const ENetSocketError& error, const std::string& peer);

// Reads and drops what the server sent and nobody read, at most about a MiB, without waiting, before a
// protected connection closes: unread bytes (session tickets on an upload's connection, say) would turn the
// close into a reset, and a reset can cost the server the end of an upload.
void DrainBeforeClose(TNetByteStream& lower, const TNetClock& clock);

// The client of this build's backend. Raises ENetTlsUnavailable without a backend and ENetTlsTrustUnreadable
// when the CA file cannot be read or holds no certificate.
std::unique_ptr<TNetTlsClient> MakeTlsClient(const TNetTlsTrust& trust);

// The backend and its version ("OpenSSL 3.0.11 19 Sep 2023", "Schannel"); empty in a build without TLS.
std::string TlsBackendName();

} // namespace net
