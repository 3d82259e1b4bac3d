// The platform layer on POSIX systems: files, folders, renames, modes, error numbers, processes, the
// application-data folder and capitals.
// The folder-emptying walk is in platform_posix_walk.cpp.
#ifndef _WIN32

#include "platform.h"
#include "platform_errors.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <cwctype>
#include <filesystem>
#include <memory>
#include <system_error>

#include <dirent.h>
#include <fcntl.h>
#include <locale.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

namespace fs = std::filesystem;

constexpr detail::ErrorRow kErrors[] = {
    {ENOENT, Failure::Missing},
    {ENOTDIR, Failure::NotAFolder},
    {EEXIST, Failure::Exists},
    {EACCES, Failure::AccessDenied},
    {EPERM, Failure::AccessDenied},
    {EBADF, Failure::NotOpen},
    {EOPNOTSUPP, Failure::NotSupported},
    {ENOSYS, Failure::NotSupported},
    // File systems also answer EINVAL to a flag or an operation they do not offer (renameat2,
    // fallocate).
    {EINVAL, Failure::NotSupported},
    {EIO, Failure::Other},
};

std::string g_programFileOverride;

// Decodes one UTF-8 sequence at text[i]; returns its length, 0 when it is not valid UTF-8.
std::size_t decodeUtf8(std::string_view text, std::size_t i, char32_t& out) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char b0 = byte(i);
    std::size_t length = 0;
    if (b0 < 0x80) {
        out = b0;
        return 1;
    } else if ((b0 & 0xE0) == 0xC0) {
        length = 2;
        out = b0 & 0x1F;
    } else if ((b0 & 0xF0) == 0xE0) {
        length = 3;
        out = b0 & 0x0F;
    } else if ((b0 & 0xF8) == 0xF0) {
        length = 4;
        out = b0 & 0x07;
    } else {
        return 0;
    }
    if (i + length > text.size()) {
        return 0;
    }
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) {
            return 0;
        }
        out = (out << 6) | (byte(i + k) & 0x3F);
    }
    return length;
}

void encodeUtf8(char32_t c, std::string& out) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

} // namespace

// ---- Error numbers ------------------------------------------------------------------------------

int lastError() {
    return errno;
}

std::string errorText(int error) {
    char buffer[256];
    return ::strerror_r(error, buffer, sizeof buffer);
}

std::span<const detail::ErrorRow> detail::errorRows() {
    return kErrors;
}

int detail::otherErrorNumber() {
    return EIO;
}

// ---- Files --------------------------------------------------------------------------------------

int FileHandle::close() {
    if (!isOpen()) {
        return 0;
    }
    // The descriptor is gone even when close fails (on EINTR too), so it is never closed twice.
    return ::close(release()) == 0 ? 0 : errno;
}

int openFile(const std::string& name, Access access, Create create, FileHandle& file) {
    file = FileHandle();
    int flags = O_CLOEXEC;
    switch (access) {
    case Access::Read:
        flags |= O_RDONLY;
        break;
    case Access::Write:
        flags |= O_WRONLY;
        break;
    case Access::ReadWrite:
        flags |= O_RDWR;
        break;
    case Access::Append:
        flags |= O_WRONLY | O_APPEND;
        break;
    }
    switch (create) {
    case Create::Never:
        break;
    case Create::IfMissing:
        flags |= O_CREAT;
        break;
    case Create::Replacing:
        flags |= O_CREAT | O_TRUNC;
        break;
    case Create::OnlyNew:
    case Create::OnlyNewPrivate:
        flags |= O_CREAT | O_EXCL | O_NOFOLLOW;
        break;
    }
    const mode_t mode = create == Create::OnlyNewPrivate ? 0600 : 0666;
    // Non-blocking, so that a FIFO standing under the name cannot hold the program in the open (waiting
    // for a peer that never comes); only a regular file is used, and then it blocks as files do.
    FileHandle opened(::open(name.c_str(), flags | O_NONBLOCK | O_NOCTTY, mode));
    if (!opened.isOpen()) {
        return errno;
    }
    struct stat st {};
    if (::fstat(opened.native(), &st) != 0) {
        return errno;
    }
    if (!S_ISREG(st.st_mode)) {
        return S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    }
    const int status = ::fcntl(opened.native(), F_GETFL);
    if (status < 0 || ::fcntl(opened.native(), F_SETFL, status & ~O_NONBLOCK) != 0) {
        return errno;
    }
    file = std::move(opened);
    return 0;
}

int readSome(const FileHandle& file, char* data, std::size_t size, std::size_t& done) {
    done = 0;
    for (;;) {
        const ssize_t n = ::read(file.native(), data, size);
        if (n >= 0) {
            done = static_cast<std::size_t>(n);
            return 0;
        }
        if (errno != EINTR) {
            return errno;
        }
    }
}

int readAt(const FileHandle& file, std::int64_t offset, char* data, std::size_t size, std::size_t& done) {
    done = 0;
    for (;;) {
        const ssize_t n = ::pread(file.native(), data, size, static_cast<off_t>(offset));
        if (n >= 0) {
            done = static_cast<std::size_t>(n);
            return 0;
        }
        if (errno != EINTR) {
            return errno;
        }
    }
}

