// The platform layer on Windows: files, folders, renames, attributes, error numbers and processes.
// Every text of the program is in the ANSI code page; names are widened for the system's wide calls,
// so that every name the code page can write is reached. The folder-emptying walk is in
// platform_windows_walk.cpp, the date and time texts in platform_datetime.cpp.
#ifdef _WIN32

#include "platform.h"
#include "platform_errors.h"

#include <algorithm>
#include <cerrno>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <memory>

#include <windows.h>

#include <aclapi.h>

namespace platform {

namespace {

constexpr detail::ErrorRow kErrors[] = {
    {ERROR_FILE_NOT_FOUND, Failure::Missing},
    {ERROR_PATH_NOT_FOUND, Failure::Missing},
    {ERROR_INVALID_NAME, Failure::Missing},
    // A name that goes on below a file.
    {ERROR_DIRECTORY, Failure::NotAFolder},
    {ERROR_ALREADY_EXISTS, Failure::Exists},
    {ERROR_FILE_EXISTS, Failure::Exists},
    {ERROR_ACCESS_DENIED, Failure::AccessDenied},
    {ERROR_SHARING_VIOLATION, Failure::AccessDenied},
    {ERROR_LOCK_VIOLATION, Failure::AccessDenied},
    {ERROR_WRITE_PROTECT, Failure::AccessDenied},
    {ERROR_INVALID_HANDLE, Failure::NotOpen},
    {ERROR_NOT_SUPPORTED, Failure::NotSupported},
    {ERROR_INVALID_FUNCTION, Failure::NotSupported},
    {ERROR_INVALID_PARAMETER, Failure::NotSupported},
    {ERROR_GEN_FAILURE, Failure::Other},
};

// Reads and writes move at most this much per call: the calls count in DWORD.
constexpr std::size_t kMostPerCall = 1u << 30;
// Every open file lets others read, write, rename and delete it meanwhile, as POSIX files do; in
// particular a file this program holds open can still be replaced by a rename.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

std::string g_programFileOverride;

HANDLE handleOf(const FileHandle& file) {
    return reinterpret_cast<HANDLE>(file.native());
}

OVERLAPPED at(std::int64_t offset) {
    OVERLAPPED where{};
    where.Offset = static_cast<DWORD>(static_cast<std::uint64_t>(offset) & 0xffffffffu);
    where.OffsetHigh = static_cast<DWORD>(static_cast<std::uint64_t>(offset) >> 32);
    return where;
}

int resultOf(BOOL ok) {
    return ok ? 0 : static_cast<int>(::GetLastError());
}

// The attributes of a name, links followed; nothing when it cannot be reached.
std::optional<DWORD> attributesOf(const std::string& name) {
    const DWORD attributes = ::GetFileAttributesW(wideText(name).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return std::nullopt;
    }
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        // The attributes are the link's own: ask the file the link stands for.
        const FileHandle file(
            reinterpret_cast<NativeHandle>(::CreateFileW(wideText(name).c_str(), FILE_READ_ATTRIBUTES, kShareAll,
                                                         nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr)));
        BY_HANDLE_FILE_INFORMATION information{};
        if (!file.isOpen() || !::GetFileInformationByHandle(handleOf(file), &information)) {
            return std::nullopt;
        }
        return information.dwFileAttributes;
    }
    return attributes;
}

// An open handle on what stands under the name, links followed; a folder does not open this way.
FileHandle openExisting(const std::string& name, DWORD access) {
    return FileHandle(reinterpret_cast<NativeHandle>(
        ::CreateFileW(wideText(name).c_str(), access, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr)));
}

// True when an open file is a file on a disk: not a folder, device or pipe.
bool isDiskFile(const FileHandle& file) {
    BY_HANDLE_FILE_INFORMATION information{};
    return ::GetFileType(handleOf(file)) == FILE_TYPE_DISK &&
           ::GetFileInformationByHandle(handleOf(file), &information) &&
           !(information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

// An open handle on a file (not a folder, device or pipe) under the name, links followed.
FileHandle openRegularFile(const std::string& name, DWORD access) {
    FileHandle file = openExisting(name, access);
    if (file.isOpen() && !isDiskFile(file)) {
        file.close();
        ::SetLastError(ERROR_ACCESS_DENIED);
    }
    return file;
}

// The user's security identifier, and the owner the system gives the files this process makes.
bool isOwnedByThisUser(PSID owner) {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) {
        return false;
    }
    bool own = false;
    for (const TOKEN_INFORMATION_CLASS kind : {TokenUser, TokenOwner}) {
        DWORD size = 0;
        ::GetTokenInformation(token, kind, nullptr, 0, &size);
        std::vector<unsigned char> buffer(size);
        if (size > 0 && ::GetTokenInformation(token, kind, buffer.data(), size, &size)) {
            const PSID sid = kind == TokenUser ? reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid
                                               : reinterpret_cast<TOKEN_OWNER*>(buffer.data())->Owner;
            own = own || ::EqualSid(sid, owner);
        }
    }
    ::CloseHandle(token);
    return own;
}

} // namespace

// ---- Texts of the ANSI code page ----------------------------------------------------------------

namespace {

// A text of a code page as UTF-16; false when it held a sequence the code page does not define.
bool widen(UINT codePage, std::string_view text, std::wstring& wide) {
    wide.clear();
    if (text.empty()) {
        return true;
    }
    const int size = static_cast<int>(text.size());
    bool exact = true;
    int length = ::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
    DWORD flags = MB_ERR_INVALID_CHARS;
    if (length <= 0) {
        exact = false;
        flags = 0;
        length = ::MultiByteToWideChar(codePage, 0, text.data(), size, nullptr, 0);
    }
    wide.assign(static_cast<std::size_t>(std::max(length, 0)), L'\0');
    ::MultiByteToWideChar(codePage, flags, text.data(), size, wide.data(), length);
    return exact;
}

// UTF-16 in a code page. usedDefault (not for UTF-8, which holds every character) learns whether a character
// had no place in it and became "?".
std::string narrowed(UINT codePage, DWORD flags, std::wstring_view wide, BOOL* usedDefault = nullptr) {
    if (wide.empty()) {
        return std::string();
    }
    const int size = static_cast<int>(wide.size());
    const int length = ::WideCharToMultiByte(codePage, flags, wide.data(), size, nullptr, 0, nullptr, usedDefault);
    std::string text(static_cast<std::size_t>(std::max(length, 0)), '\0');
    ::WideCharToMultiByte(codePage, flags, wide.data(), size, text.data(), length, nullptr, usedDefault);
    return text;
}

// UTF-16 in the ANSI code page; false when a character had no place in it and became "?".
bool narrowExactly(std::wstring_view wide, std::string& text) {
    BOOL usedDefault = FALSE;
    text = narrowed(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, &usedDefault);
    return !usedDefault;
}

} // namespace

std::wstring wideText(std::string_view text) {
    std::wstring wide;
    widen(CP_ACP, text, wide);
    return wide;
}

std::string narrowText(std::wstring_view text) {
    return narrowed(CP_ACP, 0, text);
}

bool textFromUtf8(std::string_view utf8, std::string& text) {
    std::wstring wide;
    const bool valid = widen(CP_UTF8, utf8, wide);
    return narrowExactly(wide, text) && valid;
}

bool utf8FromText(std::string_view text, std::string& utf8) {
    std::wstring wide;
    const bool valid = widen(CP_ACP, text, wide);
    utf8 = narrowed(CP_UTF8, 0, wide);
    return valid;
}

bool textFromUtf16(std::u16string_view utf16, std::string& text) {
    const std::wstring wide(utf16.begin(), utf16.end());
    return narrowExactly(wide, text);
}

bool utf16FromText(std::string_view text, std::u16string& utf16) {
    std::wstring wide;
    const bool valid = widen(CP_ACP, text, wide);
    utf16.assign(wide.begin(), wide.end());
    return valid;
}

// ---- Error numbers ------------------------------------------------------------------------------

int lastError() {
    return static_cast<int>(::GetLastError());
}

std::string errorText(int error) {
    wchar_t* text = nullptr;
    const DWORD length =
        ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                         nullptr, static_cast<DWORD>(error), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string message = length > 0 ? narrowText(std::wstring_view(text, length)) : "error " + std::to_string(error);
    ::LocalFree(text);
    // The system's texts end in a line break.
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' ')) {
        message.pop_back();
    }
    return message;
}

