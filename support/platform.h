// The operating system as the support library and the programs on it use it, in one place so the rest
// stays portable: files and folders, renames, modes, error numbers, processes, environment variables,
// the program file's path, and the user's date, time and capitals. platform.cpp holds what is the same
// everywhere; the POSIX implementation is in platform_posix*.cpp, and a Windows one stands beside it.
//
// Failures are reported as the platform's own error numbers (errno values on POSIX, system error codes
// on Windows), 0 meaning success; no function here throws.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

#ifdef _WIN32
inline constexpr char kSeparator = '\\';
// A HANDLE, held as a number so the header needs no system header.
using NativeHandle = std::intptr_t;

// A text of the ANSI code page (every text of the program on Windows) as UTF-16 for the system's wide
// calls, and back; a character the code page lacks comes back as its replacement ("?").
std::wstring wideText(std::string_view text);
std::string narrowText(std::wstring_view text);
#else
inline constexpr char kSeparator = '/';
// A file descriptor.
using NativeHandle = int;
#endif
inline constexpr NativeHandle kNoHandle = -1;

// ---- Error numbers ------------------------------------------------------------------------------

// The error number of the last failed system call of this thread.
int lastError();
// The system's own text for an error number.
std::string errorText(int error);

// The causes the portable code tells apart. One table maps them to and from the platform's numbers.
enum class Failure { None, Missing, NotAFolder, Exists, AccessDenied, NotOpen, NotSupported, Other };
Failure failureOf(int error);
// The platform's number for a cause (0 for None).
int errorOf(Failure failure);

// ---- Files --------------------------------------------------------------------------------------

