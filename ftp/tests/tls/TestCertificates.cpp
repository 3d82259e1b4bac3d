#include "TestCertificates.h"

#include "TempEnvironment.h"

#include <stdexcept>
#include <string>
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
    const std::string local = "DNS:localhost,IP:127.0.0.1,IP:::1";
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

} // namespace

const TestCertificates& Certificates() {
    static testsupport::TempFolder folder;
    static const TestCertificates made = make(folder.path());
    return made;
}

} // namespace ftptest
