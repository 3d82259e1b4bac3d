// The transfer window against a real FTP server on loopback: log lines, error numbers, local files,
// window states and what the user sees while a transfer runs.
#include "FtpServerProcess.h"
#include "TransferFixture.h"
#include "ftpunit.h"
#include "serveroppsett.h"

#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QTimer>

#include <gmock/gmock.h>

#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace transfertest;
using ftpunit::TFTPform;
using ::testing::ElementsAre;

const std::string kUser = "kari";
const std::string kPassword = "Hemmelig7";

// What the window showed while the transfer ran, taken from inside the client's events.
struct Observed {
    std::vector<QString> states; // panel 1 after each connection or work-begin event
    std::vector<std::int64_t> counts;
    std::vector<QString> countTexts;
};

// Counts the paint events a widget gets.
class PaintCounter : public QObject {
public:
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        paints += event->type() == QEvent::Paint ? 1 : 0;
        return false;
    }
};

void observe(TFTPform& form, Observed& seen) {
    auto& client = *form.NetFTP1;
    auto record = [&form, &seen] { seen.states.push_back(form.panelText(1)); };
    client.OnConnected = [&form, record](net::TNetComponent& c) {
        form.NetFTP1Connected(c);
        record();
    };
    client.OnDisconnected = [&form, record](net::TNetComponent& c) {
        form.NetFTP1Disconnected(c);
        record();
    };
    client.OnWorkBegin = [&form, record](net::TNetComponent& c, net::TWorkMode m, std::int64_t n) {
        form.NetFTP1WorkBegin(c, m, n);
        record();
    };
    client.OnWork = [&form, &seen](net::TNetComponent& c, net::TWorkMode m, std::int64_t n) {
        form.NetFTP1Work(c, m, n);
        seen.counts.push_back(form.progressPosition());
        seen.countTexts.push_back(form.panelText(0));
    };
}

std::string bytesOf(std::size_t size, char seed) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>(seed + i * 7 % 251);
    }
    return bytes;
}

class FtpTransferTest : public TransferTest {
protected:
    void SetUp() override {
        TransferTest::SetUp();
        // A dot in a folder name, as under ~/.local: the companion files must stay beside L.
        m_local = work() / "min.data" / "tabeller";
        fs::create_directories(m_local);
    }

    void startServer(FtpServerProcess::Behaviour behaviour = FtpServerProcess::Behaviour::Normal) {
        m_server = std::make_unique<FtpServerProcess>(m_env.root() / "server", kUser, kPassword, behaviour);
        loadIni("[STANDARD]\nLogToFile=1\n" + ftpEntry("127.0.0.1", m_server->port(), kUser, kPassword));
    }

    std::string local(const std::string& name) const { return (m_local / name).string(); }
    fs::path remote(const std::string& name) const { return m_server->root() / name; }
    std::string folderLine() const { return m_local.string() + "/"; }
    std::string connectLine() const { return "FTP: Kobler til 127.0.0.1 som bruker " + kUser; }

    void expectNoPasswordInLog() const {
        EXPECT_EQ(logText().find(kPassword), std::string::npos) << "the password must never be logged";
    }

    fs::path m_local;
    std::unique_ptr<FtpServerProcess> m_server;
};

// ---- Paths and sizes ----------------------------------------------------------------------------

