// The per-user folder tree under the application-data folder, and the folders recorded in the
// INI store's "FOLDERS" section. Kinds and keys keep their backslashes ("data\docs_folder") so
// the file reads the same everywhere; the folders themselves use the native separator.

#include "hs_reg.h"
#include "platform.h"
#include "textfil.h"

namespace hs_reg {

namespace {

constexpr const char* kFoldersSection = "FOLDERS";

// Parents before children, so each folder can be made one level at a time.
constexpr const char* kTree[] = {
    "archive",
    "backup",
    "data",
    "data\\tidemark",
    "data\\qform",
    "data\\rb7",
    "data\\docs",
    "data\\vsk",
    "etc",
    "export",
    "export\\xml",
    "export\\pdf",
    "export\\csv",
    "export\\html",
    "export\\html\\varer",
    "import",
    "images",
    "spool",
    "tmp",
    "xml",
    "log",
    "maler",
    "maler\\docs",
    "maler\\rb7",
};

std::string treeRoot() {
    return platform::appDataFolder() + platform::kSeparator + "Solvemar" + platform::kSeparator;
}

bool endsWithSeparator(const std::string& folder) {
    return !folder.empty() && folder.back() == platform::kSeparator;
}

std::string withSeparator(std::string folder) {
    if (!endsWithSeparator(folder)) {
        folder += platform::kSeparator;
    }
    return folder;
}

// Restores the caller's section when a lookup is done with "FOLDERS".
class SectionGuard {
public:
    SectionGuard() : m_saved(currentsection()) { setsection(kFoldersSection); }
    ~SectionGuard() { setsection(m_saved); }
    SectionGuard(const SectionGuard&) = delete;
    SectionGuard& operator=(const SectionGuard&) = delete;

private:
    std::string m_saved;
};

} // namespace

std::string solvemarpath(std::string_view kind) {
    const std::string root = treeRoot();
    if (kind.empty()) {
        return root;
    }
    const std::string key = std::string(kind) + "_folder";
    SectionGuard guard;
    std::string folder = readstr(key);
    if (folder.empty()) {
        folder = root + platform::nativeSeparators(kind) + platform::kSeparator;
    }
    if (!platform::folderExists(folder) && kind != "bin" && folder.find(root) != std::string::npos) {
        textfil::WriteLog("hs_reg.solvemarpath(" + std::string(kind) + "): Lager mappen " + folder);
        createfolder(folder);
    }
    folder = withSeparator(std::move(folder));
    setfolderpath(kind, folder);
    saveini();
    return folder;
}

void setfolderpath(std::string_view kind, std::string_view folder) {
    SectionGuard guard;
    std::string value(folder);
    if (!value.empty()) {
        value = withSeparator(std::move(value));
    }
    writestr(std::string(kind) + "_folder", value);
}

void mkdirsafe(const std::string& folder) {
    const int error = platform::makeFolder(folder);
    if (error == 0) {
        textfil::WriteLog("Oppretter mappen " + folder);
    } else {
        textfil::WriteLog("FEIL: [mkdirsafe:" + std::to_string(error) + "] kan ikke opprette mappen " + folder);
    }
}

void createfolder(const std::string& folder) {
    platform::makeFolders(folder);
}

void makefoldertree() {
    // Through the platform layer: a folder's name may hold letters that only it converts right (Windows).
    const std::string doc = platform::absolutePath(binfolder() + ".." + platform::kSeparator + "doc");
    setfolderpath("doc", doc);
    const std::string root = treeRoot();
    if (!platform::folderExists(root)) {
        createfolder(root);
    }
    for (const char* kind : kTree) {
        const std::string folder = root + platform::nativeSeparators(kind);
        mkdirsafe(folder);
        setfolderpath(kind, folder);
    }
}

std::string binfolder() {
    std::string folder = platform::folderPart(programFilePath());
    while (folder.size() > 1 && folder[folder.size() - 2] == platform::kSeparator) {
        folder.pop_back();
    }
    setfolderpath("bin", folder);
    return solvemarpath("bin");
}

std::string logfolder() {
    const std::string folder = solvemarpath("log");
    if (!platform::folderExists(folder)) {
        setfolderpath("log", treeRoot() + "log" + platform::kSeparator);
        createfolder(solvemarpath("log"));
    }
    return solvemarpath("log");
}

std::string logfilename() {
    std::string name = platform::namePart(programFilePath());
    const auto dot = name.rfind('.');
    if (dot != std::string::npos) {
        name.erase(dot);
    }
    name += ".log";
    std::string full = logfolder() + name;
    textfil::SetLogFileName(full);
    return full;
}

std::string programFilePath() {
    return platform::programFile();
}
void setProgramFilePath(std::string path) {
    platform::setProgramFile(std::move(path));
}

} // namespace hs_reg
