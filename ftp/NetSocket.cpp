// The socket layer's portable part: the texts of addresses and tokens, result checks, and the handle's
// bookkeeping. The platform calls are in NetSocketPosix.cpp and NetSocketWindows.cpp.
#include "NetSocket.h"

#include "NetExceptions.h"

#include <cctype>

namespace net {

namespace {

bool isDecimalPart(const std::string& part) {
    if (part.empty() || part.size() > 3) {
        return false;
    }
    int value = 0;
    for (char c : part) {
        if (c < '0' || c > '9') {
            return false;
        }
        value = value * 10 + (c - '0');
    }
    return value <= 255;
}

} // namespace

std::string FetchToken(std::string& input, const std::string& delimiter, bool deleteToken) {
    const std::size_t at = input.find(delimiter);
    std::string token;
    if (at == std::string::npos) {
        token = input;
        if (deleteToken) {
            input.clear();
        }
    } else {
        token = input.substr(0, at);
        if (deleteToken) {
            input.erase(0, at + delimiter.size());
        }
    }
    return token;
}

std::size_t LastPosition(const std::string& sub, const std::string& text) {
    if (sub.empty() || sub.size() > text.size()) {
        return 0;
    }
    for (std::size_t start = text.size() - sub.size() + 1; start-- > 0;) {
        bool same = true;
        for (std::size_t i = 0; i < sub.size() && same; ++i) {
            same = std::tolower(static_cast<unsigned char>(text[start + i])) ==
                   std::tolower(static_cast<unsigned char>(sub[i]));
        }
        if (same) {
            return start + 1;
        }
    }
    return 0;
}

bool LooksLikeIPv4(const std::string& text) {
    std::string rest = text;
    for (int i = 0; i < 3; ++i) {
        if (!isDecimalPart(FetchToken(rest, "."))) {
            return false;
        }
    }
    return isDecimalPart(rest);
}

std::string ResolveHostAddress(const std::string& host) {
    std::string upper = host;
    for (char& c : upper) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    if (upper == "LOCALHOST") {
        return "127.0.0.1";
    }
    if (LooksLikeIPv4(host)) {
        return host;
    }
    return LookUpIPv4Address(host);
}

bool CheckSocketResult(long result, std::initializer_list<int> allowed) {
    if (result != -1) {
        return true;
    }
    const int number = LastSocketError();
    for (int a : allowed) {
        if (a == number) {
            return false;
        }
    }
    throw ENetSocketError(number);
}

void TNetSocketHandle::Adopt(TNetDescriptor accepted) {
    Reset(Forget::PeerAndLocal);
    m_descriptor = std::move(accepted);
    ReadAddresses();
}

void TNetSocketHandle::Close() {
    if (IsOpen()) {
        ShutDownSending();
    }
    Reset(Forget::PeerAndLocal);
}

void TNetSocketHandle::Reset(Forget what) {
    m_descriptor.Reset();
    RemoteAddress.clear();
    RemotePort = 0;
    if (what == Forget::PeerAndLocal) {
        IP.clear();
        Port = 0;
    }
}

} // namespace net