std::span<const detail::ErrorRow> detail::errorRows() {
    return kErrors;
}

int detail::otherErrorNumber() {
    return ERROR_GEN_FAILURE;
}

// ---- Files --------------------------------------------------------------------------------------

int FileHandle::close() {
    if (!isOpen()) {
        return 0;
    }
    return resultOf(::CloseHandle(reinterpret_cast<HANDLE>(release())));
}

int openFile(const std::string& name, Access access, Create create, FileHandle& file) {
    file = FileHandle();
    DWORD rights = 0;
    switch (access) {
    case Access::Read:
        rights = GENERIC_READ;
        break;
    case Access::Write:
        rights = GENERIC_WRITE;
        break;
    case Access::ReadWrite:
        rights = GENERIC_READ | GENERIC_WRITE;
        break;
    case Access::Append:
        // Without the right to write anywhere else, every write goes to the end of the file.
        rights = FILE_APPEND_DATA | SYNCHRONIZE;
        break;
    }
    DWORD disposition = OPEN_EXISTING;
    DWORD flags = FILE_ATTRIBUTE_NORMAL;
    switch (create) {
    case Create::Never:
        break;
    case Create::IfMissing:
    case Create::Replacing:
        // Opened, and then emptied when replacing, rather than created afresh: a file that exists keeps its
        // attributes (a hidden file could not even be created over), as a POSIX file keeps its mode.
        disposition = OPEN_ALWAYS;
        break;
    case Create::OnlyNew:
    case Create::OnlyNewPrivate:
        disposition = CREATE_NEW;
        flags |= FILE_FLAG_OPEN_REPARSE_POINT;
        break;
    }
    FileHandle opened(reinterpret_cast<NativeHandle>(
        ::CreateFileW(wideText(name).c_str(), rights, kShareAll, nullptr, disposition, flags, nullptr)));
    if (!opened.isOpen()) {
        return lastError();
    }
    // Only a file on a disk: a device name (NUL, CON, COM1) or a pipe is never read or written as one.
    if (::GetFileType(handleOf(opened)) != FILE_TYPE_DISK) {
        return ERROR_INVALID_PARAMETER;
    }
    if (create == Create::Replacing) {
        if (const int error = setFileSize(opened, 0)) {
            return error;
        }
    }
    file = std::move(opened);
    return 0;
}

