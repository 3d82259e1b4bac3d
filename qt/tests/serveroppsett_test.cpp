// The server settings dialog and the FTP entry: what reaches the INI store however the dialog is
// closed, and what the transfer gets from the entry.
#include "Felles.h"
#include "ModalDialog.h"
#include "TransferFixture.h"
#include "ftpunit.h"
#include "serveroppsett.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QTest>

#include <functional>
#include <string>

namespace {

using namespace transfertest;
using serveroppsett::TServerOppsettForm;

// Opens the dialog modally and runs `act` on it once it shows; `act` must close it.
void openAndAct(TServerOppsettForm& form, const std::string& caption, const std::string& kind,
                const std::function<void(TServerOppsettForm&)>& act) {
    EXPECT_TRUE(qttest::ActOnModal<TServerOppsettForm>([&] { form.VisServerOppsett(caption, kind); }, act));
}

class ServerOppsettTest : public TransferTest {
protected:
    void SetUp() override {
        TransferTest::SetUp();
        loadIni("[STANDARD]\n");
    }
};

TEST_F(ServerOppsettTest, EveryWayOfClosingSaves) {
    const struct {
        const char* name;
        std::function<void(TServerOppsettForm&)> close;
    } rows[] = {
        {"title-bar close", [](TServerOppsettForm& f) { f.close(); }},
        {"escape key", [](TServerOppsettForm& f) { QTest::keyClick(&f, Qt::Key_Escape); }},
        {"reject", [](TServerOppsettForm& f) { f.reject(); }},
        {"hide", [](TServerOppsettForm& f) { f.hide(); }},
    };
    TServerOppsettForm form;
    int n = 0;
    for (const auto& row : rows) {
        const QString server = QString("server%1").arg(++n);
        openAndAct(form, "Oppsett HTTP", "HTTP", [&](TServerOppsettForm& f) {
            EXPECT_EQ(f.windowTitle(), "Oppsett HTTP") << "the caller's caption";
            f.server->setText(server);
            f.SSLL->setChecked(n % 2 == 1);
            f.Passiv->setChecked(n % 4 < 2);
            row.close(f);
        });
        EXPECT_FALSE(form.isVisible()) << row.name;
        const DialogEntry e = readDialogEntry("HTTP");
        EXPECT_EQ(e.server, server.toStdString()) << row.name;
        EXPECT_EQ(e.ssl, n % 2 == 1 ? "1" : "0") << row.name;
        EXPECT_EQ(e.passive, n % 4 < 2 ? "1" : "0") << row.name;
        EXPECT_EQ(e.port, "80") << row.name;
        EXPECT_EQ(form.port->text(), "80") << "the field shows the default port saved";
    }
}

TEST_F(ServerOppsettTest, PasswordWithNorwegianLettersIsStoredScrambledAndShownPlain) {
    TServerOppsettForm form;
    openAndAct(form, "Oppsett", "FTP", [](TServerOppsettForm& f) {
        f.passord->setText(QString::fromUtf8("hemmelig-æøå"));
        f.close();
    });
    const std::string plain = QString::fromUtf8("hemmelig-æøå").toLocal8Bit().toStdString();
    EXPECT_EQ(readDialogEntry("FTP").password, felles::SkjulTekst(plain));

    openAndAct(form, "Oppsett", "FTP", [](TServerOppsettForm& f) {
        EXPECT_EQ(f.passord->text(), QString::fromUtf8("hemmelig-æøå"));
        f.close();
    });
}

TEST_F(ServerOppsettTest, DoubleClickTogglesMaskingAndTheStateSurvivesReopening) {
    TServerOppsettForm form;
    EXPECT_EQ(form.passord->echoMode(), QLineEdit::Password);
    EXPECT_EQ(form.passord->toolTip(), QString::fromUtf8("Dobbelklikk for å skjule/vise passord i klartekst"));
    EXPECT_EQ(form.SSLL->toolTip(), QString::fromUtf8("Krypterer innlogging og overføring med TLS (FTPS). Serverens "
                                                      "sertifikat må kunne bekreftes mot systemets sertifikater eller "
                                                      "filen i nøkkelen sslca."));
    openAndAct(form, "Oppsett", "FTP", [](TServerOppsettForm& f) {
        QTest::mouseDClick(f.passord, Qt::LeftButton);
        EXPECT_EQ(f.passord->echoMode(), QLineEdit::Normal);
        f.close();
    });
    openAndAct(form, "Oppsett", "FTP", [](TServerOppsettForm& f) {
        EXPECT_EQ(f.passord->echoMode(), QLineEdit::Normal) << "masking kept across openings";
        QTest::mouseDClick(f.passord, Qt::LeftButton);
        EXPECT_EQ(f.passord->echoMode(), QLineEdit::Password);
        f.close();
    });
}

TEST_F(ServerOppsettTest, FieldsShowTheKindsEntryAndFocusStartsOnNavn) {
    WriteMailEntry();

    TServerOppsettForm form;
    openAndAct(form, "Oppsett", "MAIL", [](TServerOppsettForm& f) {
        EXPECT_EQ(f.navn->text(), "Post");
        EXPECT_EQ(f.server->text(), "mail.example");
        EXPECT_EQ(f.mappe->text(), "inn");
        EXPECT_EQ(f.brukernavn->text(), "kari");
        EXPECT_EQ(f.passord->text(), "pw");
        EXPECT_EQ(f.port->text(), "25");
        EXPECT_TRUE(f.SSLL->isChecked());
        EXPECT_TRUE(f.Passiv->isChecked());
        EXPECT_EQ(f.focusWidget(), f.navn) << "first focus on navn";
        for (QLineEdit* edit : {f.navn, f.server, f.mappe, f.brukernavn, f.passord, f.port}) {
            edit->setText(edit->objectName() + "2");
        }
        f.SSLL->setChecked(false);
        f.close();
    });
    const DialogEntry e = readDialogEntry("MAIL");
    EXPECT_EQ(std::vector<std::string>({e.name, e.server, e.folder, e.username, e.password, e.port, e.ssl, e.passive}),
              std::vector<std::string>(
                  {"navn2", "server2", "mappe2", "brukernavn2", felles::SkjulTekst("passord2"), "port2", "0", "1"}))
        << "each field saved to its own key";
}

// ---- The FTP entry through the dialog ----------------------------------------------------------

TEST_F(ServerOppsettTest, SjekkFTPOppsettWithoutEntryWritesDefaultsAndAsksTheUser) {
    TServerOppsettForm form;
    // As the programs wire their own dialog.
    ftpunit::setSettingsDialog(
        [&form](const std::string& caption, const std::string& kind) { form.VisServerOppsett(caption, kind); });
    EXPECT_TRUE(qttest::ActOnModal<TServerOppsettForm>(ftpunit::SjekkFTPOppsett, [&](TServerOppsettForm& shown) {
        EXPECT_EQ(&shown, &form);
        EXPECT_EQ(form.windowTitle(), "Oppsett FTP-server");
        EXPECT_EQ(form.servertype(), "FTP");
        // SSL and passive are not written with the defaults.
        EXPECT_EQ(readDialogEntry("FTP"), (DialogEntry{"Solvemar FTP-server", "ftp.solvemar.no", "", "anonymous",
                                                       felles::SkjulTekst("besokende"), "21", "", ""}));
        EXPECT_EQ(form.server->text(), "ftp.solvemar.no");
        EXPECT_EQ(form.passord->text(), "besokende");
        form.server->setText("ftp.valgt");
        form.port->setText("990");
        form.close();
    }));
    EXPECT_EQ(ftpunit::ftpserver(), "ftp.valgt") << "the entry is read again after the dialog";
    EXPECT_EQ(ftpunit::ftpport(), 990);
    EXPECT_EQ(readDialogEntry("FTP").ssl, "0");
}

} // namespace
