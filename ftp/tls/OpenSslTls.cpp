// The TLS backend on OpenSSL. A protected stream drives OpenSSL through a BIO of its own that reads and
// writes the lower byte stream, so deadlines, socket errors and the peer's close come out as in clear text.
#include "NetTls.h"

#include "NetExceptions.h"
#include "NetSocket.h"

#include <openssl/bio.h>
#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509_vfy.h>

#include <exception>
#include <optional>
#include <system_error>
#include <utility>

namespace net {

namespace {

// Room for four whole records: in a bulk transfer they arrive back to back, and one receive of several
// saves a system call and a wake-up per record.
constexpr std::size_t kReadBufferSize = 4 * SSL3_RT_MAX_PACKET_SIZE;

struct CtxFree {
    void operator()(SSL_CTX* ctx) const { SSL_CTX_free(ctx); }
};
struct SessionFree {
    void operator()(SSL_SESSION* session) const { SSL_SESSION_free(session); }
};

// The reason of the oldest OpenSSL error waiting, the cause of the ones after it; empties the thread's queue.
std::string errorReason() {
    const unsigned long code = ERR_peek_error();
    ERR_clear_error();
    if (code == 0) {
        return "unknown error";
    }
    if (ERR_SYSTEM_ERROR(code)) {
        return std::generic_category().message(ERR_GET_REASON(code));
    }
    const char* reason = ERR_reason_error_string(code);
    return reason != nullptr ? reason : "error " + std::to_string(ERR_GET_REASON(code));
}

TNetCertificateProblem problemOf(long verifyResult) {
    switch (verifyResult) {
    case X509_V_ERR_CERT_HAS_EXPIRED:
        return TNetCertificateProblem::Expired;
    case X509_V_ERR_CERT_NOT_YET_VALID:
        return TNetCertificateProblem::NotYetValid;
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
        return TNetCertificateProblem::NameMismatch;
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_CERT_UNTRUSTED:
        return TNetCertificateProblem::Untrusted;
    default:
        return TNetCertificateProblem::Other;
    }
}

class OpenSslClient;

class TlsStream final : public TNetByteStream {
public:
    TlsStream(TNetByteStream& lower, SSL* ssl, TNetTlsUse use, std::string peer, const TNetClock& clock,
              std::chrono::milliseconds idleTimeout);
    ~TlsStream() override { SSL_free(m_ssl); }
    TlsStream(const TlsStream&) = delete;
    TlsStream& operator=(const TlsStream&) = delete;

    void Handshake();

    bool IsOpen() const override { return m_lower.IsOpen(); }
    void Close() override;
    TNetIoResult Receive(char* data, std::size_t count, const TNetDeadline& deadline) override;
    TNetIoResult Send(const char* data, std::size_t count, const TNetDeadline& deadline) override;
    // Decoded bytes, or records read ahead, that a wait on the socket would not see.
    bool InputBuffered() const override { return SSL_pending(m_ssl) > 0 || SSL_has_pending(m_ssl) == 1; }
    TNetNativeHandle WaitHandle() const override { return m_lower.WaitHandle(); }
    // No receive low-water mark beneath TLS: a server that sends its last record and its TLS close, then
    // waits for ours before it closes the connection, would leave those bytes below the mark, unseen. No
    // limit on unsent bytes either: the records of a piece go out in one send anyway, and with the limit
    // bench/ftp-compare --tls measured the same upload speed for a third more CPU time.
    void SetReceivePiece(std::size_t) override {}
    void SetSendPiece(std::size_t) override {}

    TNetTlsUse Use() const { return m_use; }

    // The BIO's side: one receive on the lower stream within the deadline of the current call, and the
    // records OpenSSL writes, which are collected and sent together. Failures are kept and raised once
    // OpenSSL has returned, never thrown through it.
    bool ReadLower(char* data, std::size_t count, std::size_t& read);
    void CollectRecords(const char* data, std::size_t count) { m_unsent.append(data, count); }
    bool SendCollected();
    bool LowerEnded() const { return m_lowerEnded; }
    bool TimedOut() const { return m_timedOut; }

private:
    void beginCall(const TNetDeadline& deadline);
    // The result of a failed OpenSSL call, or the exception that stands for it.
    TNetIoResult failure(int result);