TEST(TransferPaths, CompanionFilesStayBesideTheLocalFile) {
    const struct {
        const char* name;
        const char* path;
        const char* tmp;
        const char* old;
    } rows[] = {
        {"dot in a folder name", "/home/kari/.local/share/Solvemar/data/tabell.txt",
         "/home/kari/.local/share/Solvemar/data/tabell.tmp", "/home/kari/.local/share/Solvemar/data/tabell.old"},
        {"plain folder", "/data/kart.xml", "/data/kart.tmp", "/data/kart.old"},
        {"no extension", "/data/kart", "/data/kart.tmp", "/data/kart.old"},
        {"first dot of the name counts", "/v1.2/a.b.c", "/v1.2/a.tmp", "/v1.2/a.old"},
        {"no folder", "tabell.txt", "tabell.tmp", "tabell.old"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(ftpunit::CompanionFile(row.path, "tmp"), row.tmp) << row.name;
        EXPECT_EQ(ftpunit::CompanionFile(row.path, "old"), row.old) << row.name;
    }
    EXPECT_EQ(ftpunit::FileNameOf("/a/b.txt"), "b.txt");
    EXPECT_EQ(ftpunit::FolderOf("/a/b.txt"), "/a/");
    EXPECT_EQ(ftpunit::FolderOf("b.txt"), "");
}

TEST_F(TransferTest, LokalFilStorrelseNeedsAWritableRegularFile) {
    const fs::path file = work() / "f.bin";
    testsupport::WriteFileBytes(file, "12345");
    EXPECT_EQ(ftpunit::LokalFilStorrelse(file.string()), 5);
    EXPECT_EQ(ftpunit::LokalFilStorrelse((work() / "missing").string()), -1);
    EXPECT_EQ(ftpunit::LokalFilStorrelse(work().string()), -1) << "a folder";
    ::chmod(file.c_str(), 0444);
    EXPECT_EQ(ftpunit::LokalFilStorrelse(file.string()), -1) << "read-only, whoever runs the test";
    ::chmod(file.c_str(), 0644);

    // A sparse file: the true size above 2^31, without writing gigabytes.
    const fs::path big = work() / "big.bin";
    testsupport::WriteFileBytes(big, "");
    fs::resize_file(big, 3LL << 30);
    EXPECT_EQ(ftpunit::LokalFilStorrelse(big.string()), 3LL << 30);
}

TEST_F(TransferTest, ProgressAboveTwoGigabytesScalesTheBarAndShowsTheTrueCount) {
    TFTPform form;
    const std::int64_t size = (3LL << 30) + 12345;
    ASSERT_TRUE(form.setProgressMaximum(size));
    EXPECT_FALSE(form.setProgressMaximum(-1));
    net::TNetFTP& client = *form.NetFTP1;
    form.NetFTP1Work(client, net::wkReceive, size / 2);
    EXPECT_EQ(form.progressPosition(), size / 2);
    EXPECT_NEAR(double(form.ProgressBar1->value()) / form.ProgressBar1->maximum(), 0.5, 1e-6);
    form.NetFTP1Work(client, net::wkReceive, size);
    EXPECT_EQ(form.panelText(0), "3221237817");
    EXPECT_EQ(form.progressPosition(), size);
    EXPECT_EQ(form.ProgressBar1->value(), form.ProgressBar1->maximum()) << "the bar ends full";
}

TEST_F(TransferTest, WindowHasItsDesignedControls) {
    TFTPform form;
    EXPECT_EQ(form.windowTitle(), "FTPform");
    EXPECT_EQ(form.ftpfil->text(), "filnavn.ending");
    EXPECT_EQ(form.ftpfil->geometry(), QRect(8, 8, 201, 13));
    EXPECT_EQ(form.ProgressBar1->geometry(), QRect(8, 32, 201, 16));
    EXPECT_EQ(form.panelText(0), "0");
    EXPECT_EQ(form.panelText(1), "Klar");
    EXPECT_EQ(ftpunit::FTPform(), &form);
}

// ---- Downloads -----------------------------------------------------------------------------------

TEST_F(FtpTransferTest, FirstDownloadPutsTheFileInPlaceWithOneRename) {
    startServer();
    const std::string content = bytesOf(100000, 'a');
    testsupport::WriteFileBytes(remote("tabell.txt"), content);
    TFTPform form;
    Observed seen;
    observe(form, seen);
    PaintCounter barPaints;
    const std::string L = local("tabell.txt");
    form.ProgressBar1->installEventFilter(&barPaints);
    // Only the paints while the data flows count.
    form.NetFTP1->OnWorkBegin = [&barPaints, begin = form.NetFTP1->OnWorkBegin](auto& c, auto m, auto n) {
        begin(c, m, n);
        barPaints.paints = 0;
    };

    form.HentFil(L);

    EXPECT_EQ(ftpunit::ftpfeil(), 0);
    EXPECT_EQ(ftpunit::LastOutcome(), ftpunit::Outcome::Completed);
    EXPECT_EQ(testsupport::ReadFileBytes(L), content);
    EXPECT_FALSE(fs::exists(local("tabell.tmp")));
    EXPECT_FALSE(fs::exists(local("tabell.old")));
    EXPECT_THAT(logMessages(),
                ElementsAre("FTP: Starter ny sesjon for nedlasting av tabell.txt til " + folderLine(), connectLine(),
                            "FTP: filstørrelse 100000", "FTP: Tilkoblet, henter filen tabell.txt", "FTP: Kobler fra.",
                            "FTP: endret navn på " + local("tabell.tmp") + " til " + L));
    EXPECT_THAT(seen.states, ElementsAre("Tilkoblet", "Laster ned data", "Frakoblet"));
    ASSERT_FALSE(seen.counts.empty());
    EXPECT_TRUE(std::is_sorted(seen.counts.begin(), seen.counts.end()));
    EXPECT_EQ(seen.counts.back(), 100000);
    EXPECT_EQ(seen.countTexts.back(), "100000");
    EXPECT_EQ(form.progressMaximum(), 100000);
    EXPECT_EQ(form.ProgressBar1->value(), form.ProgressBar1->maximum()) << "the bar ends full";
    EXPECT_GT(barPaints.paints, 0) << "the bar is painted while the transfer blocks the event loop";
    EXPECT_EQ(form.ftpfil->text(), "tabell.txt");
    EXPECT_EQ(form.windowTitle(), "ftp.solvemar.no") << "the caption is ftpserver as it was when shown";
    EXPECT_FALSE(form.isVisible());
    expectNoPasswordInLog();
}

TEST_F(FtpTransferTest, SecondDownloadKeepsThePreviousVersion) {
    startServer();
    testsupport::WriteFileBytes(remote("kart.xml"), "ny versjon");
    const std::string L = local("kart.xml");
    const std::string O = local("kart.old");
    testsupport::WriteFileBytes(L, "forrige versjon");
    testsupport::WriteFileBytes(O, "eldste versjon");
    TFTPform form;

    form.HentFil(L);

    EXPECT_EQ(ftpunit::ftpfeil(), 0);
    EXPECT_EQ(testsupport::ReadFileBytes(L), "ny versjon");
    EXPECT_EQ(testsupport::ReadFileBytes(O), "forrige versjon");
    const auto lines = logMessages();
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_THAT(std::vector<std::string>(lines.begin() + 5, lines.end()),
                ElementsAre("FTP: slettet midlertidig fil: " + O, "FTP: endret navn på " + L + " til " + O,
                            "FTP: endret navn på " + local("kart.tmp") + " til " + L));
}

TEST_F(FtpTransferTest, EmptyRemoteFileLeavesTheTemporaryFileAndMovesNothing) {
    startServer();
    testsupport::WriteFileBytes(remote("tom.txt"), "");
    const std::string L = local("tom.txt");
    testsupport::WriteFileBytes(L, "innhold");
    TFTPform form;

    form.HentFil(L);

    EXPECT_EQ(ftpunit::ftpfeil(), 0);
    EXPECT_EQ(ftpunit::LastOutcome(), ftpunit::Outcome::EmptyDownload);
    EXPECT_EQ(testsupport::ReadFileBytes(L), "innhold");
    EXPECT_TRUE(fs::exists(local("tom.tmp")));
    EXPECT_EQ(fs::file_size(local("tom.tmp")), 0u);
    EXPECT_FALSE(fs::exists(local("tom.old")));
    EXPECT_EQ(logMessages().back(), "FTP: Kobler fra.");
    EXPECT_FALSE(form.isVisible());
}

TEST_F(FtpTransferTest, MissingRemoteFileStopsWithTheWindowShown) {
    startServer();
    const std::string L = local("borte.txt");
    TFTPform form;

    form.HentFil(L);

    EXPECT_EQ(ftpunit::ftpfeil(), 0);
    EXPECT_EQ(ftpunit::LastOutcome(), ftpunit::Outcome::RemoteFileNotFound);
    EXPECT_THAT(logMessages(),
                ElementsAre("FTP: Starter ny sesjon for nedlasting av borte.txt til " + folderLine(), connectLine(),
                            "FTP: finner ikke filen borte.txt, avbryter forbindelse", "FTP: 127.0.0.1 frakoblet"));
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(form.panelText(1), "Frakoblet");
    EXPECT_TRUE(fs::is_empty(m_local)) << "no local file created";
}

TEST_F(FtpTransferTest, WrongPasswordIs501Or502AndTheServersWordsFollow) {
    m_server = std::make_unique<FtpServerProcess>(m_env.root() / "server", kUser, kPassword);
    loadIni("[STANDARD]\nLogToFile=1\n" + ftpEntry("127.0.0.1", m_server->port(), kUser, "feil-passord"));
    testsupport::WriteFileBytes(remote("a.txt"), "server");
    const std::string L = local("a.txt");
    testsupport::WriteFileBytes(L, "lokal");
    TFTPform form;

    form.HentFil(L);

    const std::string refused = "FTP: serveren svarte: 530 Authentication failed.";
    EXPECT_EQ(ftpunit::ftpfeil(), 501);
    EXPECT_EQ(ftpunit::ServerReply(), "530 Authentication failed.");
    EXPECT_THAT(logMessages(),
                ElementsAre("FTP: Starter ny sesjon for nedlasting av a.txt til " + folderLine(), connectLine(),
                            "FTP: Feil nr. 501, kunne ikke koble til 127.0.0.1 med brukernavn " + kUser, refused));
    EXPECT_EQ(testsupport::ReadFileBytes(L), "lokal");
    EXPECT_FALSE(fs::exists(local("a.tmp")));
    EXPECT_FALSE(form.isVisible());

    form.SendFil(L);
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
    TFTPform form;

    form.SendFil(L);
    EXPECT_EQ(ftpunit::ftpfeil(), 502);
    EXPECT_EQ(ftpunit::LastOutcome(), ftpunit::Outcome::ConnectFailed);
    EXPECT_EQ(ftpunit::ServerReply(), "") << "no server, no words of its own";
    EXPECT_FALSE(form.isVisible());

    form.HentFil(L);
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
    testsupport::WriteFileBytes(remote("data.bin"), bytesOf(200000, 'q'));
    const std::string L = local("data.bin");
    const std::string O = local("data.old");
    testsupport::WriteFileBytes(L, "god fil");
    testsupport::WriteFileBytes(O, "forrige");
    TFTPform form;

    form.HentFil(L);

    EXPECT_EQ(ftpunit::ftpfeil(), 500);
    EXPECT_EQ(testsupport::ReadFileBytes(L), "god fil");
    EXPECT_EQ(testsupport::ReadFileBytes(O), "forrige");
    EXPECT_EQ(fs::file_size(local("data.tmp")), 100000u) << "the short file stays for inspection";
    const auto lines = logMessages();
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[4], "FTP: Feil nr. 500, kan ikke laste ned filen " + L + ". Sjekk at filen ikke er i bruk.");
    EXPECT_EQ(lines[5], "FTP: Kobler fra.");
}

