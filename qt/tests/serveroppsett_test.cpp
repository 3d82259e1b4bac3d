// The server settings dialog and the FTP entry: what reaches the INI store however the dialog is
// closed, and what the transfer gets from the entry.
#include "Felles.h"
#include "TransferFixture.h"
#include "ftpunit.h"
#include "serveroppsett.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

#include <functional>
#include <string>

namespace {

using namespace transfertest;
using serveroppsett::TServerOppsettForm;

struct Entry {
    std::string name, server, folder, username, password, port, ssl, passive;
};

Entry readEntry(const std::string& kind) {
    hs_reg::setsection(serveroppsett::SectionName(kind));
    Entry e{hs_reg::readstr("name"),     hs_reg::readstr("server"),   hs_reg::readstr("folder"),
            hs_reg::readstr("username"), hs_reg::readstr("password"), hs_reg::readstr("port"),
            hs_reg::readstr("SSL"),      hs_reg::readstr("passive")};
    hs_reg::resetsection();
    return e;
}

// Opens the dialog modally and runs `act` on it once it shows; `act` must close it.
void openAndAct(TServerOppsettForm& form, const std::string& caption, const std::string& kind,
                std::function<void(TServerOppsettForm&)> act) {
    auto* timer = new QTimer;
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [&form, act, timer] {
        if (form.isVisible()) {
            timer->stop();
            act(form);
        }
    });
    timer->start();
    form.VisServerOppsett(caption, kind);
    delete timer;
}

class ServerOppsettTest : public TransferTest {
protected:
    void SetUp() override {
        TransferTest::SetUp();
        loadIni("[STANDARD]\n");
    }
};

TEST(ServerOppsettDefaults, DefaultPortPerKindComparedExactly) {
    const struct {
        const char* name;
        const char* kind;
        const char* port;
    } rows[] = {
        {"ftp", "FTP", "21"},           {"http", "HTTP", "80"},
        {"log as listed", "LOG", "80"}, {"cfg as listed", "CFG", "21"},
        {"smb", "SMB", "445"},          {"mail as listed", "MAIL", "80"},
        {"rdp", "RDP", "3389"},         {"lower case smb has none", "smb", ""},
        {"unknown kind", "WEB", ""},    {"empty kind", "", ""},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(serveroppsett::DefaultPort(row.kind), row.port) << row.name;
    }
}

TEST_F(ServerOppsettTest, NewKindShowsEmptyFieldsAndClosingCreatesTheSection) {
    const struct {
        const char* kind;
        const char* port;
    } rows[] = {{"SMB", "445"}, {"smb", ""}, {"XYZ", ""}, {"RDP", "3389"}};
    TServerOppsettForm form;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.kind);
        // Sections match without regard to case, so each kind starts from an empty store.
        resetAll();
        loadIni("[STANDARD]\n");
        openAndAct(form, "Oppsett", row.kind, [](TServerOppsettForm& f) {
            EXPECT_TRUE(f.navn->text().isEmpty());
            EXPECT_TRUE(f.server->text().isEmpty());
            EXPECT_TRUE(f.mappe->text().isEmpty());
            EXPECT_TRUE(f.brukernavn->text().isEmpty());
            EXPECT_TRUE(f.passord->text().isEmpty());
            EXPECT_TRUE(f.port->text().isEmpty());
            EXPECT_FALSE(f.SSLL->isChecked());
            EXPECT_FALSE(f.Passiv->isChecked());
            f.close();
        });
        const Entry e = readEntry(row.kind);
        EXPECT_EQ(e.name, "");
        EXPECT_EQ(e.server, "");
        EXPECT_EQ(e.folder, "");
        EXPECT_EQ(e.username, "");
        EXPECT_EQ(e.password, felles::SkjulTekst(""));
        EXPECT_EQ(e.port, row.port);
        EXPECT_EQ(e.ssl, "0");
        EXPECT_EQ(e.passive, "0");
        EXPECT_EQ(form.port->text().toStdString(), row.port) << "the field shows the default too";
    }
}

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
        openAndAct(form, "Oppsett", "HTTP", [&](TServerOppsettForm& f) {
            f.server->setText(server);
            f.SSLL->setChecked(n % 2 == 1);
            f.Passiv->setChecked(n % 4 < 2);
            row.close(f);
        });
        EXPECT_FALSE(form.isVisible()) << row.name;
        const Entry e = readEntry("HTTP");
        EXPECT_EQ(e.server, server.toStdString()) << row.name;
        EXPECT_EQ(e.ssl, n % 2 == 1 ? "1" : "0") << row.name;
        EXPECT_EQ(e.passive, n % 4 < 2 ? "1" : "0") << row.name;
        EXPECT_EQ(e.port, "80") << row.name;
    }
}

TEST_F(ServerOppsettTest, TypedPortIsStoredAsTypedAndCaptionIsTheCallers) {
    const struct {
        const char* name;
        const char* typed;
    } rows[] = {{"other number", "2121"}, {"spaces are not empty", "   "}, {"not a number", "abc"}};
    TServerOppsettForm form;
    for (const auto& row : rows) {
        openAndAct(form, "Oppsett FTP-server", "FTP", [&](TServerOppsettForm& f) {
            EXPECT_EQ(f.windowTitle(), "Oppsett FTP-server");
            f.port->setText(row.typed);
            f.close();
        });
        EXPECT_EQ(readEntry("FTP").port, row.typed) << row.name;
    }
}

