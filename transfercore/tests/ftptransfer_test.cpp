// The transfer core against a real FTP server on loopback, without a window: log lines, error
// numbers, local files and the events a view gets.
#include "TransferFixture.h"
#include "ftplocal.h"

#include <gmock/gmock.h>

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
    loadIni("[STANDARD]\nLogToFile=1\n" + ftpEntry("127.0.0.1", FreeLoopbackPort(), kUser, kPassword));
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