TEST_F(FtpTransferTest, NoFtpEntryAsksTheUserBeforeConnecting) {
    m_server = std::make_unique<FtpServerProcess>(m_env.root() / "server", kUser, kPassword);
    loadIni("[STANDARD]\nLogToFile=1\n");
    testsupport::WriteFileBytes(remote("ny.txt"), "fra serveren");
    serveroppsett::TServerOppsettForm dialog;
    TFTPform form;
    bool asked = false;
    auto* timer = new QTimer;
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [&] {
        if (!dialog.isVisible()) {
            return;
        }
        timer->stop();
        asked = true;
        EXPECT_EQ(dialog.windowTitle(), "Oppsett FTP-server");
        EXPECT_EQ(dialog.server->text(), "ftp.solvemar.no");
        EXPECT_EQ(dialog.port->text(), "21");
        for (const auto& line : logMessages()) {
            EXPECT_EQ(line.find("FTP: Kobler til "), std::string::npos) << "dialog before connecting";
        }
        hs_reg::setsection("SERVER-SETTING-FTP");
        EXPECT_EQ(hs_reg::readstr("password"), felles::SkjulTekst("besokende"));
        EXPECT_EQ(hs_reg::readstr("SSL"), "");
        hs_reg::resetsection();
        dialog.server->setText("127.0.0.1");
        dialog.port->setText(QString::number(m_server->port()));
        dialog.brukernavn->setText(QString::fromStdString(kUser));
        dialog.passord->setText(QString::fromStdString(kPassword));
        dialog.close();
    });
    timer->start();

    form.HentFil(local("ny.txt"));
    delete timer;

    EXPECT_TRUE(asked);
    EXPECT_EQ(ftpunit::ftpfeil(), 0);
    EXPECT_EQ(testsupport::ReadFileBytes(local("ny.txt")), "fra serveren");
    EXPECT_EQ(logMessages().at(1), connectLine());
    expectNoPasswordInLog();
}