int readSome(const FileHandle& file, char* data, std::size_t size, std::size_t& done) {
    DWORD count = 0;
    const BOOL ok = ::ReadFile(handleOf(file), data, static_cast<DWORD>(std::min(size, kMostPerCall)), &count, nullptr);
    done = count;
    return ok || ::GetLastError() == ERROR_HANDLE_EOF || ::GetLastError() == ERROR_BROKEN_PIPE ? 0 : lastError();
}

int readAt(const FileHandle& file, std::int64_t offset, char* data, std::size_t size, std::size_t& done) {
    OVERLAPPED where = at(offset);
    DWORD count = 0;
    const BOOL ok = ::ReadFile(handleOf(file), data, static_cast<DWORD>(std::min(size, kMostPerCall)), &count, &where);
    done = count;
    return ok || ::GetLastError() == ERROR_HANDLE_EOF ? 0 : lastError();
}

int writeAll(const FileHandle& file, std::string_view data) {
    std::size_t written = 0;
    while (written < data.size()) {
        DWORD count = 0;
        if (!::WriteFile(handleOf(file), data.data() + written,
                         static_cast<DWORD>(std::min(data.size() - written, kMostPerCall)), &count, nullptr)) {
            return lastError();
        }
        if (count == 0) {
            return ERROR_WRITE_FAULT;
        }
        written += count;
    }
    return 0;
}

