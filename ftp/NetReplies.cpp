#include "NetReplies.h"

#include "NetExceptions.h"
#include "NetSocket.h"

#include <cctype>

namespace net {

std::string TrimControl(const std::string& text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && static_cast<unsigned char>(text[begin]) <= 32) {
        ++begin;
    }
    while (end > begin && static_cast<unsigned char>(text[end - 1]) <= 32) {
        --end;
    }
    return text.substr(begin, end - begin);
}

bool EqualsIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

std::optional<std::int64_t> ParseInteger(const std::string& text) {
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i == text.size()) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    const std::uint64_t limit = negative ? 9223372036854775808ULL : 9223372036854775807ULL;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        const auto digit = static_cast<std::uint64_t>(c - '0');
        if (value > (limit - digit) / 10) {
            return std::nullopt;
        }
        value = value * 10 + digit;
    }
    if (negative) {
        return value == limit ? INT64_MIN : -static_cast<std::int64_t>(value);
    }
    return static_cast<std::int64_t>(value);
}

std::int16_t ReplyCodeOf(const std::string& line) {
    if (EqualsIgnoringCase(line.substr(0, 3), "+OK")) {
        return 1;
    }
    if (EqualsIgnoringCase(line.substr(0, 4), "-ERR")) {
        return 0;
    }
    const std::optional<std::int64_t> code = ParseInteger(line.substr(0, 3));
    return code ? static_cast<std::int16_t>(*code) : std::int16_t{0};
}

TPassiveEndpoint ParsePassiveReply(const std::string& lastReplyLine) {
    std::string text = TrimControl(lastReplyLine);
    const std::size_t open = text.find('(');
    const std::size_t close = text.find(')');
    if (open != std::string::npos && close != std::string::npos) {
        text = open < close ? text.substr(open + 1, close - open - 1) : std::string();
    } else {
        text = text.substr(LastPosition(" ", text));
    }
    int pieces[6] = {};
    for (int& piece : pieces) {
        const std::string token = FetchToken(text, ",");
        const std::optional<std::int64_t> value = ParseInteger(TrimControl(token));
        if (!value) {
            throw EConvertError(token);
        }
        if (*value < 0 || *value > 255) {
            throw ENetInvalidPassiveEndpoint(lastReplyLine);
        }
        piece = static_cast<int>(*value);
    }
    TPassiveEndpoint endpoint;
    endpoint.Address = std::to_string(pieces[0]) + "." + std::to_string(pieces[1]) + "." + std::to_string(pieces[2]) +
                       "." + std::to_string(pieces[3]);
    endpoint.Port = pieces[4] * 256 + pieces[5];
    if (endpoint.Port == 0) {
        throw ENetInvalidPassiveEndpoint(lastReplyLine);
    }
    return endpoint;
}

std::int32_t ParseExtendedPassiveReply(const std::string& lastReplyLine) {
    const std::size_t open = lastReplyLine.find('(');
    const std::size_t close = lastReplyLine.find(')', open == std::string::npos ? 0 : open);
    if (open == std::string::npos || close == std::string::npos || close - open < 6) {
        throw ENetInvalidPassiveEndpoint(lastReplyLine);
    }
    // "(|||6446|)": three delimiters, the port, a fourth delimiter. Only the port is read: the data
    // connection goes to the control connection's peer in any case.
    const std::string inside = lastReplyLine.substr(open + 1, close - open - 1);
    const char d = inside[0];
    if (inside[1] != d || inside[2] != d || inside.back() != d) {
        throw ENetInvalidPassiveEndpoint(lastReplyLine);
    }
    const std::string text = inside.substr(3, inside.size() - 4);
    const std::optional<std::int64_t> port = ParseInteger(text);
    if (!port) {
        throw EConvertError(text);
    }
    if (*port < 1 || *port > 65535) {
        throw ENetInvalidPassiveEndpoint(lastReplyLine);
    }
    return static_cast<std::int32_t>(*port);
}

std::string FormatPortCommand(const std::string& address, std::int32_t port) {
    std::string dotted = address;
    for (char& c : dotted) {
        if (c == '.') {
            c = ',';
        }
    }
    return "PORT " + dotted + "," + std::to_string(port / 256) + "," + std::to_string(port % 256);
}

std::string FormatExtendedPortCommand(const std::string& address, std::int32_t port) {
    // A zone ("%eth0") names this machine's link and means nothing to the server.
    const std::string host = address.substr(0, address.find('%'));
    const char* family = FamilyOf(host) == TNetFamily::IPv6 ? "2" : "1";
    return std::string("EPRT |") + family + "|" + host + "|" + std::to_string(port) + "|";
}

std::int64_t ParseSizeReply(const std::vector<std::string>& replyLines) {
    std::string text;
    for (const std::string& line : replyLines) {
        text += line + "\r\n";
    }
    text = TrimControl(text);
    const std::size_t blank = text.find(' ');
    text = blank == std::string::npos ? std::string() : text.substr(blank + 1);
    const std::optional<std::int64_t> size = ParseInteger(text);
    return size && *size >= 0 ? *size : -1;
}

std::vector<std::string> ParseFeatureReply(const std::vector<std::string>& replyLines) {
    std::vector<std::string> features;
    // "211-Features:", the features (the reader has taken the blank before each), "211 End".
    for (std::size_t i = 1; i + 1 < replyLines.size(); ++i) {
        features.push_back(replyLines[i]);
    }
    return features;
}

bool HasFeature(const std::vector<std::string>& features, const std::string& feature) {
    // The name alone asks for the name whatever arguments follow it ("MDTM" for "MDTM", "REST" for
    // "REST STREAM"); a name with arguments asks for exactly those.
    const bool withArguments = feature.find(' ') != std::string::npos;
    for (const std::string& line : features) {
        const std::string name = withArguments ? line : line.substr(0, line.find(' '));
        if (EqualsIgnoringCase(TrimControl(name), feature)) {
            return true;
        }
    }
    return false;
}

void CheckCommandArgument(const std::string& argument) {
    if (argument.find_first_of(std::string("\r\n\0", 3)) != std::string::npos) {
        throw ENetUnsafeArgument();
    }
}

} // namespace net
