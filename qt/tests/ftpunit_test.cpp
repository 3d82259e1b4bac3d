// The transfer window with the transfer core against a real FTP server on loopback: what the user
// sees before, while and after a transfer runs, and the settings dialog the window opens itself.
#include "ModalDialog.h"
#include "TransferFixture.h"
#include "ftpunit.h"
#include "serveroppsett.h"

#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>

#include <gmock/gmock.h>

namespace {

using namespace transfertest;
using ftpunit::TFTPform;
using ::testing::ElementsAre;

// Counts the paint events a widget gets.
class PaintCounter : public QObject {
public:
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        paints += event->type() == QEvent::Paint ? 1 : 0;
        return false;
    }
};

// The window, noting what it showed each time it was told.
class ObservedForm : public TFTPform {
public:
    void showState(const std::string& text) override {
        TFTPform::showState(text);
        states.push_back(panelText(1));
        // Only the paints while the data flows count.
        if (text.rfind("Laster", 0) == 0) {
            barPaints.paints = 0;
        }
    }
    void showProgress(int barMaximum, int barPosition, const std::string& countText) override {
        TFTPform::showProgress(barMaximum, barPosition, countText);
        counts.push_back(model().position());
        countTexts.push_back(panelText(0));
    }

    std::vector<QString> states; // panel 1 after each state change
    std::vector<std::int64_t> counts;
    std::vector<QString> countTexts;
    PaintCounter barPaints;
};

// ---- The window ----------------------------------------------------------------------------------

TEST_F(TransferTest, WindowHasItsDesignedControls) {
    TFTPform form;
    EXPECT_EQ(form.windowTitle(), "FTPform");
    EXPECT_EQ(form.ftpfil->text(), "filnavn.ending");
    EXPECT_EQ(form.ftpfil->geometry(), QRect(8, 8, 201, 13));
    EXPECT_EQ(form.ProgressBar1->geometry(), QRect(8, 32, 201, 16));
    EXPECT_EQ(form.panelText(0), "0");
    EXPECT_EQ(form.panelText(1), "Klar");
}

// ---- Downloads -----------------------------------------------------------------------------------

TEST_F(FtpTransferTest, FirstDownloadPutsTheFileInPlaceWithOneRename) {
    startServer();
    const std::string content = PatternBytes(100000, 'a');
    testsupport::WriteFileBytes(remote("tabell.txt"), content);
    ObservedForm form;
    const std::string L = local("tabell.txt");
    form.ProgressBar1->installEventFilter(&form.barPaints);

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
    EXPECT_THAT(form.states, ElementsAre("Tilkoblet", "Laster ned data", "Frakoblet"));
    ASSERT_FALSE(form.counts.empty());
    EXPECT_TRUE(std::is_sorted(form.counts.begin(), form.counts.end()));
    EXPECT_EQ(form.counts.back(), 100000);
    EXPECT_EQ(form.countTexts.back(), "100000");
    EXPECT_EQ(form.model().maximum(), 100000);
    EXPECT_EQ(form.ProgressBar1->value(), form.ProgressBar1->maximum()) << "the bar ends full";
    EXPECT_GT(form.barPaints.paints, 0) << "the bar is painted while the transfer blocks the event loop";
    EXPECT_EQ(form.ftpfil->text(), "tabell.txt");
    EXPECT_EQ(form.windowTitle(), "ftp.solvemar.no") << "the caption is ftpserver as it was when shown";
    EXPECT_FALSE(form.isVisible());
    expectNoPasswordInLog();
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

TEST_F(FtpTransferTest, NoFtpEntryAsksTheUserBeforeConnecting) {
    m_server = std::make_unique<FtpServerProcess>(m_env.root() / "server", kUser, kPassword);
    loadIni("[STANDARD]\nLogToFile=1\n");
    testsupport::WriteFileBytes(remote("ny.txt"), "fra serveren");
    // No dialog wired, as in a host program that made none: the window opens one of its own.
    TFTPform form;
    const auto answer = [&](serveroppsett::TServerOppsettForm& dialog) {
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
    };

    EXPECT_TRUE(qttest::ActOnModal<serveroppsett::TServerOppsettForm>([&] { form.HentFil(local("ny.txt")); }, answer));

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
    const std::string content = PatternBytes(70000, 'r');
    testsupport::WriteFileBytes(L, content);
    ftpunit::setFtpmappe("opp");
    ObservedForm form;

    form.SendFil(L);

    EXPECT_EQ(ftpunit::ftpfeil(), 0);
    EXPECT_EQ(ftpunit::LastOutcome(), ftpunit::Outcome::Completed);
    EXPECT_EQ(testsupport::ReadFileBytes(remote("opp/rapport.txt")), content);
    EXPECT_EQ(ftpunit::ftpmappe(), "opp/");
    EXPECT_THAT(logMessages(),
                ElementsAre("FTP: Starter ny sesjon for opplasting av " + L, connectLine(), "FTP: Kobler fra."));
    EXPECT_THAT(form.states, ElementsAre("Tilkoblet", "Laster opp data", "Frakoblet"));
    EXPECT_EQ(form.counts.back(), 70000);
    EXPECT_EQ(form.ProgressBar1->value(), form.ProgressBar1->maximum());
    EXPECT_FALSE(form.isVisible());
    expectNoPasswordInLog();

    // A later download uses the folder with its "/".
    fs::remove(L);
    form.HentFil(L);
    EXPECT_EQ(testsupport::ReadFileBytes(L), content);
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
