// The support library: INI store, folder layout, system information, temporary-file clean-up,
// start-up and shut-down. Split into files by concern (hs_reg_*.cpp) behind this one header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace hs_reg {

// ---- INI store -------------------------------------------------------------------------------
const std::string& IniFileName();
const std::string& IniFolder();
const std::string& currentsection();

void setsection(std::string_view name);
void resetsection();
std::string readstr(std::string_view key);
void writestr(std::string_view key, std::string_view value);
bool readbool(std::string_view key);
void writebool(std::string_view key, bool value);
std::int32_t readint(std::string_view key);
// The integer readint reads, or nothing when the key is missing or holds no integer.
std::optional<std::int32_t> readnumber(std::string_view key);
void writeint(std::string_view key, std::int32_t value);
void saveini();
void loadini();
void freeini();

// saveini with an answer: false when the file could not be written (the old file is then whole);
// true when it was written or rightly left alone (see iniUnwritable).
bool saveIniFile();
// Why saveini leaves the file as it is: it is read-only, or when it was loaded it was no regular file or
// could not be read, or its content could not be understood (writing the store back would lose what it
// holds). The file may be UTF-8 with or without a byte-order mark, UTF-16 with one, or in the program's
// own texts (the ANSI code page on Windows); it is written back the way it was read.
enum class IniUnwritable { No, ReadOnly, Unreadable, NotUnderstood };
IniUnwritable iniUnwritable();
// The store from the bytes of a file, and the bytes saveini writes: loadini and saveini without the
// file, for checks of the format itself.
void loadIniText(std::string bytes);
std::string iniText();
// Sets IniFileName (and IniFolder from it); start-up does this.
void setIniFileName(const std::string& name);
// Back to the start values: no store, "SOLVEMAR.INI", section "STANDARD".
void resetIni();

// ---- Folder layout ---------------------------------------------------------------------------
std::string solvemarpath(std::string_view kind);
void setfolderpath(std::string_view kind, std::string_view folder);
void mkdirsafe(const std::string& folder);
void createfolder(const std::string& folder);
void makefoldertree();
std::string binfolder();
std::string logfolder();
std::string logfilename();

// The running program file's full path; tests may set another one (empty restores the real one).
std::string programFilePath();
void setProgramFilePath(std::string path);

// ---- System information ----------------------------------------------------------------------
std::string computername();
std::string domainname();
std::string ipaddress();
std::string spooldir();
std::string networkuser();
std::string activeuser();
std::string tempdir();

// The values of the "-ip" and "--user" options (cut to 15 and 63 characters).
void setipoverride(std::string_view value);
void setuseroverride(std::string_view value);
const std::string& ipoverride();
const std::string& useroverride();
// Empties the activeuser cache and the two overrides, for tests.
void resetSystemInfo();

// Registry access as the system information reads it: keys below the machine's root, values read
// as text. The key names keep their Windows spelling ("System\CurrentControlSet\...").
enum class ValueStatus { Text, Missing, NotText };
struct RegistryValue {
    ValueStatus status = ValueStatus::Missing;
    std::string text;
};

class Registry {
public:
    virtual ~Registry() = default;
    // Opens a key for reading; false when it is missing or cannot be read. Nothing is ever created.
    virtual bool openKey(const std::string& key) = 0;
    virtual RegistryValue readValue(const std::string& key, const std::string& name) = 0;
    // The names of the key's sub-keys in the order the registry lists them.
    virtual std::vector<std::string> subKeyNames(const std::string& key) = 0;
};

// The backend the queries use; nullptr selects the platform's own (Windows registry or POSIX).
void setRegistry(std::shared_ptr<Registry> registry);
Registry& registry();
std::shared_ptr<Registry> makePlatformRegistry();

#ifdef _WIN32
// The Windows registry with every key read below base under the given root (HKEY_LOCAL_MACHINE or
// HKEY_CURRENT_USER), so tests can give the queries keys of their own instead of the machine's.
enum class RegistryRoot { LocalMachine, CurrentUser };
std::shared_ptr<Registry> makeWindowsRegistry(RegistryRoot root, const std::string& base);
#endif

// A registry held in memory, for tests. A key opens when it has been added (or given a value) and access to it
// is not denied.
class MemoryRegistry : public Registry {
public:
    void setText(const std::string& key, const std::string& name, const std::string& value);
    void setTextList(const std::string& key, const std::string& name, const std::vector<std::string>& values);
    void setBinary(const std::string& key, const std::string& name);
    void addKey(const std::string& key);
    void denyAccess(const std::string& key);

    bool openKey(const std::string& key) override;
    RegistryValue readValue(const std::string& key, const std::string& name) override;
    std::vector<std::string> subKeyNames(const std::string& key) override;

private:
    struct Value {
        ValueStatus status;
        std::string text;
    };
    struct Key {
        std::string name;
        std::vector<std::pair<std::string, Value>> values;
    };
    Key* find(const std::string& key);
    Key& ensure(const std::string& key);
    std::vector<Key> m_keys;
    std::vector<std::string> m_denied;
};

// ---- Temporary-file clean-up -----------------------------------------------------------------
void deletetempfiles(bool includeSystemFolders);
void cleanfolder(std::string folder);
// deletetree(folder, top): empties folder, and removes it unless it is top. Links are removed,
// never followed.
void deletetree(const std::string& folder, const std::string& top);
// The GUI may show a busy cursor while a folder is emptied; without a GUI nothing is shown.
using BusyCursorHook = std::function<void(bool busy)>;
void setBusyCursorHook(BusyCursorHook hook);

// ---- Start-up and shut-down ------------------------------------------------------------------
// args are the parameters after the program name.
void Startup(const std::vector<std::string>& args);
void Shutdown();

} // namespace hs_reg