// ---- Uploads -------------------------------------------------------------------------------------

TEST_F(FtpTransferTest, UploadIntoAFolderAddsTheSlashAndKeepsIt) {
    startServer();
    fs::create_directories(remote("opp"));
    const std::string L = local("rapport.txt");
    const std::string content = bytesOf(70000, 'r');
    testsupport::WriteFileBytes(L, content);
    ftpunit::setFtpmappe("opp");
    TFTPform form;
    Observed seen;
    observe(form, seen);

    form.SendFil(L);

    EXPECT_EQ(ftpunit::ftpfeil(), 0);
    EXPECT_EQ(ftpunit::LastOutcome(), ftpunit::Outcome::Completed);
    EXPECT_EQ(testsupport::ReadFileBytes(remote("opp/rapport.txt")), content);
    EXPECT_EQ(ftpunit::ftpmappe(), "opp/");
    EXPECT_THAT(logMessages(),
                ElementsAre("FTP: Starter ny sesjon for opplasting av " + L, connectLine(), "FTP: Kobler fra."));
    EXPECT_THAT(seen.states, ElementsAre("Tilkoblet", "Laster opp data", "Frakoblet"));
    EXPECT_EQ(seen.counts.back(), 70000);
    EXPECT_EQ(form.ProgressBar1->value(), form.ProgressBar1->maximum());
    EXPECT_FALSE(form.isVisible());
    expectNoPasswordInLog();

    // A later download uses the folder with its "/".
    fs::remove(L);
    form.HentFil(L);
    EXPECT_EQ(testsupport::ReadFileBytes(L), content);
}

