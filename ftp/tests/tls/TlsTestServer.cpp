#include "TlsTestServer.h"

#include "TempEnvironment.h"

#include <openssl/err.h>

#include <csignal>
#include <fstream>
#include <pthread.h>
#include <stdexcept>
#include <sys/socket.h>
#include <vector>

namespace ftptest {

namespace {

namespace fs = std::filesystem;

void run(const fs::path& folder, std::vector<std::string> args) {
    args.insert(args.begin(), "/usr/bin/openssl");
    testsupport::SpawnOptions options;
    options.workingFolder = folder;
    options.standardError = (folder / "openssl.log").string();
    if (testsupport::WaitForExit(testsupport::SpawnProcess(args, options)) != 0) {
        throw std::runtime_error("openssl " + args[1] +
                                 " failed: " + testsupport::ReadFileBytes(folder / "openssl.log"));
    }
}

// A self-signed CA certificate and its key.
void makeCa(const fs::path& folder, const std::string& name) {
    run(folder, {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-keyout",
                 name + ".key", "-out", name + ".pem", "-days", "30", "-subj", "/CN=" + name});
}

// A server certificate for the names, signed by the CA, valid from start to end (openssl ca's time format).
Identity makeServer(const fs::path& folder, const std::string& name, const std::string& ca, const std::string& names,
                    const std::string& start, const std::string& end) {
    testsupport::WriteFileBytes(folder / (name + ".ext"), "subjectAltName=" + names + "\n");
    run(folder, {"req", "-new", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-keyout",
                 name + ".key", "-out", name + ".csr", "-subj", "/CN=" + name});
    run(folder,
        {"ca", "-batch", "-notext", "-config", "ca.cnf", "-cert", ca + ".pem", "-keyfile", ca + ".key", "-in",
         name + ".csr", "-out", name + ".pem", "-startdate", start, "-enddate", end, "-extfile", name + ".ext"});
    return {folder / (name + ".pem"), folder / (name + ".key")};
}

TestCertificates make(const fs::path& folder) {
    testsupport::WriteFileBytes(folder / "index.txt", "");
    testsupport::WriteFileBytes(folder / "serial", "1000\n");
    testsupport::WriteFileBytes(folder / "ca.cnf", "[ca]\ndefault_ca = test\n[test]\ndir = .\n"
                                                   "database = index.txt\nnew_certs_dir = .\nserial = serial\n"
                                                   "default_md = sha256\npolicy = any\nunique_subject = no\n"
                                                   "[any]\ncommonName = supplied\n");
    makeCa(folder, "ca");
    makeCa(folder, "rogue");
    const std::string local = "DNS:localhost,IP:127.0.0.1";
    const std::string from = "20200101000000Z";
    const std::string until = "20991231000000Z";
    TestCertificates made;
    made.ca = folder / "ca.pem";
    made.good = makeServer(folder, "good", "ca", local, from, until);
    made.wrongName = makeServer(folder, "wrong-name", "ca", "DNS:other.example", from, until);
    made.expired = makeServer(folder, "expired", "ca", local, from, "20200201000000Z");
    made.untrusted = makeServer(folder, "untrusted", "rogue", local, from, until);
    made.empty = folder / "empty.pem";
    testsupport::WriteFileBytes(made.empty, "no certificates here\n");
    return made;
}

std::string sslError() {
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    char text[256] = {};
    ERR_error_string_n(code, text, sizeof text);
    return text;
}

} // namespace

const TestCertificates& Certificates() {
    static testsupport::TempFolder folder;
    static const TestCertificates made = make(folder.path());
    return made;
}

TlsServerContext::TlsServerContext(const Identity& identity) : m_ctx(SSL_CTX_new(TLS_server_method())) {
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