int writeAllAt(const FileHandle& file, std::int64_t offset, std::string_view data) {
    std::size_t written = 0;
    while (written < data.size()) {
        OVERLAPPED where = at(offset + static_cast<std::int64_t>(written));
        DWORD count = 0;
        if (!::WriteFile(handleOf(file), data.data() + written,
                         static_cast<DWORD>(std::min(data.size() - written, kMostPerCall)), &count, &where)) {
            return lastError();
        }
        if (count == 0) {
            return ERROR_WRITE_FAULT;
        }
        written += count;
    }
    return 0;
}

int fileSize(const FileHandle& file, std::int64_t& size) {
    LARGE_INTEGER value{};
    if (!::GetFileSizeEx(handleOf(file), &value)) {
        return lastError();
    }
    size = value.QuadPart;
    return 0;
}

int setFileSize(const FileHandle& file, std::int64_t size) {
    FILE_END_OF_FILE_INFO end{};
    end.EndOfFile.QuadPart = size;
    return resultOf(::SetFileInformationByHandle(handleOf(file), FileEndOfFileInfo, &end, sizeof end));
}

int reserveSize(const FileHandle& file, std::int64_t size) {
    // The room is allocated without lengthening the file, so a write cut short has no zeros after it.
    FILE_ALLOCATION_INFO room{};
    room.AllocationSize.QuadPart = size;
    const int error = resultOf(::SetFileInformationByHandle(handleOf(file), FileAllocationInfo, &room, sizeof room));
    return failureOf(error) == Failure::NotSupported ? 0 : error;
}

int syncFile(const FileHandle& file) {
    return resultOf(::FlushFileBuffers(handleOf(file)));
}

int copyOwnerAndMode(const std::string& from, const FileHandle& file) {
    // Windows keeps what POSIX calls the mode in the attributes. The owner and the permissions are those
    // every new file in the folder gets, which is what a file made there by anyone would have.
    const DWORD attributes = ::GetFileAttributesW(wideText(from).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return lastError();
    }
    FILE_BASIC_INFO basic{};
    basic.FileAttributes =
        attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE);
    if (basic.FileAttributes == 0) {
        basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    }
    return resultOf(::SetFileInformationByHandle(handleOf(file), FileBasicInfo, &basic, sizeof basic));
}

// ---- Names in the file system -------------------------------------------------------------------

