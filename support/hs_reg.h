// The support library: INI store, folder layout, system information, temporary-file clean-up,
// start-up and shut-down. Split into files by concern (hs_reg_*.cpp) behind this one header.
#pragma once

#include <cstdint>
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
void writeint(std::string_view key, std::int32_t value);
void saveini();
void loadini();
void freeini();

// ---- Folder layout ---------------------------------------------------------------------------
std::string solvemarpath(std::string_view kind);
void setfolderpath(std::string_view kind, std::string_view folder);
void mkdirsafe(const std::string& folder);
void createfolder(const std::string& folder);
void makefoldertree();
std::string binfolder();
std::string logfolder();
std::string logfilename();

// ---- System information ----------------------------------------------------------------------
std::string computername();
std::string domainname();
std::string ipaddress();
std::string spooldir();
std::string networkuser();
std::string activeuser();
std::string tempdir();

// ---- Temporary-file clean-up -----------------------------------------------------------------
void deletetempfiles(bool includeSystemFolders);
void cleanfolder(std::string folder);

// ---- Start-up and shut-down ------------------------------------------------------------------
// args are the parameters after the program name.
void Startup(const std::vector<std::string>& args);
void Shutdown();

} // namespace hs_reg
