// The server's side of TLS on a scripted server's connections, for the tests.
#pragma once

#include "TestCertificates.h"

#include <string>

#include <openssl/ssl.h>

namespace ftptest {

// A server's TLS settings for one identity; its connections share session tickets, so a data connection
// can resume the control connection's session.
class TlsServerContext {
public:
    explicit TlsServerContext(const testsupport::Identity& identity);
    ~TlsServerContext();
    TlsServerContext(const TlsServerContext&) = delete;
    TlsServerContext& operator=(const TlsServerContext&) = delete;
    SSL_CTX* get() const { return m_ctx; }

private:
    SSL_CTX* m_ctx;
};

// TLS as the server on one connected socket of a scripted server (which keeps the socket).
class TlsServerLink {
public:
    TlsServerLink(const TlsServerContext& context, int fd);
    ~TlsServerLink();
    TlsServerLink(const TlsServerLink&) = delete;
    TlsServerLink& operator=(const TlsServerLink&) = delete;

    // False when the client gave up on the handshake.
    bool accept();
    bool resumed() const;
    // The next line without its line end; empty when the client closed or went silent.
    std::string readLine();
    void send(const std::string& bytes);
    void reply(const std::string& line) { send(line + "\r\n"); }
    // Everything until the client's TLS close or its end of the connection.
    std::string receiveAll();
    // Sends the TLS close (a data connection then ends cleanly once the socket is closed).
    void closeNotify();

private:
    SSL* m_ssl;
    std::string m_buffer;
};

} // namespace ftptest