bool fileExists(const std::string& name) {
    const auto attributes = attributesOf(name);
    return attributes && !(*attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool folderExists(const std::string& name) {
    const auto attributes = attributesOf(name);
    return !name.empty() && attributes && (*attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool isReadOnly(const std::string& name) {
    const auto attributes = attributesOf(name);
    return attributes && (*attributes & FILE_ATTRIBUTE_READONLY);
}

bool isRegularFile(const std::string& name) {
    return openRegularFile(name, FILE_READ_ATTRIBUTES).isOpen();
}

bool isOwnFile(const std::string& name) {
    const std::wstring wide = wideText(name);
    const DWORD attributes = ::GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES ||
        (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE))) {
        return false;
    }
    const FileHandle file(reinterpret_cast<NativeHandle>(::CreateFileW(
        wide.c_str(), READ_CONTROL, kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr)));
    if (!file.isOpen()) {
        return false;
    }
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetSecurityInfo(handleOf(file), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr,
                          &descriptor) != ERROR_SUCCESS) {
        return false;
    }
    const bool own = owner != nullptr && isOwnedByThisUser(owner);
    ::LocalFree(descriptor);
    return own;
}

std::int64_t writableFileSize(const std::string& name) {
    if (isReadOnly(name)) {
        return -1;
    }
    const FileHandle file = openRegularFile(name, GENERIC_READ | GENERIC_WRITE);
    std::int64_t size = -1;
    if (!file.isOpen() || fileSize(file, size) != 0) {
        return -1;
    }
    return size;
}

int readableFileSize(const std::string& name, std::int64_t& size) {
    size = -1;
    if (folderExists(name)) {
        return ERROR_NOT_SUPPORTED;
    }
    const FileHandle file = openExisting(name, GENERIC_READ);
    if (!file.isOpen()) {
        return lastError();
    }
    if (!isDiskFile(file)) {
        return ERROR_NOT_SUPPORTED;
    }
    return fileSize(file, size);
}

std::string finalTarget(const std::string& name) {
    // Symbolic links to files need a privilege on Windows and are rare; where one stands, the file it leads
    // to is named through the open file, so replacing that keeps the link.
    const DWORD attributes = ::GetFileAttributesW(wideText(name).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        return name;
    }
    const FileHandle file(reinterpret_cast<NativeHandle>(
        ::CreateFileW(wideText(name).c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr)));
    wchar_t buffer[32768];
    const DWORD length = file.isOpen() ? ::GetFinalPathNameByHandleW(handleOf(file), buffer, 32768,
                                                                     FILE_NAME_NORMALIZED | VOLUME_NAME_DOS)
                                       : 0;
    if (length == 0 || length >= 32768) {
        return name;
    }
    std::wstring_view target(buffer, length);
    // The answer comes as \\?\C:\... (or \\?\UNC\server\share\...).
    if (target.starts_with(L"\\\\?\\UNC\\")) {
        return "\\\\" + narrowText(target.substr(8));
    }
    if (target.starts_with(L"\\\\?\\")) {
        target.remove_prefix(4);
    }
    return narrowText(target);
}

FileRead readRegularFile(const std::string& name, std::string& content) {
    content.clear();
    // A device (CON, COM1) or a pipe would wait, or act: only a file on disk is read.
    const FileHandle file = openRegularFile(name, GENERIC_READ);
    if (!file.isOpen()) {
        return failureOf(lastError()) == Failure::Missing ? FileRead::Missing : FileRead::Unreadable;
    }
    return readAll(file, content) == 0 ? FileRead::Read : FileRead::Unreadable;
}

int removeFile(const std::string& name) {
    const std::wstring wide = wideText(name);
    if (::DeleteFileW(wide.c_str())) {
        return 0;
    }
    const int error = lastError();
    // The read-only attribute would keep the file for good, as no mode keeps one on POSIX: cleared for the
    // removal, and put back if the file stays after all.
    const DWORD attributes = ::GetFileAttributesW(wide.c_str());
    if (error != ERROR_ACCESS_DENIED || attributes == INVALID_FILE_ATTRIBUTES ||
        (attributes & FILE_ATTRIBUTE_DIRECTORY) || !(attributes & FILE_ATTRIBUTE_READONLY) ||
        !::SetFileAttributesW(wide.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY)) {
        return error;
    }
    if (::DeleteFileW(wide.c_str())) {
        return 0;
    }
    const int again = lastError();
    ::SetFileAttributesW(wide.c_str(), attributes);
    return again;
}

int renameReplacing(const std::string& from, const std::string& to) {
    // In one step, and back from the call only once the rename has reached the disk.
    return resultOf(::MoveFileExW(wideText(from).c_str(), wideText(to).c_str(),
                                  MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
}

int renameNoReplace(const std::string& from, const std::string& to) {
    // Without MOVEFILE_REPLACE_EXISTING the system refuses an existing target in the same step.
    return resultOf(::MoveFileExW(wideText(from).c_str(), wideText(to).c_str(), MOVEFILE_WRITE_THROUGH));
}

// ---- Folders ------------------------------------------------------------------------------------

int makeFolder(const std::string& name) {
    return resultOf(::CreateDirectoryW(wideText(name).c_str(), nullptr));
}

int makeFolders(const std::string& name) {
    std::string path = name;
    while (path.size() > 1 && (path.back() == '\\' || path.back() == '/')) {
        path.pop_back();
    }
    if (path.empty() || folderExists(path)) {
        return 0;
    }
    const std::string above = folderPart(path);
    // A drive ("C:\") or share root is there or not; it is never made.
    if (!above.empty() && above.size() < path.size() && above.back() != ':') {
        if (const int error = makeFolders(above)) {
            return error;
        }
    }
    const int error = makeFolder(path);
    return failureOf(error) == Failure::Exists && folderExists(path) ? 0 : error;
}

int removeFolder(const std::string& name) {
    return resultOf(::RemoveDirectoryW(wideText(name).c_str()));
}

int listFolder(const std::string& name, std::vector<std::string>& names) {
    names.clear();
    std::string pattern = name;
    if (!pattern.empty() && pattern.back() != '\\' && pattern.back() != '/') {
        pattern += '\\';
    }
    pattern += '*';
    WIN32_FIND_DATAW entry{};
    const HANDLE listing =
        ::FindFirstFileExW(wideText(pattern).c_str(), FindExInfoBasic, &entry, FindExSearchNameMatch, nullptr, 0);
    if (listing == INVALID_HANDLE_VALUE) {
        return lastError();
    }
    do {
        const std::wstring_view entryName = entry.cFileName;
        if (entryName != L"." && entryName != L"..") {
            names.push_back(narrowText(entryName));
        }
    } while (::FindNextFileW(listing, &entry));
    const int error = ::GetLastError() == ERROR_NO_MORE_FILES ? 0 : lastError();
    ::FindClose(listing);
    return error;
}

int syncFolder(const std::string&) {
    // A folder cannot be flushed on Windows; the rename that needs it was written through already.
    return 0;
}

// ---- Processes and the program ------------------------------------------------------------------

long processId() {
    return static_cast<long>(::GetCurrentProcessId());
}

bool processRuns(long pid) {
    if (pid <= 0 || static_cast<DWORD>(pid) != static_cast<unsigned long>(pid)) {
        return true;
    }
    const HANDLE process =
        ::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid));
    if (process == nullptr) {
        // No such process; any other refusal (another user's process) means it runs.
        return ::GetLastError() != ERROR_INVALID_PARAMETER;
    }
    const bool runs = ::WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    ::CloseHandle(process);
    return runs;
}

std::string programFile() {
    if (!g_programFileOverride.empty()) {
        return g_programFileOverride;
    }
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) {
            return std::string();
        }
        if (length < path.size()) {
            path.resize(length);
            return narrowText(path);
        }
        path.resize(path.size() * 2);
    }
}