// An open file, closed when its handle goes. Move-only: every open file has exactly one owner.
class FileHandle {
public:
    FileHandle() = default;
    explicit FileHandle(NativeHandle handle) : m_handle(handle) {}
    ~FileHandle() { close(); }
    FileHandle(FileHandle&& other) noexcept : m_handle(other.release()) {}
    FileHandle& operator=(FileHandle&& other) noexcept {
        if (this != &other) {
            close();
            m_handle = other.release();
        }
        return *this;
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    bool isOpen() const { return m_handle != kNoHandle; }
    // For calls this layer does not offer (the zero-copy receive of a download, say).
    NativeHandle native() const { return m_handle; }
    NativeHandle release() { return std::exchange(m_handle, kNoHandle); }
    // Closes the file now; the error of the close, which may report a write that failed late. The
    // handle is closed either way; closing a handle that is not open gives 0.
    int close();

private:
    NativeHandle m_handle = kNoHandle;
};

enum class Access {
    Read, // others may go on reading and writing the file meanwhile
    Write,
    ReadWrite,
    Append, // every write goes to the end of the file
};
enum class Create {
    Never,     // the file must exist
    IfMissing, // created when missing, kept as it is otherwise
    Replacing, // created, or emptied when it exists
    OnlyNew,   // created; fails when anything stands under the name, a link (even a broken one) too
    // As OnlyNew, and on POSIX readable and writable by its owner only until its mode is set (Windows keeps
    // who may read a file in its permissions, which every new file in the folder gets alike).
    OnlyNewPrivate,
};
// Opens a file (links followed, except as OnlyNew says); on failure file is left closed.
int openFile(const std::string& name, Access access, Create create, FileHandle& file);

// Reads up to size bytes at the file's position; done is 0 only at the end of the file.
int readSome(const FileHandle& file, char* data, std::size_t size, std::size_t& done);
// Reads from the file's position to its end.
int readAll(const FileHandle& file, std::string& content);
// Reads up to size bytes at offset, leaving the position alone; done is 0 only at the end.
int readAt(const FileHandle& file, std::int64_t offset, char* data, std::size_t size, std::size_t& done);
// Writes every byte at the file's position (at its end when opened for appending).
int writeAll(const FileHandle& file, std::string_view data);
// Writes every byte at offset, leaving the position alone.
int writeAllAt(const FileHandle& file, std::int64_t offset, std::string_view data);

int fileSize(const FileHandle& file, std::int64_t& size);
// Cuts the file to size bytes, or extends it with zeros.
int setFileSize(const FileHandle& file, std::int64_t size);
// Makes room for the first size bytes of the file, so that writes within them cannot run out of space
// later; on Linux the file's length stays as it is. Where the file system cannot promise room
// beforehand this does nothing and gives 0.
int reserveSize(const FileHandle& file, std::int64_t size);
// Returns once what was written has reached the disk.
int syncFile(const FileHandle& file);
// Gives file the mode and, where this process may give files away, the owner of the file from.
int copyOwnerAndMode(const std::string& from, const FileHandle& file);

// ---- Names in the file system -------------------------------------------------------------------

bool fileExists(const std::string& name);
bool folderExists(const std::string& name);
// Read-only means no write permission bit at all, whoever runs the program (root included).
bool isReadOnly(const std::string& name);
// A regular file (links followed): not a folder, FIFO, device or socket.
bool isRegularFile(const std::string& name);
// A regular file under the name itself (not through a link) that belongs to the user the program runs as.
bool isOwnFile(const std::string& name);
// The size of a regular file that is not read-only and can be opened for reading and writing; -1 when
// there is no such file.
std::int64_t writableFileSize(const std::string& name);
// The size of a regular file opened for reading only, as a file is read to send it: others may go on
// reading, writing and deleting it meanwhile, so a file another program holds open (letting others read)
// is read as well. 0 or the error number; a name that is no regular file gives Failure::NotSupported.
int readableFileSize(const std::string& name, std::int64_t& size);
// The file a name finally stands for: symbolic links followed to their last target (which need not
// exist yet). Replacing that target keeps the links as they are.
std::string finalTarget(const std::string& name);

// How reading a whole file went.
enum class FileRead { Read, Missing, Unreadable };
// Reads a whole regular file without ever waiting for a writer: anything else under the name (a FIFO,
// a device, a socket, a folder) is Unreadable without its content being touched, as is a file the
// user may not read. Missing only when nothing stands under the name.
FileRead readRegularFile(const std::string& name, std::string& content);

// Removes a file (a link itself, not its target), whatever its mode or read-only attribute.
int removeFile(const std::string& name);
// Renames in one step; an existing file under to is replaced.
int renameReplacing(const std::string& from, const std::string& to);
// Renames only when nothing stands under to (Failure::Exists otherwise), in one step where the file
// system can, else after a look.
int renameNoReplace(const std::string& from, const std::string& to);

// ---- Folders ------------------------------------------------------------------------------------

// Creates one folder level (an existing folder gives Failure::Exists: EEXIST, 17 on Linux).
int makeFolder(const std::string& name);
// Creates a folder with every missing folder above it; an existing folder is no failure.
int makeFolders(const std::string& name);
int removeFolder(const std::string& name);
// The names in a folder, hidden ones included, "." and ".." left out, in the order the system lists them.
int listFolder(const std::string& name, std::vector<std::string>& names);
// Returns once the folder's entries (a file renamed into it, say) have reached the disk.
int syncFolder(const std::string& name);

// What emptying a folder tells its caller as it goes, for log lines and a busy cursor.
enum class FolderLeft {
    Removed,
    Stays, // it could not be removed, or not all of it could be reached again
    Kept,  // the folder asked for, which was to stay
};
class EmptyingEvents {
public:
    virtual ~EmptyingEvents() = default;
    // Before a folder is emptied: the one asked for, then each below it. Its path ends in a separator.
    virtual void enteringFolder(const std::string& path) = 0;
    // Before an entry that is no folder (a file, a link, a FIFO) is removed from folder.
    virtual void removingFile(const std::string& folder, const std::string& name) = 0;
    virtual void fileStays(const std::string& folder, const std::string& name) = 0;
    // Once the walk is done with a folder.
    virtual void leftFolder(const std::string& path, FolderLeft how) = 0;
};
enum class FolderItself { Stays, Goes };
// Removes everything in folder (a path ending in a separator), and the folder itself when it goes.
// No link below folder is ever followed: a link is removed itself, so nothing outside the folder is
// touched, even when the tree changes during the walk. Folders their owner write-protected are opened
// up to be emptied and get their mode back when they stay after all. Any depth keeps only a few
// handles open. A folder that stays may itself be reached through a link.
void emptyFolder(const std::string& folder, FolderItself itself, EmptyingEvents& events);

// ---- Processes, environment and the program -----------------------------------------------------

long processId();
// False only when the system says no process has this id (a process of another user still runs).
bool processRuns(long pid);

// The value of an environment variable; empty when it is not set.
std::string env(const char* name);
// The user's application-data folder (APPDATA; on Linux falling back to the XDG data folder).
std::string appDataFolder();

// The running program file's full path. Tests may replace it; an empty text restores the real one.
std::string programFile();
void setProgramFile(std::string path);

// ---- Path texts ---------------------------------------------------------------------------------

// The absolute form of a name, with "." and ".." resolved textually; links are not followed. Every path the
// programs make absolute goes through here: on Windows only this layer converts its letters right.
std::string absolutePath(const std::string& name);
// True when the path names its place without the working folder: "/..." on POSIX; "C:\...", "C:/..." or
// "\\server\share\..." on Windows.
bool isAbsolutePath(std::string_view path);
// The folder part of a path including its last separator ("" when there is none). On Windows "/" counts
// as well, and so does the ":" after a drive letter ("C:tabell.txt" is tabell.txt in C:'s current folder).
std::string folderPart(const std::string& path);
// The name after the last separator.
std::string namePart(const std::string& path);
// A kind such as "data\docs" written with the native separator.
std::string nativeSeparators(std::string_view text);

// ---- The user's texts ---------------------------------------------------------------------------

// The local date and time now.
std::tm localNow();
// A local date and time as the user reads them, in the patterns of the locale the program selected
// for dates and times (LC_TIME): the short date ("08.12.2026" under Norwegian settings) and the time
// with seconds ("20:56:09"). The C and POSIX locales give 2026-12-08 and 20:56:09.
std::string shortDateText(const std::tm& local);
std::string longTimeText(const std::tm& local);

// The value of a number written as in the C locale ("." as the point, whatever the user's locale
// says); nothing when it is too large for a double. A number too small for one reads as 0 or the
// nearest value it holds.
std::optional<double> numberInCLocale(const std::string& text);

// The program's texts (UTF-8 on Linux, the ANSI code page on Windows) from and to UTF-8 and UTF-16, for files
// saved in those encodings. Each gives what it can and says whether that was exact: false when the input
// held an invalid sequence, or a character the other side cannot hold (replaced by "?" or U+FFFD).
bool textFromUtf8(std::string_view utf8, std::string& text);
bool utf8FromText(std::string_view text, std::string& utf8);
bool textFromUtf16(std::u16string_view utf16, std::string& text);
bool utf16FromText(std::string_view text, std::u16string& utf16);

// Capitals in the user's locale (the C library's current LC_CTYPE); UTF-8 texts are converted per
// character so that æ, ø and å become Æ, Ø and Å.
std::string toUpperLocale(std::string_view text);
// Capitals for the ASCII letters only, for path tests that look for fixed words.
std::string toUpperAscii(std::string_view text);

} // namespace platform