TEST_F(ServerOppsettTest, PasswordIsStoredScrambledAndShownPlain) {
    TServerOppsettForm form;
    openAndAct(form, "Oppsett", "FTP", [](TServerOppsettForm& f) {
        f.passord->setText(QString::fromUtf8("hemmelig-æøå"));
        f.close();
    });
    const std::string plain = QString::fromUtf8("hemmelig-æøå").toLocal8Bit().toStdString();
    EXPECT_EQ(readEntry("FTP").password, felles::SkjulTekst(plain));
    hs_reg::saveini();
    EXPECT_EQ(testsupport::ReadFileBytes(iniFile()).find("hemmelig"), std::string::npos);

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

TEST_F(ServerOppsettTest, ShowingOverwritesEveryFieldFromTheKindsOwnEntry) {
    hs_reg::setsection("SERVER-SETTING-MAIL");
    hs_reg::writestr("name", "Post");
    hs_reg::writestr("server", "mail.example");
    hs_reg::writestr("folder", "inn");
    hs_reg::writestr("username", "kari");
    hs_reg::writestr("password", felles::SkjulTekst("pw"));
    hs_reg::writestr("port", "25");
    hs_reg::writebool("SSL", true);
    hs_reg::writebool("passive", true);
    hs_reg::writestr("sslca", "ca.pem");
    hs_reg::resetsection();

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
        f.close();
    });
    openAndAct(form, "Oppsett", "LOG", [](TServerOppsettForm& f) {
        EXPECT_TRUE(f.navn->text().isEmpty());
        EXPECT_TRUE(f.passord->text().isEmpty());
        EXPECT_FALSE(f.SSLL->isChecked());
        EXPECT_FALSE(f.Passiv->isChecked());
        f.close();
    });
    EXPECT_EQ(hs_reg::currentsection(), "STANDARD");
    // The dialog has no field for sslca: saving leaves the key as the user wrote it.
    hs_reg::setsection("SERVER-SETTING-MAIL");
    EXPECT_EQ(hs_reg::readstr("sslca"), "ca.pem");
    hs_reg::resetsection();
}

TEST_F(ServerOppsettTest, LongTextsAreStoredCutTo255) {
    TServerOppsettForm form;
    const QString longText(300, QChar('x'));
    openAndAct(form, "Oppsett", "CFG", [&](TServerOppsettForm& f) {
        f.navn->setText(longText);
        f.server->setText(longText);
        f.port->setText(longText);
        f.close();
    });
    const Entry e = readEntry("CFG");
    EXPECT_EQ(e.name, std::string(255, 'x'));
    EXPECT_EQ(e.server, std::string(255, 'x'));
    EXPECT_EQ(e.port, std::string(255, 'x'));
}

TEST_F(ServerOppsettTest, TabOrderFollowsTheFields) {
    TServerOppsettForm form;
    std::vector<QWidget*> chain{form.navn};
    for (int i = 0; i < 7; ++i) {
        QWidget* next = chain.back()->nextInFocusChain();
        while (next->focusPolicy() == Qt::NoFocus) {
            next = next->nextInFocusChain();
        }
        chain.push_back(next);
    }
    const std::vector<QWidget*> expected{form.navn,    form.server, form.mappe, form.brukernavn,
                                         form.passord, form.port,   form.SSLL,  form.Passiv};
    EXPECT_EQ(chain, expected);
}

TEST_F(ServerOppsettTest, PassivSitsUnderSslAndTheDialogGrowsToHoldIt) {
    TServerOppsettForm form;
    EXPECT_EQ(form.Passiv->text(), "Passiv");
    EXPECT_EQ(form.Passiv->x(), form.SSLL->x());
    EXPECT_GE(form.Passiv->y(), form.SSLL->geometry().bottom() + 1);
    EXPECT_GE(form.Passiv->width(), form.Passiv->sizeHint().width()) << "the caption is not cut";
    // The room below the lowest control stays what it was below the fields.
    EXPECT_EQ(form.height() - form.Passiv->geometry().bottom(), 283 - form.SSLL->geometry().bottom());
    EXPECT_EQ(form.width(), 449);
}

// ---- The FTP entry through the dialog ----------------------------------------------------------

TEST_F(ServerOppsettTest, SjekkFTPOppsettWithoutEntryWritesDefaultsAndAsksTheUser) {
    TServerOppsettForm form;
    // As the programs wire their own dialog.
    ftpunit::setSettingsDialog(
        [&form](const std::string& caption, const std::string& kind) { form.VisServerOppsett(caption, kind); });
    bool asked = false;
    auto* timer = new QTimer;
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [&] {
        if (!form.isVisible()) {
            return;
        }
        timer->stop();
        asked = true;
        EXPECT_EQ(form.windowTitle(), "Oppsett FTP-server");
        EXPECT_EQ(form.servertype(), "FTP");
        const Entry e = readEntry("FTP");
        EXPECT_EQ(e.name, "Solvemar FTP-server");
        EXPECT_EQ(e.server, "ftp.solvemar.no");
        EXPECT_EQ(e.folder, "");
        EXPECT_EQ(e.username, "anonymous");
        EXPECT_EQ(e.password, felles::SkjulTekst("besokende"));
        EXPECT_EQ(e.port, "21");
        EXPECT_EQ(e.ssl, "") << "SSL is not written with the defaults";
        EXPECT_EQ(e.passive, "") << "nor is passive";
        EXPECT_EQ(form.server->text(), "ftp.solvemar.no");
        EXPECT_EQ(form.passord->text(), "besokende");
        form.server->setText("ftp.valgt");
        form.port->setText("990");
        form.close();
    });
    timer->start();
    ftpunit::SjekkFTPOppsett();
    delete timer;
    EXPECT_TRUE(asked);
    EXPECT_EQ(ftpunit::ftpserver(), "ftp.valgt") << "the entry is read again after the dialog";
    EXPECT_EQ(ftpunit::ftpport(), 990);
    EXPECT_EQ(readEntry("FTP").ssl, "0");
}

} // namespace