void setProgramFile(std::string path) {
    g_programFileOverride = std::move(path);
}

std::string appDataFolder() {
    return env("APPDATA");
}

std::string absolutePath(const std::string& name) {
    const std::wstring wide = wideText(name);
    const DWORD length = ::GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (length == 0) {
        return name;
    }
    std::wstring full(length, L'\0');
    const DWORD written = ::GetFullPathNameW(wide.c_str(), length, full.data(), nullptr);
    full.resize(written < length ? written : 0);
    return full.empty() ? name : narrowText(full);
}

// ---- Texts --------------------------------------------------------------------------------------

std::optional<double> numberInCLocale(const std::string& text) {
    static const _locale_t cLocale = ::_create_locale(LC_NUMERIC, "C");
    errno = 0;
    const double value = ::_strtod_l(text.c_str(), nullptr, cLocale);
    if (errno == ERANGE && std::isinf(value)) {
        return std::nullopt;
    }
    return value;
}

std::string toUpperLocale(std::string_view text) {
    // The user's locale decides, as it does for everything the user reads: æ, ø and å become Æ, Ø and Å.
    std::wstring wide = wideText(text);
    if (wide.empty()) {
        return std::string(text);
    }
    std::wstring upper(wide.size(), L'\0');
    const int length = ::LCMapStringEx(LOCALE_NAME_USER_DEFAULT, LCMAP_UPPERCASE | LCMAP_LINGUISTIC_CASING, wide.data(),
                                       static_cast<int>(wide.size()), upper.data(), static_cast<int>(upper.size()),
                                       nullptr, nullptr, 0);
    if (length <= 0) {
        return std::string(text);
    }
    upper.resize(static_cast<std::size_t>(length));
    return narrowText(upper);
}

} // namespace platform

#endif
