// The TLS backend on Schannel. Schannel only encodes and decodes: the records go through the lower byte
// stream here, so deadlines, socket errors and the peer's close come out as in clear text. The server's
// certificate is checked here too (manual validation), never left to Schannel, which does not check it
// everywhere it runs.
#include "SchannelTls.h"

#include "NetExceptions.h"
#include "NetSocket.h"
#include "platform.h"

#include <ws2tcpip.h>

#include <wincrypt.h>
// The settings that allow TLS 1.3 (SCH_CREDENTIALS) come with this switch, and need UNICODE_STRING.
#define SCHANNEL_USE_BLACKLISTS
#include <subauth.h>

#include <schannel.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

namespace net {

namespace {

// Decoded records and the records of one send: room for a few at a time, as a bulk transfer moves them.
constexpr std::size_t kRecordsPerCall = 4;
// A whole TLS record: header, the largest payload and its expansion.
constexpr std::size_t kLargestRecord = 5 + 16384 + 2048;
// TLS record types.
constexpr unsigned char kAlertRecord = 0x15;

constexpr ULONG kContextRequest = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT | ISC_REQ_CONFIDENTIALITY |
                                  ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM | ISC_REQ_EXTENDED_ERROR |
                                  ISC_REQ_MANUAL_CRED_VALIDATION;
constexpr DWORD kCredentialFlags = SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS | SCH_USE_STRONG_CRYPTO;
constexpr DWORD kOlderThanTls12 =
    SP_PROT_SSL2_CLIENT | SP_PROT_SSL3_CLIENT | SP_PROT_TLS1_0_CLIENT | SP_PROT_TLS1_1_CLIENT;
// wininet.h's flags of the SSL policy: a chain that ends at an unknown authority, and revocation, which
// the chain's own bits have settled already.
constexpr DWORD kIgnoreUnknownAuthority = 0x00000100;
constexpr DWORD kIgnoreRevocation = 0x00000080;

// A status of the security library as the system words it, with its number.
std::string statusText(SECURITY_STATUS status) {
    char number[16];
    std::snprintf(number, sizeof number, "0x%08lX", static_cast<unsigned long>(status));
    std::string text = platform::errorText(static_cast<int>(status));
    if (text.empty() || text.rfind("error ", 0) == 0) {
        return std::string("error ") + number;
    }
    return text + " (" + number + ")";
}

struct StoreClose {
    void operator()(HCERTSTORE store) const { ::CertCloseStore(store, 0); }
};
using Store = std::unique_ptr<void, StoreClose>;
struct CertificateFree {
    void operator()(PCCERT_CONTEXT certificate) const { ::CertFreeCertificateContext(certificate); }
};
using Certificate = std::unique_ptr<const CERT_CONTEXT, CertificateFree>;
struct ChainFree {
    void operator()(PCCERT_CHAIN_CONTEXT chain) const { ::CertFreeCertificateChain(chain); }
};
using Chain = std::unique_ptr<const CERT_CHAIN_CONTEXT, ChainFree>;

Store memoryStore() {
    Store store(::CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, CERT_STORE_CREATE_NEW_FLAG, nullptr));
    if (!store) {
        throw ENetTlsHandshakeFailed("any server", statusText(static_cast<SECURITY_STATUS>(::GetLastError())));
    }
    return store;
}

// The certificates a session trusts instead of the system's: every certificate of a PEM file, trusted as it
// stands, also one that is not a root (the server's own, say).
class TrustFile {
public:
    explicit TrustFile(const std::string& file) : m_store(memoryStore()) {
        platform::FileHandle handle;
        std::string text;
        int error = platform::openFile(file, platform::Access::Read, platform::Create::Never, handle);
        if (error == 0) {
            error = platform::readAll(handle, text);
        }
        if (error != 0) {
            throw ENetTlsTrustUnreadable(file, platform::errorText(error));
        }
        const std::string begin = "-----BEGIN CERTIFICATE-----";
        const std::string end = "-----END CERTIFICATE-----";
        for (std::size_t at = text.find(begin); at != std::string::npos; at = text.find(begin, at + 1)) {
            const std::size_t stop = text.find(end, at);
            if (stop == std::string::npos) {
                throw ENetTlsTrustUnreadable(file, "a certificate without its end line");
            }
            const std::string block = text.substr(at, stop + end.size() - at);
            DWORD size = 0;
            std::string der;
            if (::CryptStringToBinaryA(block.data(), static_cast<DWORD>(block.size()), CRYPT_STRING_BASE64HEADER,
                                       nullptr, &size, nullptr, nullptr)) {
                der.resize(size);
                if (!::CryptStringToBinaryA(block.data(), static_cast<DWORD>(block.size()), CRYPT_STRING_BASE64HEADER,
                                            reinterpret_cast<BYTE*>(der.data()), &size, nullptr, nullptr)) {
                    der.clear();
                }
            }
            if (der.empty() || !::CertAddEncodedCertificateToStore(
                                   m_store.get(), X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()),
                                   static_cast<DWORD>(der.size()), CERT_STORE_ADD_ALWAYS, nullptr)) {
                throw ENetTlsTrustUnreadable(file, "a certificate in it is damaged");
            }
            m_certificates.push_back(std::move(der));
        }
        if (m_certificates.empty()) {
            throw ENetTlsTrustUnreadable(file, "no certificate found");
        }
    }

