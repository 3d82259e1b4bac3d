// Small pure helpers for the texts of the FTP conversation: reply codes, the PASV endpoint, the PORT
// argument, the SIZE answer and the check of command arguments.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace net {

// Removes leading and trailing characters with codes 0 to 32.
std::string TrimControl(const std::string& text);
bool EqualsIgnoringCase(const std::string& a, const std::string& b);

// A whole decimal number with an optional sign; nothing for anything else or a value beyond 64 bits.
std::optional<std::int64_t> ParseInteger(const std::string& text);

// The code of a reply's last line: "+OK" gives 1, "-ERR" 0, else its first three characters as a
// number, 0 when they are not one.
std::int16_t ReplyCodeOf(const std::string& line);

struct TPassiveEndpoint {
    std::string Address;
    std::int32_t Port = 0;
};

// Reads the endpoint of a 227 reply line: the text between the parentheses, or after the last blank.
// A piece that is not a number raises EConvertError; a piece outside 0..255 or port 0 raises
// ENetInvalidPassiveEndpoint.
TPassiveEndpoint ParsePassiveReply(const std::string& lastReplyLine);

// The port of a 229 reply line (RFC 2428): "229 Entering Extended Passive Mode (|||6446|)", where any
// character may stand for "|". A port that is not a number raises EConvertError; a reply of another shape, or
// a port outside 1..65535, raises ENetInvalidPassiveEndpoint.
std::int32_t ParseExtendedPassiveReply(const std::string& lastReplyLine);

// "PORT h1,h2,h3,h4,p1,p2".
std::string FormatPortCommand(const std::string& address, std::int32_t port);
// "EPRT |2|::1|6446|" for an IPv6 address, "EPRT |1|10.0.0.5|6446|" for an IPv4 one (RFC 2428).
std::string FormatExtendedPortCommand(const std::string& address, std::int32_t port);

// The size in a 213 reply; -1 when its lines do not hold exactly one number of 0 or more.
std::int64_t ParseSizeReply(const std::vector<std::string>& replyLines);

// The features a FEAT reply lists (RFC 2389), one per line as the server wrote them, without the lines
// that open and close the list.
std::vector<std::string> ParseFeatureReply(const std::vector<std::string>& replyLines);
// True when features hold the feature: its name and, when given, its arguments, whatever the letter case
// ("MDTM", "REST STREAM").
bool HasFeature(const std::vector<std::string>& features, const std::string& feature);

// Raises ENetUnsafeArgument when a command argument holds CR, LF or NUL.
void CheckCommandArgument(const std::string& argument);

} // namespace net
