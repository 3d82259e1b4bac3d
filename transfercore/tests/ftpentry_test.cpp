// The FTP entry and the connection settings a transfer gets from it, without any dialog: the one
// the program wires is stood in for by a plain function.
#include "TransferFixture.h"

#include <functional>

namespace {

using namespace transfertest;

struct Entry {
    std::string server, username, password, port;
};

Entry readFtpEntry() {
    hs_reg::setsection("SERVER-SETTING-FTP");
    Entry e{hs_reg::readstr("server"), hs_reg::readstr("username"), hs_reg::readstr("password"),
            hs_reg::readstr("port")};
    hs_reg::resetsection();
    return e;
}

class ServerOppsettTest : public TransferTest {
protected:
    void SetUp() override {
        TransferTest::SetUp();
        loadIni("[STANDARD]\n");
    }
};

TEST_F(ServerOppsettTest, LesFTPOppsettReplacesStartValuesEvenWithoutSection) {
    EXPECT_EQ(ftpunit::ftpserver(), "ftp.solvemar.no");
    EXPECT_EQ(ftpunit::ftpbruker(), "anonymous");
    EXPECT_EQ(ftpunit::ftppassord(), "besokende");
    EXPECT_EQ(ftpunit::ftpport(), 21);
    ftpunit::LesFTPOppsett();
    EXPECT_EQ(ftpunit::ftpserver(), "");
    EXPECT_EQ(ftpunit::ftpbruker(), "");
    EXPECT_EQ(ftpunit::ftppassord(), "");
    EXPECT_EQ(ftpunit::ftpport(), 0);
    EXPECT_EQ(ftpunit::ConnectPort(), 21);
    EXPECT_FALSE(ftpunit::PassiveMode()) << "no flag: active mode, as before";
    EXPECT_FALSE(ftpunit::ftpssl()) << "no flag: clear text, as before";
    EXPECT_EQ(ftpunit::TrustedCertificatesFile(), "") << "no file: the system's certificates";

    hs_reg::setsection("SERVER-SETTING-FTP");
    hs_reg::writestr("server", "ftp.example");
    hs_reg::writestr("username", "ola");
    hs_reg::writestr("password", felles::SkjulTekst("pass"));
    hs_reg::writestr("port", "2121");
    hs_reg::writebool("passive", true);
    hs_reg::writebool("SSL", true);
    hs_reg::writestr("sslca", "sertifikater/ca.pem");
    hs_reg::resetsection();
    ftpunit::LesFTPOppsett();
    EXPECT_TRUE(ftpunit::ftpssl());
    EXPECT_EQ(ftpunit::ftpsslca(), "sertifikater/ca.pem");
    // Beside SOLVEMAR.INI, wherever the program was started; a full path stays as it is.
    EXPECT_EQ(ftpunit::TrustedCertificatesFile(), hs_reg::IniFolder() + "sertifikater/ca.pem");
    const std::string fullPath = (m_env.root() / "private-ca.pem").string();
    hs_reg::setsection("SERVER-SETTING-FTP");
    hs_reg::writestr("sslca", fullPath);
    hs_reg::resetsection();
    ftpunit::LesFTPOppsett();
    EXPECT_EQ(ftpunit::TrustedCertificatesFile(), fullPath);
    EXPECT_EQ(ftpunit::ftpserver(), "ftp.example");
    EXPECT_EQ(ftpunit::ftpbruker(), "ola");
    EXPECT_EQ(ftpunit::ftppassord(), "pass");
    EXPECT_EQ(ftpunit::ftpport(), 2121);
    EXPECT_EQ(ftpunit::ConnectPort(), 2121);
    EXPECT_TRUE(ftpunit::PassiveMode());

    // The host program's choice outlives a reload of an entry without the flag.
    hs_reg::setsection("SERVER-SETTING-FTP");
    hs_reg::writebool("passive", false);
    hs_reg::resetsection();
    ftpunit::setForcePassive(true);
    ftpunit::LesFTPOppsett();
    EXPECT_TRUE(ftpunit::PassiveMode());
    ftpunit::setForcePassive(false);
    EXPECT_FALSE(ftpunit::PassiveMode());
}

TEST_F(ServerOppsettTest, PortAndSslAreNumbersTheClientCanUseOrTheEntryIsRefused) {
    const std::string refusedPort = " i FTP-oppsettet er ingen gyldig port (0 til 65535); ingenting er sendt";
    const std::string refusedSsl = " i FTP-oppsettet er ikke et tall (1: med TLS, 0: uten); ingenting er sendt";
    const struct {
        std::string keys;
        std::int32_t port;
        bool ssl;
        std::string problem;
    } rows[] = {
        {"port=2121", 2121, false, ""},
        // 0, missing and no number at all mean the default port, as they always have.
        {"port=0", 21, false, ""},
        {"", 21, false, ""},
        {"port=abc", 21, false, ""},
        {"port=65557", 0, false, "port=65557" + refusedPort},
        {"port=-1", 0, false, "port=-1" + refusedPort},
        {"port=99999999999", 0, false, "port=99999999999" + refusedPort},
        {"SSL=1", 21, true, ""},
        {"SSL=0", 21, false, ""},
        {"SSL=true", 0, false, "SSL=true" + refusedSsl},
        {"SSL=ja", 0, false, "SSL=ja" + refusedSsl},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.keys);
        loadIni("[STANDARD]\n[SERVER-SETTING-FTP]\nserver=s\n" + row.keys + "\n");
        ftpunit::LesFTPOppsett();
        EXPECT_EQ(ftpunit::EntryProblem(), row.problem);
        if (row.problem.empty()) {
            EXPECT_EQ(ftpunit::ConnectPort(), row.port);
            EXPECT_EQ(ftpunit::ftpssl(), row.ssl);
        }
    }
}