    HCERTSTORE store() const { return m_store.get(); }
    // Whether certificate is one of the file's, byte for byte.
    bool holds(PCCERT_CONTEXT certificate) const {
        const std::string_view bytes(reinterpret_cast<const char*>(certificate->pbCertEncoded),
                                     certificate->cbCertEncoded);
        return std::find(m_certificates.begin(), m_certificates.end(), bytes) != m_certificates.end();
    }

private:
    Store m_store;
    std::vector<std::string> m_certificates;
};

// The reason of a chain's fault, in the words OpenSSL uses for the same fault, so that the texts read alike
// on every system.
[[noreturn]] void rejectChain(const std::string& peer, DWORD errors, PCCERT_CHAIN_CONTEXT chain) {
    if (errors & CERT_TRUST_IS_REVOKED) {
        throw ENetCertificateRejected(peer, "certificate revoked", TNetCertificateProblem::Other);
    }
    if (errors & CERT_TRUST_IS_NOT_TIME_VALID) {
        // The first certificate out of its time says which way.
        const CERT_SIMPLE_CHAIN& simple = *chain->rgpChain[0];
        for (DWORD i = 0; i < simple.cElement; ++i) {
            const LONG when = ::CertVerifyTimeValidity(nullptr, simple.rgpElement[i]->pCertContext->pCertInfo);
            if (when < 0) {
                throw ENetCertificateRejected(peer, "certificate is not yet valid",
                                              TNetCertificateProblem::NotYetValid);
            }
            if (when > 0) {
                break;
            }
        }
        throw ENetCertificateRejected(peer, "certificate has expired", TNetCertificateProblem::Expired);
    }
    if (errors & CERT_TRUST_IS_PARTIAL_CHAIN) {
        throw ENetCertificateRejected(peer, "unable to get local issuer certificate",
                                      TNetCertificateProblem::Untrusted);
    }
    if (errors & CERT_TRUST_IS_UNTRUSTED_ROOT) {
        throw ENetCertificateRejected(peer, "self-signed certificate in certificate chain",
                                      TNetCertificateProblem::Untrusted);
    }
    if (errors & CERT_TRUST_IS_NOT_SIGNATURE_VALID) {
        throw ENetCertificateRejected(peer, "certificate signature failure", TNetCertificateProblem::Other);
    }
    if (errors & CERT_TRUST_IS_NOT_VALID_FOR_USAGE) {
        throw ENetCertificateRejected(peer, "unsupported certificate purpose", TNetCertificateProblem::Other);
    }
    char bits[48];
    std::snprintf(bits, sizeof bits, "certificate chain error 0x%08lX", static_cast<unsigned long>(errors));
    throw ENetCertificateRejected(peer, bits, TNetCertificateProblem::Other);
}

// Whether the certificate names address (IPv4 or IPv6) among its IP entries; the SSL policy of some systems
// looks only at the DNS names.
bool issuedForAddress(PCCERT_CONTEXT certificate, const std::string& address) {
    // The entries hold 4 bytes for IPv4 and 16 for IPv6; a link's zone ("%eth0") is no part of the address.
    unsigned char wanted[16] = {};
    DWORD length = 4;
    if (::InetPtonA(AF_INET, address.c_str(), wanted) != 1) {
        length = 16;
        if (::InetPtonA(AF_INET6, address.substr(0, address.find('%')).c_str(), wanted) != 1) {
            return false;
        }
    }
    const CERT_INFO& info = *certificate->pCertInfo;
    const CERT_EXTENSION* extension = ::CertFindExtension(szOID_SUBJECT_ALT_NAME2, info.cExtension, info.rgExtension);
    if (extension == nullptr) {
        return false;
    }
    CERT_ALT_NAME_INFO* names = nullptr;
    DWORD size = 0;
    if (!::CryptDecodeObjectEx(X509_ASN_ENCODING, X509_ALTERNATE_NAME, extension->Value.pbData, extension->Value.cbData,
                               CRYPT_DECODE_ALLOC_FLAG, nullptr, &names, &size)) {
        return false;
    }
    bool found = false;
    for (DWORD i = 0; i < names->cAltEntry && !found; ++i) {
        const CERT_ALT_NAME_ENTRY& entry = names->rgAltEntry[i];
        found = entry.dwAltNameChoice == CERT_ALT_NAME_IP_ADDRESS && entry.IPAddress.cbData == length &&
                std::memcmp(entry.IPAddress.pbData, wanted, length) == 0;
    }
    ::LocalFree(names);
    return found;
}

