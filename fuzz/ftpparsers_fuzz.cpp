// The 227, 229, 211 and 213 parsers on any text: an endpoint that comes out is one the client may connect
// to (four pieces 0..255, a port 1..65535), a size is 0 or more and stands in the reply, features are lines
// of the reply, and every refusal is one of the client's own exceptions.
#include "NetExceptions.h"
#include "NetReplies.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace {

void check(bool ok, const char* what, const std::string& input) {
    if (!ok) {
        std::fprintf(stderr, "%s for '%s'\n", what, input.c_str());
        std::abort();
    }
}

bool isDottedAddress(const std::string& text) {
    std::istringstream in(text);
    std::string piece;
    int count = 0;
    while (std::getline(in, piece, '.')) {
        if (piece.empty() || piece.size() > 3 || piece.find_first_not_of("0123456789") != std::string::npos ||
            std::stoi(piece) > 255)
            return false;
        ++count;
    }
    return count == 4 && text.back() != '.';
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);

    try {
        const net::TPassiveEndpoint endpoint = net::ParsePassiveReply(input);
        check(isDottedAddress(endpoint.Address), "PASV gave an address that is no dotted IPv4", input);
        check(endpoint.Port >= 1 && endpoint.Port <= 65535, "PASV gave a port outside 1..65535", input);
    } catch (const net::ENetException&) {
    }

    try {
        const std::int32_t port = net::ParseExtendedPassiveReply(input);
        check(port >= 1 && port <= 65535, "EPSV gave a port outside 1..65535", input);
    } catch (const net::ENetException&) {
    }

    std::vector<std::string> lines;
    std::istringstream in(input);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    for (const std::string& feature : net::ParseFeatureReply(lines))
        check(input.find(feature) != std::string::npos, "FEAT gave a feature not in the reply", input);
    const std::int64_t bytes = net::ParseSizeReply(lines);
    check(bytes >= -1, "SIZE gave a negative size", input);
    if (bytes >= 0)
        check(input.find(std::to_string(bytes)) != std::string::npos, "SIZE gave a number not in the reply", input);
    return 0;
}