TEST_F(FtpTransferTest, DownloadFolderWithoutSlashIsJoinedAsItStands) {
    startServer();
    fs::create_directories(remote("opp"));
    testsupport::WriteFileBytes(remote("opp/f.txt"), "x");
    ftpunit::setFtpmappe("opp");
    TFTPform form;
    form.HentFil(local("f.txt"));
    EXPECT_EQ(ftpunit::LastOutcome(), ftpunit::Outcome::RemoteFileNotFound);
    EXPECT_EQ(logMessages().at(2), "FTP: finner ikke filen oppf.txt, avbryter forbindelse");
}

TEST_F(FtpTransferTest, UploadWithEmptyFolderGoesToTheLoginFolder) {
    startServer();
    const std::string L = local("rot.txt");
    testsupport::WriteFileBytes(L, "rot");
    TFTPform form;
    form.SendFil(L);
    EXPECT_EQ(ftpunit::ftpfeil(), 0);
    EXPECT_EQ(testsupport::ReadFileBytes(remote("rot.txt")), "rot");
    EXPECT_EQ(ftpunit::ftpmappe(), "");
}

TEST_F(FtpTransferTest, ReadOnlyFileIsNotUploadedAndNoConnectionIsMade) {
    startServer();
    const std::string L = local("las.txt");
    testsupport::WriteFileBytes(L, "skrivebeskyttet");
    ::chmod(L.c_str(), 0444);
    Observed seen;
    TFTPform form;
    observe(form, seen);

    form.SendFil(L);

    EXPECT_EQ(ftpunit::ftpfeil(), 0);
    EXPECT_EQ(ftpunit::LastOutcome(), ftpunit::Outcome::LocalSizeUnknown);
    EXPECT_THAT(logMessages(), ElementsAre("FTP: Starter ny sesjon for opplasting av " + L,
                                           "FTP: Kan ikke finne filstørrelse, avbryter."));
    EXPECT_TRUE(seen.states.empty()) << "no connection at all";
    EXPECT_EQ(ftpunit::ftpserver(), "ftp.solvemar.no") << "settings not even loaded";
    EXPECT_FALSE(fs::exists(remote("las.txt")));
    EXPECT_FALSE(form.isVisible());
}

TEST_F(FtpTransferTest, FailedUploadReachesTheCallerWithTheWindowShown) {
    startServer();
    const std::string L = local("u.txt");
    testsupport::WriteFileBytes(L, "u");
    ftpunit::setFtpmappe("finnes-ikke/");
    TFTPform form;

    EXPECT_THROW(form.SendFil(L), net::ENetException);

    EXPECT_EQ(ftpunit::ftpfeil(), 0);
    EXPECT_EQ(ftpunit::LastOutcome(), ftpunit::Outcome::UploadFailed);
    EXPECT_TRUE(form.isVisible());
    EXPECT_NE(logMessages().back(), "FTP: Kobler fra.");
}

} // namespace