// Checks the server's certificate as OpenSSL does on Linux: a chain to a trusted certificate (the system's
// roots, or the trust file's certificates alone), every certificate of it in its time and not known to be
// revoked, issued for the server, and for peer (a host name, or an address of either family matched as an
// address).
void verifyCertificate(HCERTCHAINENGINE engine, PCCERT_CONTEXT certificate, const std::string& peer,
                       const TrustFile* trust) {
    // The certificates the server sent beside its own, and those of the trust file, may complete the chain.
    Store extra(::CertOpenStore(CERT_STORE_PROV_COLLECTION, 0, 0, 0, nullptr));
    if (!extra) {
        throw ENetCertificateRejected(peer, statusText(static_cast<SECURITY_STATUS>(::GetLastError())),
                                      TNetCertificateProblem::Other);
    }
    ::CertAddStoreToCollection(extra.get(), certificate->hCertStore, 0, 0);
    if (trust != nullptr) {
        ::CertAddStoreToCollection(extra.get(), trust->store(), 0, 0);
    }
    char serverAuthentication[] = szOID_PKIX_KP_SERVER_AUTH;
    char* usages[] = {serverAuthentication};
    CERT_CHAIN_PARA para{};
    para.cbSize = sizeof para;
    para.RequestedUsage.dwType = USAGE_MATCH_TYPE_AND;
    para.RequestedUsage.Usage.cUsageIdentifier = 1;
    para.RequestedUsage.Usage.rgpszUsageIdentifier = usages;
    PCCERT_CHAIN_CONTEXT built = nullptr;
    // Revocation only as far as the system knows it already: a list fetched from the network would make
    // every connection wait on a third server.
    if (!::CertGetCertificateChain(
            engine, certificate, nullptr, extra.get(), &para,
            CERT_CHAIN_REVOCATION_CHECK_CHAIN_EXCLUDE_ROOT | CERT_CHAIN_REVOCATION_CHECK_CACHE_ONLY, nullptr, &built)) {
        throw ENetCertificateRejected(peer, statusText(static_cast<SECURITY_STATUS>(::GetLastError())),
                                      TNetCertificateProblem::Other);
    }
    const Chain chain(built);
    constexpr DWORD kRevocationUnknown = CERT_TRUST_REVOCATION_STATUS_UNKNOWN | CERT_TRUST_IS_OFFLINE_REVOCATION;
    DWORD errors = chain->TrustStatus.dwErrorStatus & ~(kRevocationUnknown | CERT_TRUST_IS_NOT_TIME_NESTED);
    if (trust != nullptr) {
        // The chain is trusted where it reaches a certificate of the file; what lies beyond does not count.
        const CERT_SIMPLE_CHAIN& simple = *chain->rgpChain[0];
        DWORD anchor = 0;
        while (anchor < simple.cElement && !trust->holds(simple.rgpElement[anchor]->pCertContext)) {
            ++anchor;
        }
        if (anchor == simple.cElement) {
            rejectChain(peer, CERT_TRUST_IS_PARTIAL_CHAIN, chain.get());
        }
        errors = 0;
        for (DWORD i = 0; i <= anchor; ++i) {
            errors |= simple.rgpElement[i]->TrustStatus.dwErrorStatus;
        }
        errors &= ~(kRevocationUnknown | CERT_TRUST_IS_NOT_TIME_NESTED | CERT_TRUST_IS_UNTRUSTED_ROOT |
                    CERT_TRUST_IS_PARTIAL_CHAIN | CERT_TRUST_IS_CYCLIC);
    }
    if (errors != 0) {
        rejectChain(peer, errors, chain.get());
    }

    const bool address = IsAddressLiteral(peer);
    if (address && !issuedForAddress(certificate, peer)) {
        throw ENetCertificateRejected(peer, "IP address mismatch", TNetCertificateProblem::NameMismatch);
    }
    // The SSL policy checks the rest, the host name with it; the trust was settled above.
    std::wstring name = platform::wideText(peer);
    HTTPSPolicyCallbackData ssl{};
    ssl.cbStruct = sizeof ssl;
    ssl.dwAuthType = AUTHTYPE_SERVER;
    ssl.fdwChecks = kIgnoreRevocation | (trust != nullptr ? kIgnoreUnknownAuthority : 0);
    ssl.pwszServerName = address ? nullptr : name.data();
    CERT_CHAIN_POLICY_PARA policy{};
    policy.cbSize = sizeof policy;
    policy.dwFlags = CERT_CHAIN_POLICY_IGNORE_ALL_REV_UNKNOWN_FLAGS |
                     (trust != nullptr ? CERT_CHAIN_POLICY_ALLOW_UNKNOWN_CA_FLAG : 0);
    policy.pvExtraPolicyPara = &ssl;
    CERT_CHAIN_POLICY_STATUS status{};
    status.cbSize = sizeof status;
    if (!::CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain.get(), &policy, &status)) {
        throw ENetCertificateRejected(peer, statusText(static_cast<SECURITY_STATUS>(::GetLastError())),
                                      TNetCertificateProblem::Other);
    }
    switch (static_cast<HRESULT>(status.dwError)) {
    case S_OK:
        return;
    case CERT_E_CN_NO_MATCH:
        throw ENetCertificateRejected(peer, "hostname mismatch", TNetCertificateProblem::NameMismatch);
    case CERT_E_EXPIRED:
        throw ENetCertificateRejected(peer, "certificate has expired", TNetCertificateProblem::Expired);
    case CERT_E_UNTRUSTEDROOT:
    case CERT_E_CHAINING:
        throw ENetCertificateRejected(peer, "unable to get local issuer certificate",
                                      TNetCertificateProblem::Untrusted);
    default:
        throw ENetCertificateRejected(peer, statusText(static_cast<SECURITY_STATUS>(status.dwError)),
                                      TNetCertificateProblem::Other);
    }
}

