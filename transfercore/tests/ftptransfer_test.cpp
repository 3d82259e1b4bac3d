// The transfer core against a real FTP server on loopback, without a window: log lines, error
// numbers, local files and the events a view gets.
#include "TransferFixture.h"
#include "ftplocal.h"

#ifdef PYTAGORAS_TLS_TESTS
#include "TestCertificates.h"
#endif

#include <gmock/gmock.h>

#include <memory>

namespace {

using namespace transfertest;
using ftpunit::WindowAfter;
using ::testing::ElementsAre;

// ---- Downloads -----------------------------------------------------------------------------------

TEST_F(FtpTransferTest, SecondDownloadKeepsThePreviousVersion) {
    startServer();
    testsupport::WriteFileBytes(remote("kart.xml"), "ny versjon");
    const std::string L = local("kart.xml");
    const std::string O = local("kart.old");
    testsupport::WriteFileBytes(L, "forrige versjon");
    testsupport::WriteFileBytes(O, "eldste versjon");
    CoreTransfer core;

    core.run.HentFil(L);

    EXPECT_EQ(ftpunit::ftpfeil(), 0);
    EXPECT_EQ(testsupport::ReadFileBytes(L), "ny versjon");
    EXPECT_EQ(testsupport::ReadFileBytes(O), "forrige versjon");
    const auto lines = logMessages();
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_THAT(std::vector<std::string>(lines.begin() + 5, lines.end()),
                ElementsAre("FTP: slettet midlertidig fil: " + O, "FTP: endret navn på " + L + " til " + O,
                            "FTP: endret navn på " + local("kart.tmp") + " til " + L));
    EXPECT_THAT(core.seen.started, ElementsAre("kart.xml"));
    EXPECT_THAT(core.seen.states, ElementsAre("Tilkoblet", "Laster ned data", "Frakoblet"));
    EXPECT_EQ(core.seen.counts.back(), 10);
    EXPECT_EQ(core.seen.lastMaximum, 10);
    EXPECT_EQ(core.seen.finished, WindowAfter::Close);
}

TEST_F(FtpTransferTest, EmptyRemoteFileLeavesTheTemporaryFileAndMovesNothing) {
    startServer();
    testsupport::WriteFileBytes(remote("tom.txt"), "");
    const std::string L = local("tom.txt");
    testsupport::WriteFileBytes(L, "innhold");
    CoreTransfer core;

    core.run.HentFil(L);

    EXPECT_EQ(ftpunit::ftpfeil(), 0);
    EXPECT_EQ(ftpunit::LastOutcome(), ftpunit::Outcome::EmptyDownload);
    EXPECT_EQ(testsupport::ReadFileBytes(L), "innhold");
    EXPECT_TRUE(fs::exists(local("tom.tmp")));
    EXPECT_EQ(fs::file_size(local("tom.tmp")), 0u);
    EXPECT_FALSE(fs::exists(local("tom.old")));
    EXPECT_EQ(logMessages().back(), "FTP: Kobler fra.");
    EXPECT_EQ(core.seen.finished, WindowAfter::Close);
}

TEST_F(FtpTransferTest, WrongPasswordIs501Or502AndTheServersWordsFollow) {
    m_server = std::make_unique<FtpServerProcess>(m_env.root() / "server", kUser, kPassword);
    loadIni("[STANDARD]\nLogToFile=1\n" + ftpEntry("127.0.0.1", m_server->port(), kUser, "feil-passord"));
    testsupport::WriteFileBytes(remote("a.txt"), "server");
    const std::string L = local("a.txt");
    testsupport::WriteFileBytes(L, "lokal");
    CoreTransfer core;

    core.run.HentFil(L);

    const std::string refused = "FTP: serveren svarte: 530 Authentication failed.";
    EXPECT_EQ(ftpunit::ftpfeil(), 501);
    EXPECT_EQ(ftpunit::ServerReply(), "530 Authentication failed.");
    EXPECT_THAT(logMessages(),
                ElementsAre("FTP: Starter ny sesjon for nedlasting av a.txt til " + folderLine(), connectLine(),
                            "FTP: Feil nr. 501, kunne ikke koble til 127.0.0.1 med brukernavn " + kUser, refused));
    EXPECT_EQ(testsupport::ReadFileBytes(L), "lokal");
    EXPECT_FALSE(fs::exists(local("a.tmp")));
    EXPECT_EQ(core.seen.finished, WindowAfter::Close);

    core.run.SendFil(L);
    EXPECT_EQ(ftpunit::ftpfeil(), 502);
    const auto lines = logMessages();
    EXPECT_THAT(std::vector<std::string>(lines.end() - 2, lines.end()),
                ElementsAre("FTP: Feil nr. 502, kunne ikke koble til", refused));
    EXPECT_EQ(testsupport::ReadFileBytes(remote("a.txt")), "server");
    EXPECT_EQ(logText().find("feil-passord"), std::string::npos);
}

TEST_F(FtpTransferTest, NothingListeningIs502OnUploadAnd501OnDownload) {
    loadIni("[STANDARD]\nLogToFile=1\n" + ftpEntry("127.0.0.1", testsupport::freeLoopbackPort(), kUser, kPassword));
    const std::string L = local("x.txt");
    testsupport::WriteFileBytes(L, "lokal");
    CoreTransfer core;

    core.run.SendFil(L);
    EXPECT_EQ(ftpunit::ftpfeil(), 502);
    EXPECT_EQ(ftpunit::LastOutcome(), ftpunit::Outcome::ConnectFailed);
    EXPECT_EQ(ftpunit::ServerReply(), "") << "no server, no words of its own";
    EXPECT_EQ(core.seen.finished, WindowAfter::Close);

    core.run.HentFil(L);
    EXPECT_EQ(ftpunit::ftpfeil(), 501);
    EXPECT_EQ(testsupport::ReadFileBytes(L), "lokal");
    EXPECT_THAT(logMessages(),
                ElementsAre("FTP: Starter ny sesjon for opplasting av " + L, connectLine(),
                            "FTP: Feil nr. 502, kunne ikke koble til",
                            "FTP: Starter ny sesjon for nedlasting av x.txt til " + folderLine(), connectLine(),
                            "FTP: Feil nr. 501, kunne ikke koble til 127.0.0.1 med brukernavn " + kUser));
}

TEST_F(FtpTransferTest, ShortDownloadNeverReplacesTheGoodFile) {
    startServer(FtpServerProcess::Behaviour::ShortRetr);
    testsupport::WriteFileBytes(remote("data.bin"), PatternBytes(200000, 'q'));
    const std::string L = local("data.bin");
    const std::string O = local("data.old");
    testsupport::WriteFileBytes(L, "god fil");
    testsupport::WriteFileBytes(O, "forrige");
    CoreTransfer core;

    core.run.HentFil(L);

    EXPECT_EQ(ftpunit::ftpfeil(), 500);
    EXPECT_EQ(testsupport::ReadFileBytes(L), "god fil");
    EXPECT_EQ(testsupport::ReadFileBytes(O), "forrige");
    EXPECT_EQ(fs::file_size(local("data.tmp")), 100000u) << "the short file stays for inspection";
    const auto lines = logMessages();
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[4], "FTP: Feil nr. 500, kan ikke laste ned filen " + L + ". Sjekk at filen ikke er i bruk.");
    EXPECT_EQ(lines[5], "FTP: Kobler fra.");
}

