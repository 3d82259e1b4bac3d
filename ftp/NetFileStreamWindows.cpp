// Local files on Windows. Names are texts in the ANSI code page, as every text of the program; they are
// widened for the system's calls so that every name the code page can write is reached.
#ifdef _WIN32

#include "NetFileStream.h"

#include "NetExceptions.h"

#include <algorithm>

#include <windows.h>

namespace net {

namespace {

// Reads and writes move at most this much per call: the calls count in DWORD.
constexpr std::size_t kMostPerCall = 1u << 30;

std::wstring widePath(const std::string& path) {
    if (path.empty()) {
        return std::wstring();
    }
    const int length = ::MultiByteToWideChar(CP_ACP, 0, path.data(), static_cast<int>(path.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, path.data(), static_cast<int>(path.size()), wide.data(), length);
    return wide;
}

// The system's text for the last error, without the line end it comes with.
std::string lastErrorText() {
    const DWORD error = ::GetLastError();
    char* text = nullptr;
    const DWORD length =
        ::FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                         nullptr, error, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string message = length > 0 ? std::string(text, length) : "error " + std::to_string(error);
    ::LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' ')) {
        message.pop_back();
    }
    return message;
}

[[noreturn]] void raiseFileError(const std::string& what, const std::string& path) {
    throw EFileError(what + " " + path + ": " + lastErrorText());
}

[[noreturn]] void raiseOpenError(const std::string& what, const std::string& path) {
    throw EFileError(what + " " + path);
}

OVERLAPPED at(std::int64_t position) {
    OVERLAPPED where{};
    where.Offset = static_cast<DWORD>(static_cast<std::uint64_t>(position) & 0xffffffffu);
    where.OffsetHigh = static_cast<DWORD>(static_cast<std::uint64_t>(position) >> 32);
    return where;
}

} // namespace

bool LocalFileExists(const std::string& path) {
    return ::GetFileAttributesW(widePath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

TNetFileStream::TNetFileStream(const std::string& path, TFileMode mode) : m_path(path) {
    const std::wstring name = widePath(path);
    if (mode == TFileMode::CreateForWriting) {
        // Opened, then emptied, rather than created afresh: a file that exists keeps its attributes (a
        // hidden file cannot even be created over), as a POSIX file keeps its mode.
        m_file = ::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (m_file == INVALID_HANDLE_VALUE || !::SetEndOfFile(m_file)) {
            if (m_file != INVALID_HANDLE_VALUE) {
                ::CloseHandle(m_file);
            }
            raiseOpenError("Cannot create file", path);
        }
    } else {
        m_file = ::CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (m_file == INVALID_HANDLE_VALUE) {
            raiseOpenError("Cannot open file", path);
        }
    }
}

TNetFileStream::~TNetFileStream() {
    ::CloseHandle(m_file);
}

std::int64_t TNetFileStream::Size() const {
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(m_file, &size)) {
        raiseFileError("Cannot read the size of file", m_path);
    }
    return size.QuadPart;
}

void TNetFileStream::SetSize(std::int64_t size) {
    FILE_END_OF_FILE_INFO end{};
    end.EndOfFile.QuadPart = size;
    if (!::SetFileInformationByHandle(m_file, FileEndOfFileInfo, &end, sizeof end)) {
        raiseFileError("Cannot set the size of file", m_path);
    }
}

std::size_t TNetFileStream::Read(char* data, std::size_t count) {
    OVERLAPPED where = at(m_position);
    DWORD done = 0;
    if (!::ReadFile(m_file, data, static_cast<DWORD>(std::min(count, kMostPerCall)), &done, &where)) {
        if (::GetLastError() != ERROR_HANDLE_EOF) {
            raiseFileError("Cannot read file", m_path);
        }
        done = 0;
    }
    m_position += done;
    return done;
}

void TNetFileStream::Write(const char* data, std::size_t count) {
    while (count > 0) {
        OVERLAPPED where = at(m_position);
        DWORD done = 0;
        if (!::WriteFile(m_file, data, static_cast<DWORD>(std::min(count, kMostPerCall)), &done, &where)) {
            raiseFileError("Cannot write file", m_path);
        }
        m_position += done;
        data += done;
        count -= done;
    }
}

void TNetFileStream::TakeFrom(TNetReceiveSource& source) {
    TNetStream::TakeFrom(source);
}

} // namespace net

#endif