// One credentials handle per session: Windows resumes a session only on a connection made with the same
// handle and target name, which is what servers that insist on reuse for the data connections want.
class Credentials {
public:
    explicit Credentials(const SecurityFunctionTableW& sspi) : m_sspi(sspi) {
        wchar_t package[] = UNISP_NAME_W;
        // TLS 1.2 or newer. The newer form of the settings is the one that allows TLS 1.3; systems that
        // do not know it get the older form, which stops at TLS 1.2.
        TLS_PARAMETERS parameters{};
        parameters.grbitDisabledProtocols = kOlderThanTls12;
        SCH_CREDENTIALS current{};
        current.dwVersion = SCH_CREDENTIALS_VERSION;
        current.dwFlags = kCredentialFlags;
        current.cTlsParameters = 1;
        current.pTlsParameters = &parameters;
        SECURITY_STATUS status = m_sspi.AcquireCredentialsHandleW(nullptr, package, SECPKG_CRED_OUTBOUND, nullptr,
                                                                  &current, nullptr, nullptr, &m_handle, nullptr);
        if (status != SEC_E_OK) {
            SCHANNEL_CRED older{};
            older.dwVersion = SCHANNEL_CRED_VERSION;
            older.grbitEnabledProtocols = SP_PROT_TLS1_2_CLIENT;
            older.dwFlags = kCredentialFlags;
            status = m_sspi.AcquireCredentialsHandleW(nullptr, package, SECPKG_CRED_OUTBOUND, nullptr, &older, nullptr,
                                                      nullptr, &m_handle, nullptr);
        }
        if (status != SEC_E_OK) {
            throw ENetTlsHandshakeFailed("any server", statusText(status));
        }
    }
    ~Credentials() { m_sspi.FreeCredentialsHandle(&m_handle); }
    Credentials(const Credentials&) = delete;
    Credentials& operator=(const Credentials&) = delete;

    CredHandle* handle() { return &m_handle; }
    const SecurityFunctionTableW& sspi() const { return m_sspi; }

private:
    const SecurityFunctionTableW& m_sspi;
    CredHandle m_handle{};
};

class SchannelStream final : public TNetByteStream {
public:
    SchannelStream(TNetByteStream& lower, std::shared_ptr<Credentials> credentials, std::shared_ptr<TrustFile> trust,
                   HCERTCHAINENGINE engine, const std::string& peer, TNetTlsUse use, const TNetClock& clock,
                   std::chrono::milliseconds idleTimeout)
        : m_lower(lower), m_credentials(std::move(credentials)), m_trust(std::move(trust)), m_engine(engine),
          m_peer(peer), m_target(platform::wideText(peer)), m_use(use), m_clock(clock), m_idleTimeout(idleTimeout) {}
    ~SchannelStream() override {
        if (m_hasContext) {
            sspi().DeleteSecurityContext(&m_context);
        }
    }
    SchannelStream(const SchannelStream&) = delete;
    SchannelStream& operator=(const SchannelStream&) = delete;

    void Handshake();

    bool IsOpen() const override { return m_lower.IsOpen(); }
    void Close() override;
    TNetIoResult Receive(char* data, std::size_t count, const TNetDeadline& deadline) override;
    TNetIoResult Send(const char* data, std::size_t count, const TNetDeadline& deadline) override;
    // Decoded bytes, a whole record or the end, which a wait on the socket would not see.
    bool InputBuffered() const override { return m_plainStart < m_plain.size() || m_ended || wholeRecordBuffered(); }
    TNetNativeHandle WaitHandle() const override { return m_lower.WaitHandle(); }
    void SetReceivePiece(std::size_t) override {}
    void SetSendPiece(std::size_t) override {}

private:
    enum class Decoded { NeedMore, Data, Nothing };