TEST_F(FtpTransferTest, DownloadFolderWithoutSlashIsJoinedAsItStands) {
    startServer();
    fs::create_directories(remote("opp"));
    testsupport::WriteFileBytes(remote("opp/f.txt"), "x");
    ftpunit::setFtpmappe("opp");
    CoreTransfer core;
    core.run.HentFil(local("f.txt"));
    EXPECT_EQ(ftpunit::LastOutcome(), ftpunit::Outcome::RemoteFileNotFound);
    EXPECT_EQ(logMessages().at(2), "FTP: finner ikke filen oppf.txt, avbryter forbindelse");
}

// ---- Sessions with SSL set ------------------------------------------------------------------------

TEST(TlsRefusalText, NamesTheCauseInTheUsersWords) {
    using P = net::TNetCertificateProblem;
    const std::string host = "ftp.example.no";
    const struct {
        const char* name;
        std::shared_ptr<net::ENetTlsError> error;
        std::string text;
    } rows[] = {
        {"no TLS on the server", std::make_shared<net::ENetTlsNotOffered>("500 AUTH not understood", 500),
         "ftp.example.no tilbyr ikke TLS (500 AUTH not understood); uten \"SSL\" i FTP-oppsettet sendes passord "
         "og filer i klartekst"},
        {"unknown issuer",
         std::make_shared<net::ENetCertificateRejected>(host, "self-signed certificate", P::Untrusted),
         "sertifikatet til ftp.example.no kunne ikke bekreftes: utstederen er ikke klarert (self-signed certificate)"},
        {"expired", std::make_shared<net::ENetCertificateRejected>(host, "certificate has expired", P::Expired),
         "sertifikatet til ftp.example.no kunne ikke bekreftes: det er utløpt (certificate has expired)"},
        {"not yet valid",
         std::make_shared<net::ENetCertificateRejected>(host, "certificate is not yet valid", P::NotYetValid),
         "sertifikatet til ftp.example.no kunne ikke bekreftes: det er ikke gyldig ennå (certificate is not yet "
         "valid)"},
        {"another name", std::make_shared<net::ENetCertificateRejected>(host, "hostname mismatch", P::NameMismatch),
         "sertifikatet til ftp.example.no kunne ikke bekreftes: det er ikke utstedt for ftp.example.no (hostname "
         "mismatch)"},
        {"other certificate fault",
         std::make_shared<net::ENetCertificateRejected>(host, "certificate revoked", P::Other),
         "sertifikatet til ftp.example.no kunne ikke bekreftes: certificate revoked"},
        {"server hangs up",
         std::make_shared<net::ENetTlsHandshakeFailed>(host, "closed", net::TNetHandshakeProblem::ServerClosed),
         "TLS-forhandlingen med ftp.example.no mislyktes: serveren brøt forbindelsen"},
        {"server resets", std::make_shared<net::ENetTlsHandshakeFailed>(host, net::TNetHandshakeProblem::ServerReset),
         "TLS-forhandlingen med ftp.example.no mislyktes: serveren avbrøt forbindelsen brått (nullstilt)"},
        {"server silent", std::make_shared<net::ENetTlsHandshakeFailed>(host, net::TNetHandshakeProblem::ServerSilent),
         "TLS-forhandlingen med ftp.example.no mislyktes: serveren svarte ikke"},
        {"clear text after AUTH TLS",
         std::make_shared<net::ENetTlsHandshakeFailed>(host, "clear", net::TNetHandshakeProblem::ClearTextAfterAuth),
         "TLS-forhandlingen med ftp.example.no mislyktes: serveren sendte klartekst etter å ha godtatt AUTH TLS"},
        {"no common protocol", std::make_shared<net::ENetTlsHandshakeFailed>(host, "unsupported protocol"),
         "TLS-forhandlingen med ftp.example.no mislyktes: unsupported protocol"},
        {"sslca unreadable", std::make_shared<net::ENetTlsTrustUnreadable>("/etc/ca.pem", "No such file or directory"),
         "sertifikatfilen /etc/ca.pem (sslca) kunne ikke leses: No such file or directory"},
        {"no TLS in this build", std::make_shared<net::ENetTlsUnavailable>(),
         "\"SSL\" er valgt, men denne utgaven av programmet har ikke TLS; ingenting er sendt"},
        {"protected connection broken", std::make_shared<net::ENetTlsBroken>(host, "bad record mac"),
         "TLS-forbindelsen med ftp.example.no brøt sammen: bad record mac"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(ftpunit::TlsRefusalText(*row.error, host), row.text);
    }
}

#ifdef PYTAGORAS_TLS_TESTS
TEST_F(FtpTransferTest, SslEntryProtectsTheSessionOrEndsItBeforeTheLogin) {
    using Behaviour = FtpServerProcess::Behaviour;
    const auto& certificates = testsupport::Certificates();
    const FtpServerProcess::TlsIdentity identity{certificates.good.certificate, certificates.good.key};
    const std::string handshake = "FTP: TLS-forhandlingen med 127.0.0.1 mislyktes: serveren ";
    const struct {
        const char* name;
        bool serverTls;
        Behaviour behaviour;
        std::string sslca;
        std::string why; // the line after the error number; empty when the transfer completes
    } rows[] = {
        {"TLS with the CA of sslca", true, Behaviour::Normal, certificates.ca.string(), ""},
        {"server without TLS", false, Behaviour::Normal, certificates.ca.string(),
         "FTP: 127.0.0.1 tilbyr ikke TLS (500 Command \"AUTH\" not understood.); uten \"SSL\" i FTP-oppsettet "
         "sendes passord og filer i klartekst"},
        {"certificate the system does not trust", true, Behaviour::Normal, "",
         "FTP: sertifikatet til 127.0.0.1 kunne ikke bekreftes: utstederen er ikke klarert (unable to get local "
         "issuer certificate)"},
        {"sslca that does not exist", true, Behaviour::Normal, "mangler.pem",
         "FTP: sertifikatfilen " + (work() / "mangler.pem").string() +
             " (sslca) kunne ikke leses: " + platform::errorText(platform::errorOf(platform::Failure::Missing))},
        {"handshake never answered", false, Behaviour::SilentAfterAuth, certificates.ca.string(),
         handshake + "svarte ikke"},
        {"server hangs up in the handshake", false, Behaviour::ClosesAfterAuth, certificates.ca.string(),
         handshake + "brøt forbindelsen"},
        {"server resets in the handshake", false, Behaviour::ResetsAfterAuth, certificates.ca.string(),
         handshake + "avbrøt forbindelsen brått (nullstilt)"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        if (row.behaviour == Behaviour::ResetsAfterAuth && testsupport::RunningUnderWine()) {
            continue; // wine reports a peer's reset as an orderly close
        }
        resetAll();
        fs::remove(logFile());
        m_server = std::make_unique<FtpServerProcess>(m_env.root() / row.name, kUser, kPassword, row.behaviour,
                                                      row.serverTls ? &identity : nullptr);
        loadIni("[STANDARD]\nLogToFile=1\n" + ftpEntry("127.0.0.1", m_server->port(), kUser, kPassword) +
                "SSL=1\nsslca=" + row.sslca + "\n");
        testsupport::WriteFileBytes(remote("s.txt"), "fra serveren");
        const std::string L = local("s.txt");
        testsupport::WriteFileBytes(L, "lokal");
        CoreTransfer core;
        if (row.behaviour == Behaviour::SilentAfterAuth) {
            core.client.IdleTimeout = std::chrono::milliseconds(1000);
        }

        core.run.HentFil(L);
        core.run.SendFil(L);
        if (row.why.empty()) {
            EXPECT_EQ(ftpunit::ftpfeil(), 0);
            EXPECT_EQ(ftpunit::LastOutcome(), ftpunit::Outcome::Completed);
            EXPECT_EQ(testsupport::ReadFileBytes(L), "fra serveren");
            EXPECT_EQ(logMessages().back(), "FTP: Kobler fra.");
        } else {
            EXPECT_EQ(ftpunit::ftpfeil(), 502);
            EXPECT_EQ(ftpunit::TlsRefusal(), row.why.substr(5));
            EXPECT_EQ(testsupport::ReadFileBytes(L), "lokal");
            EXPECT_EQ(testsupport::ReadFileBytes(remote("s.txt")), "fra serveren");
            EXPECT_THAT(logMessages(),
                        ElementsAre("FTP: Starter ny sesjon for nedlasting av s.txt til " + folderLine(), connectLine(),
                                    "FTP: Feil nr. 501, kunne ikke koble til 127.0.0.1 med brukernavn " + kUser,
                                    row.why, "FTP: Starter ny sesjon for opplasting av " + L, connectLine(),
                                    "FTP: Feil nr. 502, kunne ikke koble til", row.why));
        }
        expectNoPasswordInLog();
    }
}
#endif

// ---- Uploads -------------------------------------------------------------------------------------

TEST_F(FtpTransferTest, UploadWithEmptyFolderGoesToTheLoginFolder) {
    startServer();
    const std::string L = local("rot.txt");
    testsupport::WriteFileBytes(L, "rot");
    CoreTransfer core;
    core.run.SendFil(L);
    EXPECT_EQ(ftpunit::ftpfeil(), 0);
    EXPECT_EQ(testsupport::ReadFileBytes(remote("rot.txt")), "rot");
    EXPECT_EQ(ftpunit::ftpmappe(), "");
}

TEST_F(FtpTransferTest, ReadOnlyFileIsNotUploadedAndNoConnectionIsMade) {
    startServer();
    const std::string L = local("las.txt");
    testsupport::WriteFileBytes(L, "skrivebeskyttet");
    fs::permissions(L, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    CoreTransfer core;

    core.run.SendFil(L);

    EXPECT_EQ(ftpunit::ftpfeil(), 0);
    EXPECT_EQ(ftpunit::LastOutcome(), ftpunit::Outcome::LocalSizeUnknown);
    EXPECT_THAT(logMessages(), ElementsAre("FTP: Starter ny sesjon for opplasting av " + L,
                                           "FTP: Kan ikke finne filstørrelse, avbryter."));
    EXPECT_TRUE(core.seen.states.empty()) << "no connection at all";
    EXPECT_EQ(ftpunit::ftpserver(), "ftp.solvemar.no") << "settings not even loaded";
    EXPECT_FALSE(fs::exists(remote("las.txt")));
    EXPECT_EQ(core.seen.finished, WindowAfter::Close);
}

} // namespace
