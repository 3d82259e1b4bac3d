#include <cctype>
#include <ctime>
#include <regex>

#include "SupportFixture.h"

#ifdef _WIN32
#include <cstring>
#include <vector>

#include <windows.h>
#include <winioctl.h>
#else
#include <sys/stat.h>
#endif

namespace supporttest {

void MakeReadOnly(const fs::path& file) {
#ifdef _WIN32
    ::SetFileAttributesW(file.c_str(), ::GetFileAttributesW(file.c_str()) | FILE_ATTRIBUTE_READONLY);
#else
    ::chmod(file.c_str(), 0444);
#endif
}

void MakeWritable(const fs::path& file) {
#ifdef _WIN32
    ::SetFileAttributesW(file.c_str(), ::GetFileAttributesW(file.c_str()) & ~DWORD{FILE_ATTRIBUTE_READONLY});
#else
    ::chmod(file.c_str(), 0644);
#endif
}

#ifdef _WIN32
// A junction at link to target, which needs no privilege on Windows; false where the file system cannot
// hold one (wine's cannot).
bool MakeJunction(const fs::path& link, const fs::path& target) {
    ::CreateDirectoryW(link.c_str(), nullptr);
    const HANDLE folder = ::CreateFileW(link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (folder == INVALID_HANDLE_VALUE) {
        return false;
    }
    // The mount point layout of a reparse buffer: the substitute name ("\??\C:\...") and an empty print name.
    const std::wstring substitute = L"\\??\\" + target.wstring();
    const auto substituteBytes = static_cast<WORD>(substitute.size() * sizeof(wchar_t));
    std::vector<unsigned char> buffer(8 + 8 + substituteBytes + 2 * sizeof(wchar_t), 0);
    const auto put16 = [&](std::size_t at, WORD value) { std::memcpy(buffer.data() + at, &value, sizeof value); };
    const DWORD tag = IO_REPARSE_TAG_MOUNT_POINT;
    std::memcpy(buffer.data(), &tag, sizeof tag);
    put16(4, static_cast<WORD>(buffer.size() - 8)); // the data's length
    put16(8, 0);                                    // substitute name: offset and length
    put16(10, substituteBytes);
    put16(12, static_cast<WORD>(substituteBytes + sizeof(wchar_t))); // print name: offset and length
    put16(14, 0);
    std::memcpy(buffer.data() + 16, substitute.data(), substituteBytes);
    DWORD returned = 0;
    const bool made = ::DeviceIoControl(folder, FSCTL_SET_REPARSE_POINT, buffer.data(),
                                        static_cast<DWORD>(buffer.size()), nullptr, 0, &returned, nullptr);
    ::CloseHandle(folder);
    if (!made) {
        ::RemoveDirectoryW(link.c_str());
    }
    return made;
}
#endif

std::uint64_t FileIdentity(const fs::path& file) {
#ifdef _WIN32
    const HANDLE handle = ::CreateFileW(file.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    BY_HANDLE_FILE_INFORMATION information{};
    const bool known = handle != INVALID_HANDLE_VALUE && ::GetFileInformationByHandle(handle, &information);
    if (handle != INVALID_HANDLE_VALUE) {
        ::CloseHandle(handle);
    }
    return known ? (std::uint64_t{information.nFileIndexHigh} << 32) | information.nFileIndexLow : 0;
#else
    struct stat st {};
    return ::stat(file.c_str(), &st) == 0 ? static_cast<std::uint64_t>(st.st_ino) : 0;
#endif
}

#ifdef _WIN32
namespace {

// A pattern for the texts the user's settings give: digits stand for any digits, letters (an AM or PM
// designator) for any word.
std::string patternOf(const std::string& sample) {
    std::string pattern;
    for (std::size_t i = 0; i < sample.size();) {
        const unsigned char c = static_cast<unsigned char>(sample[i]);
        if (std::isdigit(c)) {
            pattern += "\\d+";
            while (i < sample.size() && std::isdigit(static_cast<unsigned char>(sample[i]))) {
                ++i;
            }
        } else if (std::isalpha(c) || c >= 0x80) {
            pattern += "[^ ]+";
            while (i < sample.size() && sample[i] != ' ' && !std::isdigit(static_cast<unsigned char>(sample[i]))) {
                ++i;
            }
        } else {
            pattern += std::string("\\x") + "0123456789abcdef"[c >> 4] + "0123456789abcdef"[c & 15];
            ++i;
        }
    }
    return pattern;
}

// The user's short date, and the long time unless the time is midnight.
std::string stampPattern() {
    std::tm sample{};
    sample.tm_year = 126;
    sample.tm_mon = 11;
    sample.tm_mday = 8;
    sample.tm_hour = 20;
    sample.tm_min = 56;
    sample.tm_sec = 9;
    std::string pattern = "^";
    pattern.append(patternOf(platform::shortDateText(sample)));
    pattern.append("( ");
    pattern.append(patternOf(platform::longTimeText(sample)));
    pattern.append(")? (.*)$");
    return pattern;
}

} // namespace
#endif

std::string MessageOf(const std::string& line) {
#ifdef _WIN32
    static const std::regex stamp(stampPattern());
#else
    // Under the C locale: 2026-12-08, and 20:56:09 unless the time is midnight.
    static const std::regex stamp(R"(^\d{4}-\d\d-\d\d( \d\d:\d\d:\d\d)? (.*)$)");
#endif
    std::smatch match;
    if (!std::regex_match(line, match, stamp)) {
        return "<bad stamp>" + line;
    }
    return match[2].str();
}

} // namespace supporttest