    const SecurityFunctionTableW& sspi() const { return m_credentials->sspi(); }
    // Drives the handshake with what is buffered, reading more until Schannel is done.
    void negotiate(const TNetDeadline& deadline);
    // One receive on the lower stream into the records' buffer; a handshake turns its failures into why.
    TNetIoResult readRecords(const TNetDeadline& deadline);
    void readHandshake(const TNetDeadline& deadline);
    void keepExtra(const SecBuffer& extra);
    // Sends every byte; false when the lower stream timed out or was shut down first.
    bool sendAll(const char* data, std::size_t count, const TNetDeadline& deadline, TNetIoStatus& status);
    void sendToken(SecBuffer& token, const TNetDeadline& deadline);
    Decoded decodeOne(char* data, std::size_t count, std::size_t& given);
    bool wholeRecordBuffered() const;
    std::size_t takePlain(char* data, std::size_t count);

    TNetByteStream& m_lower;
    std::shared_ptr<Credentials> m_credentials;
    std::shared_ptr<TrustFile> m_trust;
    HCERTCHAINENGINE m_engine; // the client's, which outlives the handshake
    std::string m_peer;
    std::wstring m_target;
    TNetTlsUse m_use;
    const TNetClock& m_clock;
    std::chrono::milliseconds m_idleTimeout;
    CtxtHandle m_context{};
    bool m_hasContext = false;
    bool m_established = false;
    bool m_broken = false; // no TLS close any more: the connection timed out, failed or was closed
    bool m_ended = false;  // the server's TLS close came
    bool m_serverSpoke = false;
    SecPkgContext_StreamSizes m_sizes{};
    // Records received and not yet decoded: m_records[m_recordsStart, m_recordsEnd).
    std::vector<char> m_records;
    std::size_t m_recordsStart = 0;
    std::size_t m_recordsEnd = 0;
    // Decoded bytes not yet handed out.
    std::string m_plain;
    std::size_t m_plainStart = 0;
    std::vector<char> m_out;
};

TNetIoResult SchannelStream::readRecords(const TNetDeadline& deadline) {
    if (m_recordsStart > 0) {
        std::memmove(m_records.data(), m_records.data() + m_recordsStart, m_recordsEnd - m_recordsStart);
        m_recordsEnd -= m_recordsStart;
        m_recordsStart = 0;
    }
    if (m_records.size() - m_recordsEnd < kLargestRecord) {
        m_records.resize(std::max(m_records.size(), m_recordsEnd + kRecordsPerCall * kLargestRecord));
    }
    const TNetIoResult result =
        m_lower.Receive(m_records.data() + m_recordsEnd, m_records.size() - m_recordsEnd, deadline);
    if (result.Status == TNetIoStatus::Done) {
        m_recordsEnd += result.Count;
    }
    return result;
}

void SchannelStream::readHandshake(const TNetDeadline& deadline) {
    TNetIoResult result;
    try {
        result = readRecords(deadline);
    } catch (const ENetSocketError& error) {
        RethrowHandshakeSocketError(error, m_peer);
    }
    if (result.Status == TNetIoStatus::TimedOut) {
        throw ENetTlsHandshakeFailed(m_peer, TNetHandshakeProblem::ServerSilent);
    }
    if (result.Status == TNetIoStatus::ShutDown || result.Count == 0) {
        throw ENetTlsHandshakeFailed(m_peer, TNetHandshakeProblem::ServerClosed);
    }
    if (!m_serverSpoke) {
        m_serverSpoke = true;
        if (!OpensTlsRecord(m_records[m_recordsStart])) {
            throw ENetTlsHandshakeFailed(m_peer, TNetHandshakeProblem::ClearTextAfterAuth);
        }
    }
}

void SchannelStream::keepExtra(const SecBuffer& extra) {
    if (extra.BufferType == SECBUFFER_EXTRA && extra.cbBuffer > 0) {
        m_recordsStart = m_recordsEnd - extra.cbBuffer;
    } else {
        m_recordsStart = m_recordsEnd = 0;
    }
}

bool SchannelStream::sendAll(const char* data, std::size_t count, const TNetDeadline& deadline, TNetIoStatus& status) {
    std::size_t sent = 0;
    while (sent < count) {
        const TNetIoResult result = m_lower.Send(data + sent, count - sent, deadline);
        if (result.Status != TNetIoStatus::Done || result.Count == 0) {
            status = result.Status == TNetIoStatus::TimedOut ? TNetIoStatus::TimedOut : TNetIoStatus::ShutDown;
            return false;
        }
        sent += result.Count;
    }
    return true;
}

