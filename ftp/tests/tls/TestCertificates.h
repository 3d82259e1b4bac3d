// Throw-away certificates for the TLS tests, made with the openssl command in a temporary folder: no
// key is kept in the repository.
#pragma once

#include <filesystem>

namespace ftptest {

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
    Identity expired;            // localhost, 127.0.0.1 and ::1, from the trusted CA, valid in 2020 only
    Identity untrusted;          // localhost, 127.0.0.1 and ::1, from a CA nobody trusts
    std::filesystem::path empty; // a file without certificates
};

const TestCertificates& Certificates();

} // namespace ftptest