int writeAll(const FileHandle& file, std::string_view data) {
    std::size_t written = 0;
    while (written < data.size()) {
        const ssize_t n = ::write(file.native(), data.data() + written, data.size() - written);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return n < 0 ? errno : EIO;
        }
        written += static_cast<std::size_t>(n);
    }
    return 0;
}

int writeAllAt(const FileHandle& file, std::int64_t offset, std::string_view data) {
    std::size_t written = 0;
    while (written < data.size()) {
        const ssize_t n = ::pwrite(file.native(), data.data() + written, data.size() - written,
                                   static_cast<off_t>(offset + static_cast<std::int64_t>(written)));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return n < 0 ? errno : EIO;
        }
        written += static_cast<std::size_t>(n);
    }
    return 0;
}

int fileSize(const FileHandle& file, std::int64_t& size) {
    struct stat st {};
    if (::fstat(file.native(), &st) != 0) {
        return errno;
    }
    size = st.st_size;
    return 0;
}

int setFileSize(const FileHandle& file, std::int64_t size) {
    return ::ftruncate(file.native(), static_cast<off_t>(size)) == 0 ? 0 : errno;
}

int reserveSize(const FileHandle& file, std::int64_t size) {
#ifdef __linux__
    // The room is reserved without lengthening the file, so a write cut short has no zeros after it.
    const int error = ::fallocate(file.native(), FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(size)) == 0 ? 0 : errno;
#else
    // posix_fallocate answers with the error number itself.
    const int error = ::posix_fallocate(file.native(), 0, static_cast<off_t>(size));
#endif
    return failureOf(error) == Failure::NotSupported ? 0 : error;
}

int syncFile(const FileHandle& file) {
    return ::fsync(file.native()) == 0 ? 0 : errno;
}

int copyOwnerAndMode(const std::string& from, const FileHandle& file) {
    struct stat st {};
    if (::stat(from.c_str(), &st) != 0 || ::fchmod(file.native(), st.st_mode & 07777) != 0) {
        return errno;
    }
    if (::fchown(file.native(), st.st_uid, st.st_gid) != 0) {
        // Only root may give a file away; the content matters more than the owner.
    }
    return 0;
}

// ---- Names in the file system -------------------------------------------------------------------