void SchannelStream::sendToken(SecBuffer& token, const TNetDeadline& deadline) {
    if (token.pvBuffer == nullptr) {
        return;
    }
    const std::string bytes(static_cast<const char*>(token.pvBuffer), token.cbBuffer);
    sspi().FreeContextBuffer(token.pvBuffer);
    token.pvBuffer = nullptr;
    TNetIoStatus status = TNetIoStatus::Done;
    try {
        if (sendAll(bytes.data(), bytes.size(), deadline, status)) {
            return;
        }
    } catch (const ENetSocketError& error) {
        RethrowHandshakeSocketError(error, m_peer);
    }
    throw ENetTlsHandshakeFailed(m_peer, status == TNetIoStatus::TimedOut ? TNetHandshakeProblem::ServerSilent
                                                                          : TNetHandshakeProblem::ServerClosed);
}

void SchannelStream::negotiate(const TNetDeadline& deadline) {
    for (;;) {
        const bool first = !m_hasContext;
        SecBuffer input[2] = {
            {static_cast<ULONG>(m_recordsEnd - m_recordsStart), SECBUFFER_TOKEN, m_records.data() + m_recordsStart},
            {0, SECBUFFER_EMPTY, nullptr}};
        SecBufferDesc inputs{SECBUFFER_VERSION, 2, input};
        SecBuffer output{0, SECBUFFER_TOKEN, nullptr};
        SecBufferDesc outputs{SECBUFFER_VERSION, 1, &output};
        ULONG attributes = 0;
        const SECURITY_STATUS status = sspi().InitializeSecurityContextW(
            m_credentials->handle(), first ? nullptr : &m_context, m_target.data(), kContextRequest, 0, 0,
            first ? nullptr : &inputs, 0, first ? &m_context : nullptr, &outputs, &attributes, nullptr);
        if (first && (status == SEC_E_OK || status == SEC_I_CONTINUE_NEEDED)) {
            m_hasContext = true;
        }
        // Also when the handshake failed: the alert tells the server why.
        sendToken(output, deadline);
        switch (status) {
        case SEC_E_OK:
            keepExtra(input[1]);
            return;
        case SEC_I_CONTINUE_NEEDED:
            keepExtra(input[1]);
            if (m_recordsStart == m_recordsEnd) {
                readHandshake(deadline);
            }
            break;
        case SEC_E_INCOMPLETE_MESSAGE:
            readHandshake(deadline);
            break;
        case SEC_I_INCOMPLETE_CREDENTIALS:
            break; // the server asks for a client certificate: go on without one
        default:
            throw ENetTlsHandshakeFailed(m_peer, statusText(status));
        }
    }
}

void SchannelStream::Handshake() {
    try {
        negotiate(TNetDeadline::After(m_clock, m_idleTimeout));
        SecPkgContext_ConnectionInfo connection{};
        if (sspi().QueryContextAttributesW(&m_context, SECPKG_ATTR_CONNECTION_INFO, &connection) != SEC_E_OK ||
            (connection.dwProtocol & kOlderThanTls12) != 0) {
            throw ENetTlsHandshakeFailed(m_peer, "the server offers nothing newer than TLS 1.1");
        }
        SECURITY_STATUS status = sspi().QueryContextAttributesW(&m_context, SECPKG_ATTR_STREAM_SIZES, &m_sizes);
        if (status != SEC_E_OK) {
            throw ENetTlsHandshakeFailed(m_peer, statusText(status));
        }
        PCCERT_CONTEXT remote = nullptr;
        status = sspi().QueryContextAttributesW(&m_context, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &remote);
        if (status != SEC_E_OK || remote == nullptr) {
            throw ENetCertificateRejected(m_peer, "no certificate", TNetCertificateProblem::Other);
        }
        const Certificate certificate(remote);
        verifyCertificate(m_engine, certificate.get(), m_peer, m_trust.get());
    } catch (...) {
        m_broken = true;
        throw;
    }
    m_established = true;
}

bool SchannelStream::wholeRecordBuffered() const {
    const std::size_t buffered = m_recordsEnd - m_recordsStart;
    if (buffered < 5) {
        return false;
    }
    const auto* header = reinterpret_cast<const unsigned char*>(m_records.data() + m_recordsStart);
    return buffered >= 5u + (static_cast<std::size_t>(header[3]) << 8 | header[4]);
}

std::size_t SchannelStream::takePlain(char* data, std::size_t count) {
    const std::size_t given = std::min(count, m_plain.size() - m_plainStart);
    std::memcpy(data, m_plain.data() + m_plainStart, given);
    m_plainStart += given;
    if (m_plainStart == m_plain.size()) {
        m_plain.clear();
        m_plainStart = 0;
    }
    return given;
}

