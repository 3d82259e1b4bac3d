// A private support library for each transfer test: temporary APPDATA and working folder, an INI
// store loaded from a SOLVEMAR.INI written by the test, and the log on.
#pragma once

#include "Felles.h"
#include "TempEnvironment.h"
#include "ftpunit.h"
#include "hs_reg.h"
#include "textfil.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace transfertest {

namespace fs = std::filesystem;

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

} // namespace transfertest