    TNetByteStream& m_lower;
    SSL* m_ssl;
    TNetTlsUse m_use;
    std::string m_peer;
    const TNetClock& m_clock;
    std::chrono::milliseconds m_idleTimeout;
    std::optional<TNetDeadline> m_deadline;
    bool m_established = false;
    bool m_broken = false;
    bool m_lowerEnded = false;
    bool m_timedOut = false;
    bool m_shutDown = false;
    bool m_serverSpoke = false;
    bool m_clearText = false; // the server's first bytes were no TLS record
    std::exception_ptr m_failure;
    bool m_onlyBuffered = false; // reads take what OpenSSL holds already, never the lower stream's bytes
    // Records written by OpenSSL and not yet sent. The records of one call go out in one send: a server
    // that wakes for every segment it receives spends less per byte on fewer, larger ones.
    std::string m_unsent;
    // The end met while reading records that were buffered already; handed out by the next receive.
    std::optional<TNetIoResult> m_endResult;
    std::exception_ptr m_endFailure;
};

TlsStream& streamOf(BIO* bio) {
    return *static_cast<TlsStream*>(BIO_get_data(bio));
}

int bioRead(BIO* bio, char* data, std::size_t count, std::size_t* read) {
    BIO_clear_retry_flags(bio);
    TlsStream& stream = streamOf(bio);
    if (stream.ReadLower(data, count, *read)) {
        return 1;
    }
    if (stream.TimedOut()) {
        BIO_set_retry_read(bio);
    }
    return 0;
}

int bioWrite(BIO* bio, const char* data, std::size_t count, std::size_t* written) {
    BIO_clear_retry_flags(bio);
    streamOf(bio).CollectRecords(data, count);
    *written = count;
    return 1;
}

long bioCtrl(BIO* bio, int command, long, void*) {
    switch (command) {
    case BIO_CTRL_FLUSH:
        // OpenSSL flushes after each flight of the handshake, before it waits for the answer.
        return streamOf(bio).SendCollected() ? 1 : 0;
    case BIO_CTRL_EOF:
        // Tells OpenSSL that a read of nothing was the peer's close, not a failure.
        return BIO_get_data(bio) != nullptr && streamOf(bio).LowerEnded() ? 1 : 0;
    default:
        return 0;
    }
}

int bioCreate(BIO* bio) {
    BIO_set_init(bio, 1);
    return 1;
}

BIO_METHOD* streamMethod() {
    static BIO_METHOD* const method = [] {
        BIO_METHOD* created = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "net byte stream");
        BIO_meth_set_read_ex(created, bioRead);
        BIO_meth_set_write_ex(created, bioWrite);
        BIO_meth_set_ctrl(created, bioCtrl);
        BIO_meth_set_create(created, bioCreate);
        return created;
    }();
    return method;
}

TlsStream::TlsStream(TNetByteStream& lower, SSL* ssl, TNetTlsUse use, std::string peer, const TNetClock& clock,
                     std::chrono::milliseconds idleTimeout)
    : m_lower(lower), m_ssl(ssl), m_use(use), m_peer(std::move(peer)), m_clock(clock), m_idleTimeout(idleTimeout) {
    BIO* bio = BIO_new(streamMethod());
    if (bio == nullptr) {
        SSL_free(m_ssl);
        throw ENetTlsHandshakeFailed(m_peer, errorReason());
    }
    BIO_set_data(bio, this);
    SSL_set_bio(m_ssl, bio, bio);
    SSL_set_app_data(m_ssl, this);
}

void TlsStream::beginCall(const TNetDeadline& deadline) {
    m_deadline = deadline;
    m_timedOut = false;
    m_shutDown = false;
    m_failure = nullptr;
    ERR_clear_error();
}

bool TlsStream::ReadLower(char* data, std::size_t count, std::size_t& read) {
    if (m_onlyBuffered) {
        m_timedOut = true; // as a wait that ends at once
        return false;
    }
    try {
        const TNetIoResult result = m_lower.Receive(data, count, *m_deadline);
        switch (result.Status) {
        case TNetIoStatus::Done:
            m_lowerEnded = result.Count == 0;
            read = result.Count;
            if (!m_established && !m_serverSpoke && result.Count > 0) {
                m_serverSpoke = true;
                m_clearText = !OpensTlsRecord(data[0]);
            }
            return result.Count > 0;
        case TNetIoStatus::TimedOut:
            m_timedOut = true;
            return false;
        case TNetIoStatus::ShutDown:
            m_shutDown = true;
            return false;
        }
    } catch (...) {
        m_failure = std::current_exception();
    }
    return false;
}

bool TlsStream::SendCollected() {
    std::size_t sent = 0;
    try {
        while (sent < m_unsent.size()) {
            const TNetIoResult result = m_lower.Send(m_unsent.data() + sent, m_unsent.size() - sent, *m_deadline);
            if (result.Status == TNetIoStatus::TimedOut) {
                m_timedOut = true;
                break;
            }
            if (result.Status == TNetIoStatus::ShutDown || result.Count == 0) {
                m_shutDown = true;
                break;
            }
            sent += result.Count;
        }
    } catch (...) {
        m_failure = std::current_exception();
    }
    m_unsent.erase(0, sent);
    return m_unsent.empty();
}

void TlsStream::Handshake() {
    beginCall(TNetDeadline::After(m_clock, m_idleTimeout));
    const int result = SSL_connect(m_ssl);
    // Also when the handshake failed: the alert tells the server why.
    SendCollected();
    if (result == 1) {
        m_established = true;
        return;
    }
    const int error = SSL_get_error(m_ssl, result);
    m_broken = true;
    if (m_failure) {
        ERR_clear_error();
        try {
            std::rethrow_exception(std::exchange(m_failure, nullptr));
        } catch (const ENetSocketError& failure) {
            RethrowHandshakeSocketError(failure, m_peer);
        }
    }
    const long verifyResult = SSL_get_verify_result(m_ssl);
    const std::string reason = errorReason();
    if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) {
        throw ENetTlsHandshakeFailed(m_peer, TNetHandshakeProblem::ServerSilent);
    }
    if (m_clearText) {
        throw ENetTlsHandshakeFailed(m_peer, TNetHandshakeProblem::ClearTextAfterAuth);
    }
    if (m_shutDown || m_lowerEnded) {
        throw ENetTlsHandshakeFailed(m_peer, TNetHandshakeProblem::ServerClosed);
    }
    if (verifyResult != X509_V_OK) {
        throw ENetCertificateRejected(m_peer, X509_verify_cert_error_string(verifyResult), problemOf(verifyResult));
    }
    throw ENetTlsHandshakeFailed(m_peer, reason);
}

