// The Schannel backend's part in the reuse of a session: Windows resumes the control connection's TLS session
// on a data connection made with the same credentials handle and target name, which servers that insist on
// reuse want. Wine resumes none, so the test looks at the handshakes themselves, through the SSPI table.
#include "FtpServerProcess.h"
#include "FtpTestUtil.h"
#include "TestCertificates.h"

#include "TempEnvironment.h"
#include "tls/SchannelTls.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace std::chrono_literals;
using testsupport::FtpServerProcess;

namespace {

struct Handshake {
    CredHandle credentials;
    std::wstring target;
};
// Each handshake's first call (a connection without a context yet), in order.
std::vector<Handshake> g_handshakes;
INITIALIZE_SECURITY_CONTEXT_FN_W g_system = nullptr;

SECURITY_STATUS SEC_ENTRY recordHandshake(PCredHandle credentials, PCtxtHandle context, SEC_WCHAR* target,
                                          ULONG request, ULONG reserved1, ULONG representation, PSecBufferDesc input,
                                          ULONG reserved2, PCtxtHandle newContext, PSecBufferDesc output,
                                          PULONG attributes, PTimeStamp expiry) {
    if (context == nullptr) {
        g_handshakes.push_back({*credentials, target != nullptr ? target : L""});
    }
    return g_system(credentials, context, target, request, reserved1, representation, input, reserved2, newContext,
                    output, attributes, expiry);
}

TEST(Schannel, DataConnectionsUseTheControlConnectionsCredentialsAndTargetName) {
    const auto& certificates = testsupport::Certificates();
    const FtpServerProcess::TlsIdentity identity{certificates.good.certificate, certificates.good.key};
    testsupport::TempFolder root;
    FtpServerProcess server(root.path() / "served", "bob", "secret", FtpServerProcess::Behaviour::Normal, &identity);
    testsupport::WriteFileBytes(root.path() / "up.txt", "beskyttet");

    SecurityFunctionTableW& sspi = net::Sspi();
    g_system = sspi.InitializeSecurityContextW;
    g_handshakes.clear();
    sspi.InitializeSecurityContextW = recordHandshake;
    {
        net::TNetFTP ftp;
        ftptest::aimAt(ftp, server.port());
        ftp.Host = "localhost";
        ftp.UseTLS = true;
        ftp.TLSCAFile = certificates.ca.string();
        ftp.OpenSession(true);
        ftp.Passive = true;
        ftp.UploadFile((root.path() / "up.txt").string(), "f.txt", false);
        ftp.Passive = false;
        ftp.DownloadFile("f.txt", (root.path() / "down.txt").string(), true);
        ftp.CloseConnection();
    }
    sspi.InitializeSecurityContextW = g_system;

    EXPECT_EQ(testsupport::ReadFileBytes(root.path() / "down.txt"), "beskyttet");
    ASSERT_EQ(g_handshakes.size(), 3u) << "the control connection, a passive and an active data connection";
    for (const Handshake& handshake : g_handshakes) {
        EXPECT_EQ(handshake.credentials.dwLower, g_handshakes[0].credentials.dwLower);
        EXPECT_EQ(handshake.credentials.dwUpper, g_handshakes[0].credentials.dwUpper);
        EXPECT_EQ(handshake.target, L"localhost");
    }
}

} // namespace