SchannelStream::Decoded SchannelStream::decodeOne(char* data, std::size_t count, std::size_t& given) {
    char* record = m_records.data() + m_recordsStart;
    const auto type = static_cast<unsigned char>(record[0]);
    SecBuffer buffers[4] = {{static_cast<ULONG>(m_recordsEnd - m_recordsStart), SECBUFFER_DATA, record},
                            {0, SECBUFFER_EMPTY, nullptr},
                            {0, SECBUFFER_EMPTY, nullptr},
                            {0, SECBUFFER_EMPTY, nullptr}};
    SecBufferDesc description{SECBUFFER_VERSION, 4, buffers};
    const SECURITY_STATUS status = sspi().DecryptMessage(&m_context, &description, 0, nullptr);
    if (status == SEC_E_INCOMPLETE_MESSAGE) {
        return Decoded::NeedMore;
    }
    if (status != SEC_E_OK && status != SEC_I_CONTEXT_EXPIRED && status != SEC_I_RENEGOTIATE) {
        m_broken = true;
        throw ENetTlsBroken(m_peer, statusText(status));
    }
    const SecBuffer* plain = nullptr;
    const SecBuffer* extra = nullptr;
    for (const SecBuffer& buffer : buffers) {
        if (buffer.BufferType == SECBUFFER_DATA && plain == nullptr) {
            plain = &buffer;
        } else if (buffer.BufferType == SECBUFFER_EXTRA && extra == nullptr) {
            extra = &buffer;
        }
    }
    // The decoded bytes lie inside the records' buffer, before what follows them: take them first.
    std::size_t decoded = plain != nullptr ? plain->cbBuffer : 0;
    if (decoded > 0) {
        const std::size_t now = std::min(count - given, decoded);
        std::memcpy(data + given, plain->pvBuffer, now);
        given += now;
        m_plain.append(static_cast<const char*>(plain->pvBuffer) + now, decoded - now);
    }
    keepExtra(extra != nullptr ? *extra : SecBuffer{0, SECBUFFER_EMPTY, nullptr});
    // The server's TLS close. Some implementations of Schannel report it as a record that decoded to
    // nothing rather than as the end of the context: an alert record with nothing in it is that close.
    if (status == SEC_I_CONTEXT_EXPIRED || (status == SEC_E_OK && decoded == 0 && type == kAlertRecord)) {
        m_ended = true;
        return Decoded::Nothing;
    }
    if (status == SEC_I_RENEGOTIATE) {
        // Handshake messages after the handshake (tickets of TLS 1.3, or a new handshake): Schannel takes them
        // through the handshake call, with whatever came after them.
        negotiate(TNetDeadline::After(m_clock, m_idleTimeout));
    }
    return decoded > 0 ? Decoded::Data : Decoded::Nothing;
}

TNetIoResult SchannelStream::Receive(char* data, std::size_t count, const TNetDeadline& deadline) {
    std::size_t given = takePlain(data, count);
    if (given > 0 || count == 0) {
        return {given, TNetIoStatus::Done};
    }
    try {
        for (;;) {
            // Every whole record buffered goes out in one call while there is room, without another system call.
            while (!m_ended && given < count && m_recordsEnd > m_recordsStart) {
                if (decodeOne(data, count, given) == Decoded::NeedMore) {
                    break;
                }
            }
            if (given > 0 || m_ended) {
                return {given, TNetIoStatus::Done};
            }
            const TNetIoResult result = readRecords(deadline);
            if (result.Status != TNetIoStatus::Done) {
                // Either closes the connection; a peer that stopped reading would only make the TLS close wait.
                m_broken = true;
                return {0, result.Status};
            }
            if (result.Count == 0) {
                m_broken = true;
                if (m_use == TNetTlsUse::Data) {
                    throw ENetTlsBroken(m_peer, "the server ended the data connection without closing TLS, so the "
                                                "data may be incomplete");
                }
                // A control connection takes this as a close; only data has to end with the TLS close.
                return {0, TNetIoStatus::Done};
            }
        }
    } catch (...) {
        m_broken = true;
        throw;
    }
}

