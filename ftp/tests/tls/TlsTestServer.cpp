#include "TlsTestServer.h"

#include <openssl/err.h>

#include <csignal>
#include <pthread.h>
#include <stdexcept>
#include <sys/socket.h>

namespace ftptest {

namespace {

std::string sslError() {
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    char text[256] = {};
    ERR_error_string_n(code, text, sizeof text);
    return text;
}

} // namespace

TlsServerContext::TlsServerContext(const testsupport::Identity& identity) : m_ctx(SSL_CTX_new(TLS_server_method())) {
    if (SSL_CTX_use_certificate_chain_file(m_ctx, identity.certificate.c_str()) != 1 ||
        SSL_CTX_use_PrivateKey_file(m_ctx, identity.key.c_str(), SSL_FILETYPE_PEM) != 1) {
        throw std::runtime_error("server identity: " + sslError());
    }
    SSL_CTX_set_min_proto_version(m_ctx, TLS1_2_VERSION);
    const unsigned char context[] = "ftptest";
    SSL_CTX_set_session_id_context(m_ctx, context, sizeof context - 1);
}

TlsServerContext::~TlsServerContext() {
    SSL_CTX_free(m_ctx);
}

TlsServerLink::TlsServerLink(const TlsServerContext& context, int fd) : m_ssl(SSL_new(context.get())) {
    // OpenSSL writes to the socket with write(), which raises SIGPIPE once the client has gone. Blocked in
    // the script's thread only, the signal cannot hide the same fault in the client under test.
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
    // A client that stops talking must not hang the script.
    const timeval wait{5, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    SSL_set_fd(m_ssl, fd);
}

TlsServerLink::~TlsServerLink() {
    SSL_free(m_ssl);
    ERR_clear_error();
}

bool TlsServerLink::accept() {
    const bool accepted = SSL_accept(m_ssl) == 1;
    ERR_clear_error();
    return accepted;
}

bool TlsServerLink::resumed() const {
    return SSL_session_reused(m_ssl) == 1;
}

std::string TlsServerLink::readLine() {
    for (;;) {
        const std::size_t end = m_buffer.find("\r\n");
        if (end != std::string::npos) {
            std::string line = m_buffer.substr(0, end);
            m_buffer.erase(0, end + 2);
            return line;
        }
        char chunk[4096];
        const int n = SSL_read(m_ssl, chunk, sizeof chunk);
        if (n <= 0) {
            ERR_clear_error();
            return std::string();
        }
        m_buffer.append(chunk, static_cast<std::size_t>(n));
    }
}

void TlsServerLink::send(const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const int n = SSL_write(m_ssl, bytes.data() + done, static_cast<int>(bytes.size() - done));
        if (n <= 0) {
            throw std::runtime_error("TLS send failed: " + sslError());
        }
        done += static_cast<std::size_t>(n);
    }
}

std::string TlsServerLink::receiveAll() {
    std::string bytes = std::move(m_buffer);
    m_buffer.clear();
    char chunk[65536];
    for (int n; (n = SSL_read(m_ssl, chunk, sizeof chunk)) > 0;) {
        bytes.append(chunk, static_cast<std::size_t>(n));
    }
    ERR_clear_error();
    return bytes;
}

void TlsServerLink::closeNotify() {
    SSL_shutdown(m_ssl);
    ERR_clear_error();
}

} // namespace ftptest
