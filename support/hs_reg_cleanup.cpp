// Emptying temporary folders: which folders are emptied, and the log lines and busy cursor of the
// walk. The walk itself, which never follows a link out of the folder it empties, is the platform's.
#include <string>

#include "hs_reg.h"
#include "platform.h"
#include "textfil.h"

namespace hs_reg {

namespace {

constexpr std::size_t kMinFolderLength = 7;

BusyCursorHook g_busyCursor;

void busy(bool on) {
    if (g_busyCursor) {
        g_busyCursor(on);
    }
}

bool containsWord(const std::string& path, const char* word) {
    return platform::toUpperAscii(path).find(word) != std::string::npos;
}

// The clean-up's log lines and busy cursor for each step of emptying a folder.
class CleanupLog : public platform::EmptyingEvents {
public:
    CleanupLog() : m_verbose(textfil::VerboseLogging()) {}

    void enteringFolder(const std::string& path) override {
        busy(true);
        if (m_verbose) {
            textfil::WriteLog("Sletter mappen " + path);
        }
    }
    void removingFile(const std::string& folder, const std::string& name) override {
        if (m_verbose) {
            textfil::WriteLog("Sletter " + folder + name);
        }
    }
    void fileStays(const std::string& folder, const std::string& name) override {
        textfil::WriteLog("FEIL: kan ikke slette filen " + folder + name);
    }
    void leftFolder(const std::string& path, platform::FolderLeft how) override {
        if (how == platform::FolderLeft::Stays) {
            textfil::WriteLog("FEIL: kan ikke slette mappen " + path);
        }
        busy(false);
    }

private:
    const bool m_verbose;
};

} // namespace

void deletetree(const std::string& folder, const std::string& top) {
    CleanupLog log;
    platform::emptyFolder(folder, folder != top ? platform::FolderItself::Goes : platform::FolderItself::Stays, log);
}

void cleanfolder(std::string folder) {
    if (folder.empty() || folder.back() != platform::kSeparator) {
        folder += platform::kSeparator;
    }
    if (folder.size() >= kMinFolderLength && platform::folderExists(folder)) {
        deletetree(folder, folder);
    }
}

void deletetempfiles(bool includeSystemFolders) {
    textfil::WriteLog("Sletter midlertidige filer opprettet av Solvemar programmer");
    const std::string tmp = solvemarpath("tmp");
    if (tmp.size() > 3 && containsWord(tmp, "TMP")) {
        cleanfolder(tmp);
    }
    if (!includeSystemFolders) {
        return;
    }
    const std::string temp = tempdir() + platform::kSeparator;
    if (temp.size() > 3 && containsWord(temp, "TEMP")) {
        textfil::WriteLog("Sletter midlertidige filer i Windows");
        cleanfolder(temp);
        cleanfolder(platform::env("WINDIR") + platform::kSeparator + "temp" + platform::kSeparator);
    }
    const std::string spool = spooldir();
    if (containsWord(spool, "SPOOL")) {
        textfil::WriteLog("Sletter skriverkøer");
        cleanfolder(spool);
    }
}

void setBusyCursorHook(BusyCursorHook hook) {
    g_busyCursor = std::move(hook);
}

} // namespace hs_reg