bool fileExists(const std::string& name) {
    struct stat st {};
    return ::stat(name.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool folderExists(const std::string& name) {
    struct stat st {};
    return !name.empty() && ::stat(name.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool isReadOnly(const std::string& name) {
    struct stat st {};
    return ::stat(name.c_str(), &st) == 0 && (st.st_mode & 0222) == 0;
}

bool isRegularFile(const std::string& name) {
    struct stat st {};
    return ::stat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool isOwnFile(const std::string& name) {
    struct stat st {};
    return ::lstat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid();
}

std::int64_t writableFileSize(const std::string& name) {
    struct stat st {};
    if (::stat(name.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || (st.st_mode & 0222) == 0) {
        return -1;
    }
    FileHandle file;
    std::int64_t size = -1;
    if (openFile(name, Access::ReadWrite, Create::Never, file) != 0 || fileSize(file, size) != 0) {
        return -1;
    }
    return size;
}

int readableFileSize(const std::string& name, std::int64_t& size) {
    size = -1;
    FileHandle file;
    if (const int error = openFile(name, Access::Read, Create::Never, file)) {
        // openFile answers a folder with EISDIR and any other kind of file with EINVAL.
        return error == EISDIR ? EINVAL : error;
    }
    return fileSize(file, size);
}

std::string finalTarget(const std::string& name) {
    std::string target = name;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(target.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            return target;
        }
        std::string buffer(PATH_MAX, '\0');
        const ssize_t n = ::readlink(target.c_str(), buffer.data(), buffer.size());
        if (n < 0) {
            return target;
        }
        buffer.resize(static_cast<std::size_t>(n));
        target = (!buffer.empty() && buffer[0] == '/') ? buffer : folderPart(target) + buffer;
    }
    return target;
}

FileRead readRegularFile(const std::string& name, std::string& content) {
    content.clear();
    struct stat st {};
    if (::stat(name.c_str(), &st) != 0) {
        const Failure failure = failureOf(errno);
        return failure == Failure::Missing || failure == Failure::NotAFolder ? FileRead::Missing : FileRead::Unreadable;
    }
    // Opening a FIFO would wait for a writer, and opening a device may act on it: look before opening.
    if (!S_ISREG(st.st_mode)) {
        return FileRead::Unreadable;
    }
    // Non-blocking and checked again once open, in case something else took the name in between.
    const FileHandle file(::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!file.isOpen()) {
        return failureOf(errno) == Failure::Missing ? FileRead::Missing : FileRead::Unreadable;
    }
    if (::fstat(file.native(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return FileRead::Unreadable;
    }
    return readAll(file, content) == 0 ? FileRead::Read : FileRead::Unreadable;
}

int removeFile(const std::string& name) {
    return ::unlink(name.c_str()) == 0 ? 0 : errno;
}

int renameReplacing(const std::string& from, const std::string& to) {
    return std::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

int renameNoReplace(const std::string& from, const std::string& to) {
#ifdef RENAME_NOREPLACE
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return 0;
    }
    if (failureOf(errno) != Failure::NotSupported) {
        return errno;
    }
#endif
    // A file system without the one-step call: look first, which leaves a short window open.
    struct stat st {};
    if (::lstat(to.c_str(), &st) == 0) {
        return EEXIST;
    }
    if (failureOf(errno) != Failure::Missing) {
        return errno;
    }
    return renameReplacing(from, to);
}

// ---- Folders ------------------------------------------------------------------------------------

int makeFolder(const std::string& name) {
    return ::mkdir(name.c_str(), 0777) == 0 ? 0 : errno;
}

int makeFolders(const std::string& name) {
    std::error_code ec;
    fs::create_directories(name, ec);
    return ec.value();
}

int removeFolder(const std::string& name) {
    return ::rmdir(name.c_str()) == 0 ? 0 : errno;
}

int listFolder(const std::string& name, std::vector<std::string>& names) {
    names.clear();
    const std::unique_ptr<DIR, int (*)(DIR*)> folder(::opendir(name.c_str()), &::closedir);
    if (!folder) {
        return errno;
    }
    while (const dirent* entry = ::readdir(folder.get())) {
        const std::string_view entryName = entry->d_name;
        if (entryName != "." && entryName != "..") {
            names.emplace_back(entryName);
        }
    }
    return 0;
}

int syncFolder(const std::string& name) {
    const FileHandle folder(::open(name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder.isOpen()) {
        return errno;
    }
    return syncFile(folder);
}

// ---- Processes and the program ------------------------------------------------------------------

long processId() {
    return static_cast<long>(::getpid());
}

bool processRuns(long pid) {
    if (pid <= 0 || static_cast<pid_t>(pid) != pid) {
        return true;
    }
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH;
}

std::string programFile() {
    if (!g_programFileOverride.empty()) {
        return g_programFileOverride;
    }
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : exe.string();
}

void setProgramFile(std::string path) {
    g_programFileOverride = std::move(path);
}

// ---- Environment and paths ----------------------------------------------------------------------

std::string appDataFolder() {
    std::string folder = env("APPDATA");
    if (folder.empty()) {
        folder = env("XDG_DATA_HOME");
    }
    if (folder.empty()) {
        const std::string home = env("HOME");
        if (!home.empty()) {
            folder = home + "/.local/share";
        }
    }
    return folder;
}

std::string absolutePath(const std::string& name) {
    std::error_code ec;
    fs::path path = fs::absolute(fs::path(name), ec);
    if (ec) {
        path = fs::path(name);
    }
    return path.lexically_normal().string();
}

// ---- Texts --------------------------------------------------------------------------------------

// The program's texts are UTF-8 here: bytes pass as they are, whatever they hold, as every other text does.
bool textFromUtf8(std::string_view utf8, std::string& text) {
    text.assign(utf8);
    return true;
}

bool utf8FromText(std::string_view text, std::string& utf8) {
    utf8.assign(text);
    return true;
}

bool textFromUtf16(std::u16string_view utf16, std::string& text) {
    text.clear();
    bool exact = true;
    for (std::size_t i = 0; i < utf16.size(); ++i) {
        char32_t c = utf16[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 && utf16[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (utf16[++i] - 0xDC00);
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
            exact = false;
        }
        encodeUtf8(c, text);
    }
    return exact;
}

bool utf16FromText(std::string_view text, std::u16string& utf16) {
    utf16.clear();
    bool exact = true;
    for (std::size_t i = 0; i < text.size();) {
        char32_t c = 0;
        std::size_t length = decodeUtf8(text, i, c);
        if (length == 0 || (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) {
            c = 0xFFFD;
            length = std::max<std::size_t>(length, 1);
            exact = false;
        }
        if (c >= 0x10000) {
            utf16 += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
            utf16 += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            utf16 += static_cast<char16_t>(c);
        }
        i += length;
    }
    return exact;
}

std::string toUpperLocale(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        char32_t c = 0;
        const std::size_t length = decodeUtf8(text, i, c);
        if (length == 0) {
            // Not UTF-8: treat the byte as a character of the locale's single-byte set.
            out += static_cast<char>(std::toupper(static_cast<unsigned char>(text[i])));
            ++i;
            continue;
        }
        const auto upper = static_cast<char32_t>(std::towupper(static_cast<std::wint_t>(c)));
        encodeUtf8(upper, out);
        i += length;
    }
    return out;
}

std::optional<double> numberInCLocale(const std::string& text) {
    static const locale_t cLocale = ::newlocale(LC_ALL_MASK, "C", locale_t{});
    errno = 0;
    const double value = ::strtod_l(text.c_str(), nullptr, cLocale);
    if (errno == ERANGE && std::isinf(value)) {
        return std::nullopt;
    }
    return value;
}

} // namespace platform

#endif
