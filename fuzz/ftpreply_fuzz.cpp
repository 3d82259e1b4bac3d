// Bytes from a server, read as FTP replies until the stream ends: every reply that comes out is
// well formed and bounded, and every failure is one of the client's own exceptions.
#include "NetExceptions.h"
#include "NetMemoryByteStream.h"
#include "NetReplies.h"
#include "NetTCPConnection.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

void check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "reply reader: %s\n", what);
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    net::TNetManualClock clock;
    net::TNetTCPConnection connection;
    connection.SetClock(clock);
    connection.UseStream(std::make_unique<net::TNetMemoryByteStream>(
        clock, std::string(reinterpret_cast<const char*>(data), size), net::TNetMemoryByteStream::AtEnd::Close));
    try {
        for (;;) {
            const std::int16_t code = connection.AwaitReply({});
            check(!connection.ReplyLines.empty(), "a reply without lines");
            check(connection.ReplyLines.size() <= 1000, "more than 1,000 lines in one reply");
            for (const std::string& line : connection.ReplyLines) {
                check(!line.empty(), "an empty line in a reply");
                check(line.size() <= 65536, "a line longer than 64 KiB");
                check(net::TrimControl(line) == line, "a line with control characters at its ends");
            }
            check(code == connection.ReplyCode, "returned code differs from ReplyCode");
            check(code == net::ReplyCodeOf(connection.LastReplyLine()), "code not taken from the last line");
            const std::string& first = connection.ReplyLines.front();
            if (first.size() > 3 && first[3] == '-') {
                // The end line is stored trimmed: "550 " comes out as "550", and a code with control
                // characters loses them.
                const std::string code = net::TrimControl(first.substr(0, 3));
                const std::string& last = connection.LastReplyLine();
                check(net::EqualsIgnoringCase(last.substr(0, code.size()), code) &&
                          (last.size() == code.size() || code.size() < 3 || last[3] == ' '),
                      "a multi-line reply that does not end at its code and a blank");
            }
        }
    } catch (const net::ENetException&) {
        // The stream's end, a time-out or a refused reply: all reported the client's way.
    }
    return 0;
}
