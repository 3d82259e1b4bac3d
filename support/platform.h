// The few operating-system facts the support library needs, in one place so the rest stays portable:
// the folder separator, file attributes, the program file's path, error numbers and environment variables.
#pragma once

#include <ctime>
#include <string>
#include <string_view>

namespace platform {

#ifdef _WIN32
inline constexpr char kSeparator = '\\';
#else
inline constexpr char kSeparator = '/';
#endif

// The value of an environment variable; empty when it is not set.
std::string env(const char* name);

// The user's application-data folder (APPDATA; on Linux falling back to the XDG data folder).
std::string appDataFolder();

bool fileExists(const std::string& name);
bool folderExists(const std::string& name);
// Read-only means no write permission bit at all, whoever runs the program (root included).
bool isReadOnly(const std::string& name);

// A regular file (links followed): not a folder, FIFO, device or socket.
bool isRegularFile(const std::string& name);

// How reading a whole file went.
enum class FileRead { Read, Missing, Unreadable };
// Reads a whole regular file without ever waiting for a writer: anything else under the name (a FIFO,
// a device, a socket, a folder) is Unreadable without its content being touched, as is a file the
// user may not read. Missing only when nothing stands under the name.
FileRead readRegularFile(const std::string& name, std::string& content);

// False only when the system says no process has this id (a process of another user still runs).
bool processRuns(long pid);

// The absolute form of a name, with "." and ".." resolved textually; links are not followed.
std::string absolutePath(const std::string& name);
// The folder part of a path including its last separator ("" when there is none).
std::string folderPart(const std::string& path);
// The name after the last separator.
std::string namePart(const std::string& path);
// A kind such as "data\docs" written with the native separator.
std::string nativeSeparators(std::string_view text);

// The running program file's full path. Tests may replace it; an empty text restores the real one.
std::string programFile();
void setProgramFile(std::string path);

// Creates one folder level; returns 0 or the system's error number (an existing folder gives
// EEXIST, 17 on Linux).
int makeFolder(const std::string& name);

// A local date and time as the user reads them, in the patterns of the locale the program selected
// for dates and times (LC_TIME): the short date ("08.12.2026" under Norwegian settings) and the time
// with seconds ("20:56:09"). The C and POSIX locales give 2026-12-08 and 20:56:09.
std::string shortDateText(const std::tm& local);
std::string longTimeText(const std::tm& local);

// Capitals in the user's locale (the C library's current LC_CTYPE); UTF-8 texts are converted per
// character so that æ, ø and å become Æ, Ø and Å.
std::string toUpperLocale(std::string_view text);
// Capitals for the ASCII letters only, for path tests that look for fixed words.
std::string toUpperAscii(std::string_view text);

} // namespace platform
