// The library's start-up (command line, INI file, folder tree, log, clean-up, first log lines)
// and shut-down (INI file written back, closing summary).
#include "hs_reg.h"
#include "platform.h"
#include "textfil.h"

namespace hs_reg {

namespace {

constexpr const char* kIniName = "SOLVEMAR.INI";

struct Options {
    bool install = false;
};

// Every parameter is compared with every option; a value is compared again at its own position.
Options readCommandLine(const std::vector<std::string>& args) {
    Options options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const std::string next = i + 1 < args.size() ? args[i + 1] : std::string();
        if (arg == "--debug") {
            textfil::SetLogToFile(true);
            textfil::SetVerboseLogging(true);
        }
        if (arg == "-install") {
            textfil::SetLogToFile(true);
            textfil::SetVerboseLogging(true);
            options.install = true;
        }
        if (arg == "-ip") {
            setipoverride(next);
        }
        if (arg == "--user") {
            setuseroverride(next);
        }
    }
    return options;
}

std::string treeFolder(const char* name) {
    return platform::appDataFolder() + platform::kSeparator + "Solvemar" + platform::kSeparator + name;
}

void findIniFile() {
    std::string folder;
    if (platform::fileExists(kIniName)) {
        folder = platform::folderPart(platform::absolutePath(kIniName));
    } else {
        folder = treeFolder("etc") + platform::kSeparator;
    }
    if (!platform::folderExists(folder)) {
        folder = treeFolder("etc") + platform::kSeparator;
        createfolder(folder);
    }
    setIniFileName(platform::absolutePath(folder + kIniName));
}

} // namespace

void Startup(const std::vector<std::string>& args) {
    const Options options = readCommandLine(args);
    findIniFile();
    loadini();
    setfolderpath("etc", IniFolder());
    if (!platform::folderExists(treeFolder("data")) || options.install) {
        makefoldertree();
    }
    textfil::SetLogToFile(readbool("LogToFile"));
    textfil::SetLogFileName(logfilename());
    if (readbool("ClearLogFileOnStartup")) {
        textfil::ClearLog();
    }
    if (readbool("DeleteTemporaryFiles")) {
        deletetempfiles(readbool("DeleteSystemTemporaryFiles"));
    }
    if (!textfil::VerboseLogging() && readbool("VerboseLogging") && textfil::LogToFile()) {
        textfil::SetVerboseLogging(true);
    }
    if (textfil::LogToFile()) {
        textfil::WriteLog("START: " + programFilePath());
        textfil::WriteLog("INIFIL: " + IniFileName());
        textfil::WriteLog("BRUKER: " + activeuser());
        if (textfil::VerboseLogging()) {
            textfil::LogLogin();
        }
    }
}

void Shutdown() {
    const std::string iniFile = IniFileName();
    // A FIFO or device under the name is never written either.
    const bool writable = platform::isRegularFile(iniFile) && !platform::isReadOnly(iniFile);
    bool ok = true;
    if (writable) {
        ok = saveIniFile();
    }
    const IniUnwritable unwritable = iniUnwritable();
    freeini();
    if (!ok) {
        textfil::WriteLog("INI-CRASH i HS_REG");
    }
    if (textfil::VerboseLogging()) {
        if (!writable) {
            textfil::WriteLog("ADVARSEL: " + iniFile + " er skrivebeskyttet og vil ikke bli lagret.");
        } else if (unwritable == IniUnwritable::NotUnderstood) {
            textfil::WriteLog("ADVARSEL: " + iniFile + " kunne ikke leses riktig og vil ikke bli lagret.");
        } else {
            textfil::WriteLog("Oppdaterer " + iniFile);
        }
        textfil::WriteLog("AVSLUTTER PROGRAM. " + std::to_string(textfil::ErrorCount()) + " feilmeldinger og " +
                          std::to_string(textfil::WarningCount()) + " advarsler");
    }
    textfil::SetLogFileName({});
    setIniFileName({});
}

} // namespace hs_reg
