// The parts of the platform layer that are the same on every system: error causes, reading a whole
// file, environment variables, the separators of path texts and ASCII capitals.
#include "platform.h"
#include "platform_errors.h"

#include <cstdlib>

namespace platform {

Failure failureOf(int error) {
    if (error == 0) {
        return Failure::None;
    }
    for (const auto& row : detail::errorRows()) {
        if (row.number == error) {
            return row.failure;
        }
    }
    return Failure::Other;
}

int errorOf(Failure failure) {
    if (failure == Failure::None) {
        return 0;
    }
    for (const auto& row : detail::errorRows()) {
        if (row.failure == failure) {
            return row.number;
        }
    }
    return detail::otherErrorNumber();
}

int readAll(const FileHandle& file, std::string& content) {
    content.clear();
    std::int64_t size = 0;
    if (fileSize(file, size) == 0 && size > 0) {
        content.reserve(static_cast<std::size_t>(size));
    }
    char buffer[65536];
    for (;;) {
        std::size_t done = 0;
        if (const int error = readSome(file, buffer, sizeof buffer, done)) {
            content.clear();
            return error;
        }
        if (done == 0) {
            return 0;
        }
        content.append(buffer, done);
    }
}

std::string env(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

namespace {

std::size_t lastSeparator(const std::string& path) {
#ifdef _WIN32
    return path.find_last_of("\\/:");
#else
    return path.rfind(kSeparator);
#endif
}

} // namespace

std::string folderPart(const std::string& path) {
    const auto pos = lastSeparator(path);
    return pos == std::string::npos ? std::string() : path.substr(0, pos + 1);
}

std::string namePart(const std::string& path) {
    const auto pos = lastSeparator(path);
    return pos == std::string::npos ? path : path.substr(pos + 1);
}

bool isAbsolutePath(std::string_view path) {
#ifdef _WIN32
    const auto separator = [&](std::size_t at) { return path.size() > at && (path[at] == '\\' || path[at] == '/'); };
    const bool drive =
        path.size() > 1 && ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')) && path[1] == ':';
    return (drive && separator(2)) || (separator(0) && separator(1));
#else
    return !path.empty() && path[0] == '/';
#endif
}

std::string nativeSeparators(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c == '\\' || c == '/') {
            c = kSeparator;
        }
    }
    return out;
}

std::string toUpperAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return out;
}

} // namespace platform
