// The parts of the platform layer that are the same on every system: error causes, environment
// variables, the separators of path texts and ASCII capitals.
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