TNetIoResult SchannelStream::Send(const char* data, std::size_t count, const TNetDeadline& deadline) {
    const std::size_t largest = m_sizes.cbMaximumMessage;
    const std::size_t perRecord = m_sizes.cbHeader + largest + m_sizes.cbTrailer;
    m_out.resize(kRecordsPerCall * perRecord);
    std::size_t taken = 0;
    std::size_t encoded = 0;
    // The records of one call go out in one send: a server that wakes for every segment it receives
    // spends less per byte on fewer, larger ones.
    while (taken < count && encoded + perRecord <= m_out.size()) {
        const std::size_t piece = std::min(largest, count - taken);
        char* at = m_out.data() + encoded;
        std::memcpy(at + m_sizes.cbHeader, data + taken, piece);
        SecBuffer buffers[4] = {{m_sizes.cbHeader, SECBUFFER_STREAM_HEADER, at},
                                {static_cast<ULONG>(piece), SECBUFFER_DATA, at + m_sizes.cbHeader},
                                {m_sizes.cbTrailer, SECBUFFER_STREAM_TRAILER, at + m_sizes.cbHeader + piece},
                                {0, SECBUFFER_EMPTY, nullptr}};
        SecBufferDesc description{SECBUFFER_VERSION, 4, buffers};
        const SECURITY_STATUS status = sspi().EncryptMessage(&m_context, 0, &description, 0);
        if (status != SEC_E_OK) {
            m_broken = true;
            throw ENetTlsBroken(m_peer, statusText(status));
        }
        // The trailer may be shorter than its room: the next record starts right after it.
        encoded += buffers[0].cbBuffer + buffers[1].cbBuffer + buffers[2].cbBuffer;
        taken += piece;
    }
    TNetIoStatus status = TNetIoStatus::Done;
    try {
        if (sendAll(m_out.data(), encoded, deadline, status)) {
            return {taken, TNetIoStatus::Done};
        }
    } catch (...) {
        m_broken = true;
        throw;
    }
    m_broken = true;
    return {0, status};
}

void SchannelStream::Close() {
    if (!m_lower.IsOpen()) {
        return;
    }
    if (m_established && !m_broken) {
        // The TLS close tells the server that an upload ended here and was not cut short, and answers the
        // server's after a download. Its own close is not awaited; a failure to send ours changes nothing now.
        DWORD shutdown = SCHANNEL_SHUTDOWN;
        SecBuffer control{sizeof shutdown, SECBUFFER_TOKEN, &shutdown};
        SecBufferDesc controls{SECBUFFER_VERSION, 1, &control};
        if (sspi().ApplyControlToken(&m_context, &controls) == SEC_E_OK) {
            SecBuffer output{0, SECBUFFER_TOKEN, nullptr};
            SecBufferDesc outputs{SECBUFFER_VERSION, 1, &output};
            ULONG attributes = 0;
            sspi().InitializeSecurityContextW(m_credentials->handle(), &m_context, m_target.data(), kContextRequest, 0,
                                              0, nullptr, 0, nullptr, &outputs, &attributes, nullptr);
            // sendToken frees the token whatever becomes of the send.
            try {
                sendToken(output, TNetDeadline::After(m_clock, m_idleTimeout));
            } catch (...) {
            }
        }
    }
    m_broken = true;
    DrainBeforeClose(m_lower, m_clock);
    m_lower.Close();
}

struct EngineFree {
    void operator()(HCERTCHAINENGINE engine) const { ::CertFreeCertificateChainEngine(engine); }
};

class SchannelClient final : public TNetTlsClient {
public:
    SchannelClient(const TNetTlsTrust& trust, const SecurityFunctionTableW& sspi)
        : m_trust(trust.CAFile.empty() ? nullptr : std::make_shared<TrustFile>(trust.CAFile)),
          m_credentials(std::make_shared<Credentials>(sspi)) {
        // An engine of the session's own sees the system's trusted roots as they are when the session starts;
        // not every system's shared engine notices a root added while the program runs.
        CERT_CHAIN_ENGINE_CONFIG config{};
        config.cbSize = sizeof config;
        HCERTCHAINENGINE engine = nullptr;
        if (!::CertCreateCertificateChainEngine(&config, &engine)) {
            throw ENetTlsHandshakeFailed("any server", statusText(static_cast<SECURITY_STATUS>(::GetLastError())));
        }
        m_engine.reset(engine);
    }

    std::unique_ptr<TNetByteStream> Protect(TNetByteStream& lower, const std::string& peerName, TNetTlsUse use,
                                            const TNetClock& clock, std::chrono::milliseconds idleTimeout) override {
        // Every connection of the session with the same credentials and target name: on a data connection
        // Windows then resumes the control connection's session.
        auto stream = std::make_unique<SchannelStream>(lower, m_credentials, m_trust, m_engine.get(), peerName, use,
                                                       clock, idleTimeout);
        stream->Handshake();
        return stream;
    }

private:
    // Read before any connection: a file that cannot be read ends the session before anything is sent.
    std::shared_ptr<TrustFile> m_trust;
    std::shared_ptr<Credentials> m_credentials;
    std::unique_ptr<void, EngineFree> m_engine;
};

} // namespace

SecurityFunctionTableW& Sspi() {
    static SecurityFunctionTableW table = [] {
        const SecurityFunctionTableW* system = ::InitSecurityInterfaceW();
        if (system == nullptr) {
            throw ENetTlsHandshakeFailed("any server", "the system's security library cannot be used");
        }
        return *system;
    }();
    return table;
}

std::unique_ptr<TNetTlsClient> MakeTlsClient(const TNetTlsTrust& trust) {
    return std::make_unique<SchannelClient>(trust, Sspi());
}

std::string TlsBackendName() {
    return "Schannel";
}

} // namespace net
