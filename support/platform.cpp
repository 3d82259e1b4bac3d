// The parts of the platform layer that are the same on every system: environment variables, path
// texts and capitals.
#include "platform.h"

#include <cctype>
#include <cstdlib>
#include <cwchar>
#include <cwctype>
#include <filesystem>
#include <system_error>

namespace platform {

namespace fs = std::filesystem;

namespace {

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

std::string env(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

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

std::string folderPart(const std::string& path) {
    const auto pos = path.rfind(kSeparator);
    return pos == std::string::npos ? std::string() : path.substr(0, pos + 1);
}

std::string namePart(const std::string& path) {
    const auto pos = path.rfind(kSeparator);
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