TEST_F(ServerOppsettTest, SjekkFTPOppsettFillsGuestLoginWithoutWritingIt) {
    hs_reg::setsection("SERVER-SETTING-FTP");
    hs_reg::writestr("server", "ftp.example");
    hs_reg::resetsection();
    const Entry before = readFtpEntry();
    ftpunit::SjekkFTPOppsett();
    EXPECT_EQ(ftpunit::ftpserver(), "ftp.example");
    EXPECT_EQ(ftpunit::ftpbruker(), "anonymous");
    EXPECT_EQ(ftpunit::ftppassord(), "besokende");
    const Entry after = readFtpEntry();
    EXPECT_EQ(after.username, before.username);
    EXPECT_EQ(after.password, before.password);
}

TEST_F(ServerOppsettTest, SjekkFTPOppsettOpensTheWiredDialogOnlyWithoutServer) {
    struct Row {
        const char* name;
        std::string entry; // keys of [SERVER-SETTING-FTP], or no section at all
        bool wired;
        std::string typed; // the server the user leaves in the dialog
        int openings;
        std::string server;
    };
    const Row rows[] = {
        {"no entry: the dialog shows the defaults, its server is used", "", true, "ftp.valgt", 1, "ftp.valgt"},
        {"no dialog wired: the defaults as written", "", false, "", 0, "ftp.solvemar.no"},
        {"a server in the entry: no dialog", "[SERVER-SETTING-FTP]\nserver=ftp.example\n", true, "", 0, "ftp.example"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        resetAll();
        loadIni("[STANDARD]\n" + row.entry);
        int openings = 0;
        if (row.wired) {
            ftpunit::setSettingsDialog([&](const std::string& caption, const std::string& kind) {
                ++openings;
                EXPECT_EQ(caption, "Oppsett FTP-server");
                EXPECT_EQ(kind, "FTP");
                const Entry shown = readFtpEntry();
                EXPECT_EQ(shown.server, "ftp.solvemar.no") << "the defaults are written first";
                EXPECT_EQ(shown.password, felles::SkjulTekst("besokende"));
                EXPECT_EQ(shown.port, "21");
                hs_reg::setsection("SERVER-SETTING-FTP");
                hs_reg::writestr("server", row.typed);
                hs_reg::resetsection();
            });
        }
        ftpunit::SjekkFTPOppsett();
        EXPECT_EQ(openings, row.openings);
        EXPECT_EQ(ftpunit::ftpserver(), row.server);
        EXPECT_EQ(ftpunit::ftpbruker(), "anonymous");
    }
}

} // namespace
