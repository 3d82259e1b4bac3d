// The transfer core against a real FTP server on loopback, without a window: log lines, error
// numbers, local files and the events a view gets.
#include "OrdinaryUser.h"
#include "TestSockets.h"
#include "TransferFixture.h"
#include "ftplocal.h"

#ifdef PYTAGORAS_TLS_TESTS
#include "TestCertificates.h"
#endif

#include <gmock/gmock.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include <map>
#include <memory>
#include <optional>

namespace {

using namespace transfertest;
using ftpunit::WindowAfter;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

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

TEST_F(FtpTransferTest, ServerByAddressOfEitherFamilyOrByAName) {
    struct Row {
        const char* name;
        const char* listening;              // the server's address
        const char* server;                 // the entry's
        std::vector<std::string> addresses; // of the name, when it is one
        const char* answered;
    };
    const Row rows[] = {
        {"IPv6 address in brackets", "::1", "[::1]", {}, "[::1]"},
        {"IPv6 address without brackets", "::1", "::1", {}, "[::1]"},
        // On ::1 a listener whose queue is full never answers.
        {"a name whose first address is dead", "127.0.0.1", "ftp.test", {"::1", "127.0.0.1"}, "127.0.0.1"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        resetAll();
        FtpServerProcess::Settings settings;
        settings.address = row.listening;
        m_server = std::make_unique<FtpServerProcess>(m_env.root() / "server", kUser, kPassword, settings);
        loadIni("[STANDARD]\nLogToFile=1\n" + ftpEntry(row.server, m_server->port(), kUser, kPassword));
        textfil::SetVerboseLogging(true);
        int port = m_server->port();
        testsupport::TestSocket dead;
        std::vector<testsupport::TestSocket> fillers;
        if (!row.addresses.empty()) {
            dead = testsupport::listenOn("::1", 0, port);
            for (int i = 0; i < 4; ++i) {
                fillers.push_back(testsupport::startConnecting(port, "::1"));
            }
        }
        testsupport::WriteFileBytes(remote("tall.csv"), "1;2;3");
        CoreTransfer core;
        core.client.Resolver = [&](const std::string&) { return row.addresses; };

        core.run.HentFil(local("tall.csv"));

        EXPECT_EQ(ftpunit::ftpfeil(), 0);
        EXPECT_EQ(testsupport::ReadFileBytes(local("tall.csv")), "1;2;3");
        EXPECT_THAT(logMessages(), ::testing::Contains("FTP: " + std::string(row.server) + " svarte på " +
                                                       row.answered + ":" + std::to_string(port)));
        fs::remove(local("tall.csv"));
    }
}

// What a download does to the files around L, whatever L is called and however it is kept. Every row runs in a
// folder of its own below one named with a Norwegian letter. Rows in a shared folder (all may write in it, with
// the sticky bit, as /tmp) run as an ordinary user, and their foreign files are another user's.
TEST_F(FtpTransferTest, LocalFilesOfADownload) {
    using Behaviour = FtpServerProcess::Behaviour;
    using ftpunit::Outcome;
    enum class Link { None, Symbolic, Hard };
    struct File {
        std::string name;                   // in the row's folder
        std::optional<std::string> content; // none: nothing there
        bool readOnly = false;              // the read-only attribute, or no write bit at all
        unsigned mode = 0;                  // POSIX permission bits given and expected; 0: any
        Link link = Link::None;             // a link to linkTo instead of a file
        std::string linkTo = {};
        bool foreign = false;
    };
    struct Row {
        const char* name;
        std::string L;
        std::vector<File> before;
        Behaviour server;
        std::vector<File> after;
        Outcome outcome;
        std::string message; // a log line it writes; {dir} stands for the row's folder
        bool shared = false;
    };
    const std::string ny = "ny versjon";
    const std::string outside = "../utenfor.txt";
    const std::vector<Row> rows = {
        {"L named like its T",
         "data.tmp",
         {{"data.tmp", "min"}},
         Behaviour::Normal,
         {{"data.tmp", ny}, {"data.tmp.old", "min"}, {"data.tmp.tmp", {}}},
         Outcome::Completed,
         "FTP: endret navn på {dir}data.tmp til {dir}data.tmp.old"},
        {"L named like its T, RETR refused",
         "data.tmp",
         {{"data.tmp", "min"}},
         Behaviour::RefuseRetr,
         {{"data.tmp", "min"}, {"data.tmp.tmp", {}}, {"data.tmp.old", {}}},
         Outcome::DownloadFailed,
         "FTP: serveren svarte: 550 Permission denied."},
        {"several dots: other files' companions stay",
         "rapport.2025.csv",
         {{"rapport.2025.csv", "2025"}, {"rapport.tmp", "utkast"}, {"rapport.old", "2024"}},
         Behaviour::Normal,
         {{"rapport.2025.csv", ny}, {"rapport.2025.old", "2025"}, {"rapport.tmp", "utkast"}, {"rapport.old", "2024"}},
         Outcome::Completed,
         "FTP: endret navn på {dir}rapport.2025.csv til {dir}rapport.2025.old"},
        {"L missing: O is the last copy",
         "kart.xml",
         {{"kart.old", "siste kopi"}},
         Behaviour::Normal,
         {{"kart.xml", ny}, {"kart.old", "siste kopi"}},
         Outcome::Completed,
         "FTP: endret navn på {dir}kart.tmp til {dir}kart.xml"},
        {"Norwegian letters in the name",
         "blåbær.txt",
         {{"blåbær.txt", "gammel"}},
         Behaviour::Normal,
         {{"blåbær.txt", ny}, {"blåbær.old", "gammel"}},
         Outcome::Completed,
         "FTP: endret navn på {dir}blåbær.tmp til {dir}blåbær.txt"},
        {"read-only L and O",
         "tabell.txt",
         {{"tabell.txt", "v2", true}, {"tabell.old", "v1", true}},
         Behaviour::Normal,
         {{"tabell.txt", ny, true}, {"tabell.old", "v2", true}},
         Outcome::Completed,
         "FTP: slettet midlertidig fil: {dir}tabell.old"},
        // What a link left at T leads to is never written.
        {"a hard link left at T",
         "liste.txt",
         {{outside, "annen"}, {"liste.tmp", {}, false, 0, Link::Hard, outside}},
         Behaviour::Normal,
         {{"liste.txt", ny}, {outside, "annen"}},
         Outcome::Completed,
         "FTP: endret navn på {dir}liste.tmp til {dir}liste.txt"},
#ifndef _WIN32
        // Symbolic links want a privilege on Windows, and wine makes none.
        {"a symbolic link left at T",
         "liste.txt",
         {{outside, "annen"}, {"liste.tmp", {}, false, 0, Link::Symbolic, outside}},
         Behaviour::Normal,
         {{"liste.txt", ny}, {outside, "annen"}},
         Outcome::Completed,
         "FTP: endret navn på {dir}liste.tmp til {dir}liste.txt"},
        {"L its owner's alone",
         "hemmelig.txt",
         {{"hemmelig.txt", "gammel", false, 0600}},
         Behaviour::Normal,
         {{"hemmelig.txt", ny, false, 0600}, {"hemmelig.old", "gammel", false, 0600}},
         Outcome::Completed,
         "FTP: endret navn på {dir}hemmelig.tmp til {dir}hemmelig.txt"},
        {"another user's symbolic link at T",
         "data.csv",
         {{"data.csv", "min"}, {outside, "annen"}, {"data.tmp", {}, false, 0, Link::Symbolic, outside, true}},
         Behaviour::Normal,
         {{"data.csv", "min"}, {"data.old", {}}, {outside, "annen"}},
         Outcome::DownloadFailed,
         "FTP: årsak: kan ikke lage den midlertidige filen {dir}data.tmp: File exists",
         true},
        {"another user's O",
         "data.csv",
         {{"data.csv", "min"}, {"data.old", "fremmed", false, 0, Link::None, {}, true}},
         Behaviour::Normal,
         {{"data.csv", "min"}, {"data.old", "fremmed"}, {"data.tmp", ny}},
         Outcome::NotPutInPlace,
         "FTP: årsak: kan ikke endre navn på {dir}data.csv til {dir}data.old: File exists",
         true},
#endif
    };
    const std::string base = work().string() + platform::kSeparator + "Bjørn" + platform::kSeparator;
    std::map<Behaviour, std::unique_ptr<FtpServerProcess>> servers;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const Row& row = rows[i];
        SCOPED_TRACE(row.name);
        if (row.shared && !testsupport::RunsAsRoot()) {
            continue; // another user's files need root to make them
        }
        auto& server = servers[row.server];
        if (!server) {
            server = std::make_unique<FtpServerProcess>(m_env.root() / ("server" + std::to_string(i)), kUser, kPassword,
                                                        row.server);
        }
        resetAll();
        loadIni("[STANDARD]\nLogToFile=1\n" + ftpEntry("127.0.0.1", server->port(), kUser, kPassword));
        testsupport::WriteFileBytes(testsupport::NativePath(server->root().string() + platform::kSeparator + row.L),
                                    ny);
        const std::string dir = base + std::to_string(i) + platform::kSeparator + "mappe" + platform::kSeparator;
        const auto at = [&](const std::string& name) { return testsupport::NativePath(dir + name); };
        const fs::path folder = testsupport::NativePath(dir.substr(0, dir.size() - 1));
        fs::create_directories(folder);
        for (const File& file : row.before) {
            if (file.link == Link::Symbolic) {
                fs::create_symlink(testsupport::NativePath(file.linkTo), at(file.name));
            } else if (file.link == Link::Hard) {
                fs::create_hard_link(at(file.linkTo), at(file.name));
            } else {
                testsupport::WriteFileBytes(at(file.name), *file.content);
            }
            if (file.readOnly || file.mode != 0) {
                fs::permissions(at(file.name),
                                file.readOnly ? fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read
                                              : static_cast<fs::perms>(file.mode));
            }
            if (row.shared && !file.foreign) {
                testsupport::GiveAway(at(file.name), testsupport::kNobody);
            }
        }
        const auto download = [&] {
            CoreTransfer core;
            core.run.HentFil(dir + row.L);
            return static_cast<int>(ftpunit::LastOutcome());
        };
        if (row.shared) {
            fs::permissions(folder, fs::perms::all | fs::perms::sticky_bit);
            for (const fs::path& above :
                 {m_env.root(), work(), folder.parent_path().parent_path(), folder.parent_path()}) {
                fs::permissions(above, fs::perms::owner_all | fs::perms::others_read | fs::perms::others_exec);
            }
            testsupport::WriteFileBytes(logFile(), "");
            fs::permissions(logFile(), fs::perms::others_write, fs::perm_options::add);
        }
        EXPECT_EQ(static_cast<Outcome>(row.shared ? testsupport::RunAsOrdinaryUser(download) : download()),
                  row.outcome);

        for (const File& file : row.after) {
            SCOPED_TRACE(file.name);
            if (!file.content) {
                EXPECT_FALSE(fs::exists(fs::symlink_status(at(file.name))));
                continue;
            }
            EXPECT_FALSE(fs::is_symlink(at(file.name)));
            EXPECT_EQ(testsupport::ReadFileBytes(at(file.name)), *file.content);
            EXPECT_EQ(platform::isReadOnly(dir + file.name), file.readOnly);
            if (file.mode != 0) {
                EXPECT_EQ(static_cast<unsigned>(fs::status(at(file.name)).permissions() & fs::perms::mask), file.mode);
            }
            // Windows removes no read-only file with the test's folder.
            fs::permissions(at(file.name), fs::perms::owner_write, fs::perm_options::add);
        }
        std::string message = row.message;
        for (std::size_t where = message.find("{dir}"); where != std::string::npos; where = message.find("{dir}")) {
            message.replace(where, 5, dir);
        }
        EXPECT_THAT(logMessages(), Contains(message));
        expectNoPasswordInLog();
        fs::remove(logFile());
    }
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

// A session that cannot be had is error 501 on a download and 502 on an upload, its cause on the line after;
// L, the server's file and the password stay where they were, and T, made before connecting, goes again. A
// port the client cannot connect to, or an SSL that is no number, ends the operation before anything is sent:
// port 21 + 65536 must not reach port 21, and SSL=ja must not pass for clear text.
TEST_F(FtpTransferTest, FailedSessionIs501OnDownloadAnd502OnUploadAndItsCauseFollows) {
    m_server = std::make_unique<FtpServerProcess>(m_env.root() / "server", kUser, kPassword);
    testsupport::WriteFileBytes(remote("a.txt"), "server");
    int port = 0;
    const testsupport::TestSocket listener = testsupport::listenOnLoopback(4, port);
    const auto withKeys = [&](const std::string& keys) {
        const std::string entry = ftpEntry("127.0.0.1", port, kUser, kPassword);
        return entry.substr(0, entry.find("port=")) + keys;
    };
    const std::string refused = "Socket Error # 10061 Connection refused.";
    const std::string wrapped = "port=" + std::to_string(port + 65536);
    const struct {
        const char* name;
        std::string entry;
        bool connects;     // a connection is tried at all
        std::string reply; // ServerReply: the server's own words
        std::string cause; // FailureCause
        std::string why;   // the log line after the error line
    } rows[] = {
        {"wrong password", ftpEntry("127.0.0.1", m_server->port(), kUser, "feil-passord"), true,
         "530 Authentication failed.", "530 Authentication failed.",
         "FTP: serveren svarte: 530 Authentication failed."},
        {"nothing listening: no server, no words of its own",
         ftpEntry("127.0.0.1", testsupport::freeLoopbackPort(), kUser, kPassword), true, "", refused,
         "FTP: årsak: " + refused},
        {"port wrapping round to a listening one", withKeys(wrapped + "\n"), false, "",
         wrapped + " i FTP-oppsettet er ingen gyldig port (0 til 65535); ingenting er sendt", ""},
        {"SSL as a word", withKeys("port=" + std::to_string(port) + "\nSSL=ja\n"), false, "",
         "SSL=ja i FTP-oppsettet er ikke et tall (1: med TLS, 0: uten); ingenting er sendt", ""},
    };
    const std::string L = local("a.txt");
    testsupport::WriteFileBytes(L, "lokal");
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        resetAll();
        fs::remove(logFile());
        loadIni("[STANDARD]\nLogToFile=1\n" + row.entry);
        const std::string why = row.why.empty() ? "FTP: årsak: " + row.cause : row.why;
        CoreTransfer core;

        core.run.HentFil(L);
        EXPECT_EQ(ftpunit::ftpfeil(), 501);
        EXPECT_EQ(ftpunit::LastOutcome(), ftpunit::Outcome::ConnectFailed);
        EXPECT_EQ(ftpunit::ServerReply(), row.reply);
        EXPECT_EQ(ftpunit::FailureCause(), row.cause);
        EXPECT_EQ(testsupport::ReadFileBytes(L), "lokal");
        EXPECT_FALSE(fs::exists(local("a.tmp")));
        EXPECT_EQ(core.seen.finished, WindowAfter::Close);

        core.run.SendFil(L);
        EXPECT_EQ(ftpunit::ftpfeil(), 502);
        EXPECT_EQ(ftpunit::LastOutcome(), ftpunit::Outcome::ConnectFailed);
        EXPECT_EQ(ftpunit::ServerReply(), row.reply);
        EXPECT_EQ(ftpunit::FailureCause(), row.cause);
        EXPECT_EQ(core.seen.finished, WindowAfter::Close);
        EXPECT_EQ(testsupport::ReadFileBytes(remote("a.txt")), "server");
        EXPECT_FALSE(testsupport::waitReadable(listener.get(), 0)) << "nobody connected";

        std::vector<std::string> expected = {"FTP: Starter ny sesjon for nedlasting av a.txt til " + folderLine()};
        if (row.connects) {
            expected.push_back(connectLine());
        }
        expected.insert(expected.end(), {"FTP: Feil nr. 501, kunne ikke koble til 127.0.0.1 med brukernavn " + kUser,
                                         why, "FTP: Starter ny sesjon for opplasting av " + L});
        if (row.connects) {
            expected.push_back(connectLine());
        }
        expected.insert(expected.end(), {"FTP: Feil nr. 502, kunne ikke koble til", why});
        EXPECT_THAT(logMessages(), ElementsAreArray(expected));
        EXPECT_EQ(logText().find("feil-passord"), std::string::npos);
        expectNoPasswordInLog();
    }
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
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[4], "FTP: Feil nr. 500, kan ikke laste ned filen " + L + ". Sjekk at filen ikke er i bruk.");
    EXPECT_EQ(lines[5], "FTP: årsak: serveren sendte 100000 av 200000 byte");
    EXPECT_EQ(lines[6], "FTP: Kobler fra.");
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

TEST_F(FtpTransferTest, UploadOfAFileTheUserOrAnotherProgramKeeps) {
    startServer();
    const std::string L = local("las.txt");
    testsupport::WriteFileBytes(L, "skrivebeskyttet");
    fs::permissions(L, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    CoreTransfer core;

    core.run.SendFil(L);

    EXPECT_EQ(ftpunit::ftpfeil(), 0);
    EXPECT_EQ(ftpunit::LastOutcome(), ftpunit::Outcome::LocalSizeUnknown);
    EXPECT_THAT(logMessages(),
                ElementsAre("FTP: Starter ny sesjon for opplasting av " + L,
                            "FTP: Kan ikke finne filstørrelse, avbryter.", "FTP: årsak: filen er skrivebeskyttet"));
    EXPECT_TRUE(core.seen.states.empty()) << "no connection at all";
    EXPECT_EQ(ftpunit::ftpserver(), "ftp.solvemar.no") << "settings not even loaded";
    EXPECT_FALSE(fs::exists(remote("las.txt")));
    EXPECT_EQ(core.seen.finished, WindowAfter::Close);
    fs::permissions(L, fs::perms::owner_write, fs::perm_options::add);

#ifdef _WIN32
    // An office program holding the file open, letting others read it: it is sent as it stands.
    const HANDLE held = ::CreateFileW(fs::path(L).wstring().c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    core.run.SendFil(L);
    ::CloseHandle(held);
    EXPECT_EQ(ftpunit::LastOutcome(), ftpunit::Outcome::Completed);
    EXPECT_EQ(testsupport::ReadFileBytes(remote("las.txt")), "skrivebeskyttet");
#endif
}

} // namespace
