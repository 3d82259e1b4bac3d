#include "TestCertificates.h"

#include "BrokeredFtpServer.h"

#include <stdexcept>
#include <string>

#ifdef _WIN32
#include <windows.h>

#include <wincrypt.h>
#endif

namespace testsupport {

namespace {

namespace fs = std::filesystem;

void make(const fs::path& folder) {
#ifdef _WIN32
    // The openssl command is the build machine's.
    BrokeredFtpServer::MakeCertificates(folder);
#else
    SpawnOptions options;
    options.standardError = (folder / "make.log").string();
    if (WaitForExit(SpawnProcess({"/bin/bash", TEST_CERTIFICATES_SCRIPT, folder.string()}, options)) != 0) {
        throw std::runtime_error("make_test_certificates.sh failed: " + ReadFileBytes(folder / "make.log"));
    }
#endif
}

#ifdef _WIN32
HCERTSTORE machineRoots() {
    return ::CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root");
}
#endif

} // namespace

const TestCertificates& Certificates() {
    static TempFolder folder;
    static const TestCertificates made = [] {
        const fs::path at = folder.path();
        make(at);
        const auto identity = [&](const std::string& name) {
            return Identity{at / (name + ".pem"), at / (name + ".key")};
        };
        return TestCertificates{at / "ca.pem",       identity("good"),      identity("wrong-name"),
                                identity("expired"), identity("untrusted"), at / "empty.pem"};
    }();
    return made;
}

#ifdef _WIN32

ScopedTrustedCa::ScopedTrustedCa() {
    const std::string pem = ReadFileBytes(Certificates().ca);
    DWORD size = 0;
    if (!::CryptStringToBinaryA(pem.data(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER, nullptr, &size,
                                nullptr, nullptr)) {
        return;
    }
    m_encoded.resize(size);
    ::CryptStringToBinaryA(pem.data(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER,
                           reinterpret_cast<BYTE*>(m_encoded.data()), &size, nullptr, nullptr);
    HCERTSTORE roots = machineRoots();
    if (roots == nullptr) {
        return;
    }
    m_trusted =
        ::CertAddEncodedCertificateToStore(roots, X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(m_encoded.data()),
                                           size, CERT_STORE_ADD_REPLACE_EXISTING, nullptr) != FALSE;
    ::CertCloseStore(roots, 0);
}

ScopedTrustedCa::~ScopedTrustedCa() {
    HCERTSTORE roots = m_trusted ? machineRoots() : nullptr;
    if (roots == nullptr) {
        return;
    }
    PCCERT_CONTEXT ca = ::CertCreateCertificateContext(
        X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(m_encoded.data()), static_cast<DWORD>(m_encoded.size()));
    PCCERT_CONTEXT stored =
        ca != nullptr ? ::CertFindCertificateInStore(roots, X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, ca, nullptr)
                      : nullptr;
    if (stored != nullptr) {
        ::CertDeleteCertificateFromStore(stored);
    }
    if (ca != nullptr) {
        ::CertFreeCertificateContext(ca);
    }
    ::CertCloseStore(roots, 0);
}

#else

// OpenSSL's default trust is read from this file when the variable names one.
ScopedTrustedCa::ScopedTrustedCa() : m_trusted(true) {
    m_certificateFile.emplace("SSL_CERT_FILE", Certificates().ca.string());
}

ScopedTrustedCa::~ScopedTrustedCa() = default;

#endif

} // namespace testsupport