TNetIoResult TlsStream::failure(int result) {
    const int error = result == 1 ? SSL_ERROR_NONE : SSL_get_error(m_ssl, result);
    if (m_failure) {
        m_broken = true;
        ERR_clear_error();
        std::rethrow_exception(std::exchange(m_failure, nullptr));
    }
    if (error == SSL_ERROR_ZERO_RETURN) {
        return {0, TNetIoStatus::Done};
    }
    // A wait of the lower stream timed out (OpenSSL then asks for a retry), or its socket was shut down.
    // Either closes the connection; a peer that stopped reading would only make the TLS close wait again.
    if (m_timedOut || m_shutDown) {
        m_broken = true;
        ERR_clear_error();
        return {0, m_timedOut ? TNetIoStatus::TimedOut : TNetIoStatus::ShutDown};
    }
    m_broken = true;
    if (m_lowerEnded) {
        // A control connection takes this as a close; only data has to end with the TLS close.
        ERR_clear_error();
        throw ENetTlsBroken(m_peer, "the server ended the data connection without closing TLS, so the data may "
                                    "be incomplete");
    }
    throw ENetTlsBroken(m_peer, errorReason());
}

TNetIoResult TlsStream::Receive(char* data, std::size_t count, const TNetDeadline& deadline) {
    if (m_endFailure) {
        std::rethrow_exception(m_endFailure);
    }
    if (m_endResult) {
        return *m_endResult;
    }
    beginCall(deadline);
    std::size_t received = 0;
    const int result = SSL_read_ex(m_ssl, data, count, &received);
    SendCollected(); // what reading made OpenSSL answer
    if (result != 1) {
        return failure(result);
    }
    // One record per SSL_read: further whole records already read ahead go out in the same call, without
    // another system call.
    while (received < count && SSL_has_pending(m_ssl) == 1) {
        beginCall(deadline);
        m_onlyBuffered = true;
        std::size_t more = 0;
        const int next = SSL_read_ex(m_ssl, data + received, count - received, &more);
        m_onlyBuffered = false;
        if (next == 1) {
            received += more;
            continue;
        }
        if (m_timedOut) {
            break; // the rest of a record is still in the socket
        }
        try {
            m_endResult = failure(next);
        } catch (...) {
            m_endFailure = std::current_exception();
        }
        break;
    }
    return {received, TNetIoStatus::Done};
}

TNetIoResult TlsStream::Send(const char* data, std::size_t count, const TNetDeadline& deadline) {
    beginCall(deadline);
    std::size_t written = 0;
    const int result = SSL_write_ex(m_ssl, data, count, &written);
    if (result == 1 && SendCollected()) {
        return {written, TNetIoStatus::Done};
    }
    return failure(result);
}

void TlsStream::Close() {
    if (!m_lower.IsOpen()) {
        return;
    }
    if (m_established && !m_broken) {
        // The TLS close tells the server that an upload ended here and was not cut short. Its own close is
        // not awaited; a failure to send ours changes nothing now.
        beginCall(TNetDeadline::After(m_clock, m_idleTimeout));
        SSL_shutdown(m_ssl);
        SendCollected();
        m_failure = nullptr;
        ERR_clear_error();
    }
    m_broken = true;
    DrainBeforeClose(m_lower, m_clock);
    m_lower.Close();
}

