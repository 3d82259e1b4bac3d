// A private support library for each transfer test: temporary APPDATA and working folder, an INI
// store loaded from a SOLVEMAR.INI written by the test, and the log on. FtpTransferTest adds a real
// FTP server on loopback and a local folder with a dot in its path.
#pragma once

#include "Felles.h"
#include "FtpServerProcess.h"
#include "ServerEntry.h"
#include "TempEnvironment.h"
#include "ftpentry.h"
#include "ftpstate.h"
#include "ftptransfer.h"
#include "hs_reg.h"
#include "platform.h"
#include "textfil.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace transfertest {

namespace fs = std::filesystem;
using testsupport::FtpServerProcess;

// The messages of a log file from the first "FTP: " of each line on (time stamps taken off);
// lines without it are left out.
inline std::vector<std::string> FtpLogMessages(const fs::path& logFile) {
    std::vector<std::string> messages;
    const std::string bytes = testsupport::ReadFileBytes(logFile);
    std::size_t start = 0;
    while (start < bytes.size()) {
        auto end = bytes.find("\r\n", start);
        if (end == std::string::npos) {
            end = bytes.size();
        }
        const std::string line = bytes.substr(start, end - start);
        const auto at = line.find(" FTP: ");
        if (at != std::string::npos) {
            messages.push_back(line.substr(at + 1));
        }
        start = end + 2;
    }
    return messages;
}

// Bytes that differ from place to place, so that a piece moved or lost shows.
inline std::string PatternBytes(std::size_t size, char seed) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>(seed + i * 7 % 251);
    }
    return bytes;
}

// What the transfer core reported, for the tests that run it without a window.
struct RecordedEvents : ftpunit::TransferObserver {
    void transferStarted(const std::string& fileName) override { started.push_back(fileName); }
    void stateChanged(const std::string& text) override { states.push_back(text); }
    void progressed(std::int64_t count, std::int64_t maximum) override {
        counts.push_back(count);
        lastMaximum = maximum;
    }
    void retrying(int, int, std::int64_t count) override { retriedFrom.push_back(count); }
    void transferFinished(ftpunit::WindowAfter after) override { finished = after; }

    std::vector<std::string> started;
    std::vector<std::string> states;
    std::vector<std::int64_t> counts;
    std::int64_t lastMaximum = -1;
    std::vector<std::int64_t> retriedFrom;
    std::optional<ftpunit::WindowAfter> finished;
};

// The keys of a server entry that the settings dialog writes, as stored.
struct DialogEntry {
    std::string name, server, folder, username, password, port, ssl, passive;
    friend bool operator==(const DialogEntry&, const DialogEntry&) = default;
};

inline DialogEntry readDialogEntry(const std::string& kind) {
    hs_reg::setsection(serveroppsett::SectionName(kind));
    DialogEntry e{hs_reg::readstr("name"),     hs_reg::readstr("server"),   hs_reg::readstr("folder"),
                  hs_reg::readstr("username"), hs_reg::readstr("password"), hs_reg::readstr("port"),
                  hs_reg::readstr("SSL"),      hs_reg::readstr("passive")};
    hs_reg::resetsection();
    return e;
}

// An entry of the settings dialog's kind MAIL with every field set ("pw" the password), and the key
// sslca, which the dialog has no field for.
inline void WriteMailEntry() {
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
}

// The transfer core with a client of its own, as a window or solvemar-ftp runs it.
struct CoreTransfer {
    net::TNetFTP client;
    RecordedEvents seen;
    ftpunit::Transfer run{client, seen};
};

class TransferTest : public ::testing::Test {
protected:
    void SetUp() override { resetAll(); }
    void TearDown() override { resetAll(); }

    // Writes SOLVEMAR.INI into the working folder and loads it.
    void loadIni(const std::string& text) {
        testsupport::WriteFileBytes(iniFile(), text);
        hs_reg::setIniFileName(iniFile().string());
        hs_reg::loadini();
        textfil::SetLogFileName(logFile().string());
        textfil::SetLogToFile(true);
    }

    // An FTP entry for the test server (password scrambled as the dialog stores it).
    static std::string ftpEntry(const std::string& server, int port, const std::string& user,
                                const std::string& password, const std::string& folder = "") {
        return "[SERVER-SETTING-FTP]\nname=Test\nserver=" + server + "\nfolder=" + folder + "\nusername=" + user +
               "\npassword=" + felles::SkjulTekst(password) + "\nport=" + std::to_string(port) + "\n";
    }

    fs::path iniFile() const { return m_env.work() / "SOLVEMAR.INI"; }
    fs::path logFile() const { return m_env.root() / "transfer.log"; }
    fs::path work() const { return m_env.work(); }
    std::vector<std::string> logMessages() const { return FtpLogMessages(logFile()); }
    std::string logText() const { return testsupport::ReadFileBytes(logFile()); }

    static void resetAll() {
        textfil::ResetLogState();
        textfil::SetMessageBoxHook(nullptr);
        hs_reg::resetIni();
        ftpunit::ResetFtpState();
    }

    testsupport::TempEnvironment m_env;
};

class FtpTransferTest : public TransferTest {
protected:
    static inline const std::string kUser = "kari";
    static inline const std::string kPassword = "Hemmelig7";

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
    std::string folderLine() const { return m_local.string() + platform::kSeparator; }
    std::string connectLine() const { return "FTP: Kobler til 127.0.0.1 som bruker " + kUser; }

    void expectNoPasswordInLog() const {
        EXPECT_EQ(logText().find(kPassword), std::string::npos) << "the password must never be logged";
    }

    fs::path m_local;
    std::unique_ptr<FtpServerProcess> m_server;
};

} // namespace transfertest
