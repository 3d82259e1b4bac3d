// Throw-away certificates for the TLS tests, made by make_test_certificates.sh with the openssl command in a
// temporary folder (under wine by the FTP server broker on the build machine): no key is kept in the
// repository.
#pragma once

#include "TempEnvironment.h"

#include <filesystem>
#include <optional>
#include <string>

namespace testsupport {

// A certificate and its private key, as PEM files.
struct Identity {
    std::filesystem::path certificate;
    std::filesystem::path key;
};

// Made once per test process in a temporary folder.
struct TestCertificates {
    std::filesystem::path ca;    // the CA the tests trust
    Identity good;               // localhost, 127.0.0.1 and ::1, from the trusted CA
    Identity wrongName;          // other.example only, from the trusted CA
    Identity expired;            // localhost and 127.0.0.1, from the trusted CA, valid in January 2020 only
    Identity untrusted;          // localhost and 127.0.0.1, from a CA nobody trusts
    std::filesystem::path empty; // a file without certificates
};

const TestCertificates& Certificates();

// Makes the test CA one that the system trusts, for one scope: with OpenSSL through SSL_CERT_FILE, on
// Windows in the machine's store of trusted roots. False when this process may not do that (Windows
// without an administrator's rights).
class ScopedTrustedCa {
public:
    ScopedTrustedCa();
    ~ScopedTrustedCa();
    ScopedTrustedCa(const ScopedTrustedCa&) = delete;
    ScopedTrustedCa& operator=(const ScopedTrustedCa&) = delete;
    bool trusted() const { return m_trusted; }

private:
    bool m_trusted = false;
    std::optional<ScopedEnv> m_certificateFile; // OpenSSL
    std::string m_encoded;                      // Windows: the certificate put among the roots
};

} // namespace testsupport