class OpenSslClient final : public TNetTlsClient {
public:
    explicit OpenSslClient(const TNetTlsTrust& trust);
    ~OpenSslClient() override {
        // Streams may keep the context alive a little longer; they must not reach this client any more.
        SSL_CTX_set_app_data(m_ctx.get(), nullptr);
    }

    std::unique_ptr<TNetByteStream> Protect(TNetByteStream& lower, const std::string& peerName, TNetTlsUse use,
                                            const TNetClock& clock, std::chrono::milliseconds idleTimeout) override;

    void KeepSession(SSL_SESSION* session) { m_session.reset(session); }

private:
    std::unique_ptr<SSL_CTX, CtxFree> m_ctx;
    std::unique_ptr<SSL_SESSION, SessionFree> m_session;
};

// OpenSSL hands over each new session of a connection (with TLS 1.3 a ticket that comes after the handshake).
// The newest one of the control connection is what the data connections resume.
int keepNewSession(SSL* ssl, SSL_SESSION* session) {
    const auto* stream = static_cast<const TlsStream*>(SSL_get_app_data(ssl));
    auto* client = static_cast<OpenSslClient*>(SSL_CTX_get_app_data(SSL_get_SSL_CTX(ssl)));
    if (stream == nullptr || client == nullptr || stream->Use() != TNetTlsUse::Control) {
        return 0;
    }
    client->KeepSession(session);
    return 1;
}

OpenSslClient::OpenSslClient(const TNetTlsTrust& trust) : m_ctx(SSL_CTX_new(TLS_client_method())) {
    if (!m_ctx) {
        throw ENetTlsHandshakeFailed("any server", errorReason());
    }
    SSL_CTX* ctx = m_ctx.get();
    SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
    SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, nullptr);
    if (trust.CAFile.empty()) {
        SSL_CTX_set_default_verify_paths(ctx);
    } else {
        ERR_clear_error();
        if (SSL_CTX_load_verify_locations(ctx, trust.CAFile.c_str(), nullptr) != 1) {
            throw ENetTlsTrustUnreadable(trust.CAFile, errorReason());
        }
        // A certificate in the file is trusted as it stands, also when it is not a root: that is how a
        // server's own certificate is trusted.
        X509_VERIFY_PARAM_set_flags(SSL_CTX_get0_param(ctx), X509_V_FLAG_PARTIAL_CHAIN);
    }
    SSL_CTX_set_read_ahead(ctx, 1);
    SSL_CTX_set_default_read_buffer_len(ctx, kReadBufferSize);
    SSL_CTX_set_session_cache_mode(ctx, SSL_SESS_CACHE_CLIENT | SSL_SESS_CACHE_NO_INTERNAL_STORE);
    SSL_CTX_sess_set_new_cb(ctx, keepNewSession);
    SSL_CTX_set_app_data(ctx, this);
}

std::unique_ptr<TNetByteStream> OpenSslClient::Protect(TNetByteStream& lower, const std::string& peerName,
                                                       TNetTlsUse use, const TNetClock& clock,
                                                       std::chrono::milliseconds idleTimeout) {
    ERR_clear_error();
    SSL* ssl = SSL_new(m_ctx.get());
    if (ssl == nullptr) {
        throw ENetTlsHandshakeFailed(peerName, errorReason());
    }
    bool named = false;
    if (IsAddressLiteral(peerName)) {
        // An address is checked as an address, IPv4 or IPv6; a link's zone ("%eth0") is no part of it.
        const std::string address = peerName.substr(0, peerName.find('%'));
        named = X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl), address.c_str()) == 1;
    } else {
        named = SSL_set1_host(ssl, peerName.c_str()) == 1 &&
                SSL_set_tlsext_host_name(ssl, const_cast<char*>(peerName.c_str())) == 1;
    }
    if (!named) {
        SSL_free(ssl);
        throw ENetTlsHandshakeFailed(peerName, "the server's name cannot be checked: " + errorReason());
    }
    if (use == TNetTlsUse::Control) {
        SSL_set_options(ssl, SSL_OP_IGNORE_UNEXPECTED_EOF);
    } else if (m_session) {
        // OpenSSL retires a TLS 1.3 session once it has been resumed, but every data connection of the
        // session resumes the same one, which servers accept: each gets a copy to retire.
        const std::unique_ptr<SSL_SESSION, SessionFree> copy(SSL_SESSION_dup(m_session.get()));
        if (copy) {
            SSL_set_session(ssl, copy.get());
        }
    }
    auto stream = std::make_unique<TlsStream>(lower, ssl, use, peerName, clock, idleTimeout);
    stream->Handshake();
    return stream;
}

} // namespace

std::unique_ptr<TNetTlsClient> MakeTlsClient(const TNetTlsTrust& trust) {
    return std::make_unique<OpenSslClient>(trust);
}

std::string TlsBackendName() {
    return OpenSSL_version(OPENSSL_VERSION);
}

} // namespace net
