// The reply reader on replies of real servers fed from memory: no threads, no sockets, and time-outs that
// move a manual clock instead of taking wall time.
#include "FtpTestUtil.h"
#include "NetMemoryByteStream.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>

using namespace std::chrono_literals;
using namespace std::string_literals;
using net::TNetMemoryByteStream;

namespace {

// The stream handed to a connection, kept in reach so that the test can look at it afterwards.
TNetMemoryByteStream& feed(net::TNetTCPConnection& connection, net::TNetManualClock& clock, std::string bytes,
                           TNetMemoryByteStream::AtEnd atEnd, std::size_t pieceSize = SIZE_MAX,
                           std::chrono::milliseconds pieceDelay = {}) {
    auto stream = std::make_unique<TNetMemoryByteStream>(clock, std::move(bytes), atEnd, pieceSize, pieceDelay);
    TNetMemoryByteStream& kept = *stream;
    connection.SetClock(clock);
    connection.UseStream(std::move(stream));
    return kept;
}

std::string repeated(const std::string& text, std::size_t times) {
    std::string all;
    for (std::size_t i = 0; i < times; ++i) {
        all += text;
    }
    return all;
}

TEST(ReplyReader, RepliesOfRealServers) {
    // What the read after the expected replies meets: nothing (it is not made), the server's close, a
    // bound, or silence until the idle time-out.
    enum class Ends { Quietly, Closed, TooLong, TimedOut };
    struct Row {
        const char* name;
        std::string bytes;
        std::vector<std::vector<std::string>> replies; // the lines of each reply, in order
        Ends ends = Ends::Quietly;
    };
    const std::string g17000(17000, 'g');
    const std::string atBound = "220 " + std::string(net::kMaxReplyLineLength - 4, 'q');
    const Row rows[] = {
        {"greeting of several lines",
         "220-Welcome\r\n220-second line\r\n  indented line\r\n220 ready\r\n",
         {{"220-Welcome", "220-second line", "indented line", "220 ready"}}},
        {"welcome text with short and empty continuation lines",
         "220-Welcome to the test archive\r\n ***\r\n \r\n OK\r\n\r\n 1\r\n220 Server ready.\r\n",
         {{"220-Welcome to the test archive", "***", "OK", "1", "220 Server ready."}}},
        {"continuation lines that start with a code are text",
         "230-Login notes:\n 230 indented is text\n331 another code\r\n\t230 after a tab\r\n230 Logged in.\r\n",
         {{"230-Login notes:", "230 indented is text", "331 another code", "230 after a tab", "230 Logged in."}}},
        {"220- lines followed by 220 ",
         "220-one\r\n220-two\r\n220-three\r\n220 four\r\n",
         {{"220-one", "220-two", "220-three", "220 four"}}},
        {"lines shorter than four characters are text",
         "220-first\r\n220-more\r\n21\r\nab\r\n220 ready\r\n",
         {{"220-first", "220-more", "21", "ab", "220 ready"}}},
        {"the code without a blank is text",
         "211-Features:\r\n211\r\n UTF8\r\n211 End\r\n",
         {{"211-Features:", "211", "UTF8", "211 End"}}},
        {"an end line of the code and a blank alone",
         "550-Cannot store:\r\n quota exceeded\r\n550 \r\n",
         {{"550-Cannot store:", "quota exceeded", "550"}}},
        {"bare line feeds and empty lines between replies",
         "220 hi\n\r\n\n\n\n331 pw\n230-a\n\n230 b\n200 ok\r\n215 X\n",
         {{"220 hi"}, {"331 pw"}, {"230-a", "230 b"}, {"200 ok"}, {"215 X"}}},
        {"login replies of a slow server",
         "220-Slow\r\n220 server\r\n331 Password\r\n230 In\r\n200 Type\r\n215 UNIX Type: L8\r\n213 123456\r\n",
         {{"220-Slow", "220 server"},
          {"331 Password"},
          {"230 In"},
          {"200 Type"},
          {"215 UNIX Type: L8"},
          {"213 123456"}}},
        {"five-line greeting and pipelined replies",
         "220-one\r\n220-two\r\n220-three\r\n220-four\r\n220 five\r\n331 Password\r\n230 In\r\n200 Type\r\n"
         "215 UNIX Type: L8\r\n213 42\r\n",
         {{"220-one", "220-two", "220-three", "220-four", "220 five"},
          {"331 Password"},
          {"230 In"},
          {"200 Type"},
          {"215 UNIX Type: L8"},
          {"213 42"}}},
        {"NUL inside reply lines; a NUL in the code gives 0",
         "220 Hello\0world\r\n331 Pass\0word\r\n215 UNIX\0L8\r\n213 12\00034\r\n2\0000 odd code\r\n213 7\r\n"s,
         {{"220 Hello\0world"s},
          {"331 Pass\0word"s},
          {"215 UNIX\0L8"s},
          {"213 12\00034"s},
          {"2\0000 odd code"s},
          {"213 7"}}},
        {"17,000 characters a line",
         "220-" + g17000 + "\r\n220 " + g17000 + "\r\n",
         {{"220-" + g17000, "220 " + g17000}}},
        {"a line of exactly the length bound", atBound + "\r\n", {{atBound}}},
        {"a line one past the length bound", atBound + "q\r\n", {}, Ends::TooLong},
        {"an overlong continuation line",
         "220-start\r\n " + std::string(net::kMaxReplyLineLength, 'x') + "\r\n220 end\r\n",
         {},
         Ends::TooLong},
        {"1 MiB without a line end", "220 hi\r\n" + std::string(1 << 20, 'x'), {{"220 hi"}}, Ends::TooLong},
        {"50 MiB without a line end are refused early", "220" + std::string(50u << 20, 'z'), {}, Ends::TooLong},
        {"endless blank continuation lines",
         "220-start\r\n" + repeated(" \r\n", net::kMaxReplyLines + 200),
         {},
         Ends::TooLong},
        {"endless continuation lines",
         "220 hi\r\n331-start\r\n" + repeated("331-more\r\n", 2000),
         {{"220 hi"}},
         Ends::TooLong},
        {"server closes within a partial last line",
         "220 hi\r\n331 partial line without end",
         {{"220 hi"}},
         Ends::Closed},
        {"no end line, then silence", "220-start\r\n OK\r\n", {}, Ends::TimedOut},
        {"silent server", "", {}, Ends::TimedOut},
    };
    struct Delivery {
        const char* name;
        std::size_t pieceSize;
        std::int32_t recvBufferSize;
    };
    for (const Delivery& delivery : {Delivery{"in one piece", SIZE_MAX, 32768}, Delivery{"byte by byte", 1, 1}}) {
        for (const Row& row : rows) {
            SCOPED_TRACE(std::string(row.name) + ", " + delivery.name);
            net::TNetManualClock clock;
            net::TNetTCPConnection connection;
            connection.IdleTimeout = 300ms;
            connection.RecvBufferSize = delivery.recvBufferSize;
            const TNetMemoryByteStream& stream = feed(connection, clock, row.bytes,
                                                      row.ends == Ends::TimedOut ? TNetMemoryByteStream::AtEnd::Silence
                                                                                 : TNetMemoryByteStream::AtEnd::Close,
                                                      delivery.pieceSize);
            bool raised = false;
            std::vector<std::string> events;
            connection.OnDisconnected = [&](net::TNetComponent&) { events.push_back(raised ? "late" : "closed"); };
            for (const std::vector<std::string>& lines : row.replies) {
                EXPECT_EQ(connection.AwaitReply({}), net::ReplyCodeOf(lines.back()));
                EXPECT_EQ(connection.ReplyLines, lines);
            }
            const auto start = clock.Now();
            if (row.ends != Ends::Quietly) {
                try {
                    connection.AwaitReply({});
                    ADD_FAILURE() << "no exception";
                } catch (const net::ENetConnClosedGracefully& error) {
                    EXPECT_EQ(row.ends, Ends::Closed);
                    EXPECT_STREQ(error.what(), "Connection Closed Gracefully.");
                } catch (const net::ENetReplyTooLong&) {
                    EXPECT_EQ(row.ends, Ends::TooLong);
                    // The reader stops at the bounds, whatever the server has still to offer.
                    EXPECT_LE(stream.Taken(), 2 * net::kMaxReplyLineLength);
                } catch (const net::ENetSocketError& error) {
                    EXPECT_EQ(row.ends, Ends::TimedOut);
                    EXPECT_STREQ(error.what(), "Socket Error # 10060\r\nConnection timed out.");
                }
                raised = true;
            }
            EXPECT_EQ(clock.Now() - start, row.ends == Ends::TimedOut ? 300ms : 0ms);
            EXPECT_EQ(connection.IsConnected(), row.ends == Ends::Quietly);
            EXPECT_EQ(events,
                      row.ends == Ends::Quietly ? std::vector<std::string>{} : std::vector<std::string>{"closed"});
            EXPECT_LE(connection.ReplyLines.size(), net::kMaxReplyLines);
            EXPECT_LE(connection.PendingInput.Size(), net::kMaxReplyLineLength + 32768);
        }
    }
}

TEST(ReplyReader, AWholeReplyIsDueWithinTheIdleTimeOut) {
    // One byte a second: each wait is short, but a reply as a whole may not take longer than the time-out.
    const struct {
        const char* name;
        std::string bytes;
        bool arrives;
    } rows[] = {
        {"a greeting of 11 bytes", "220 ready\r\n", true},
        {"a greeting of 150 bytes", "220 " + std::string(144, 'x') + "\r\n", false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        net::TNetManualClock clock;
        net::TNetTCPConnection connection;
        connection.IdleTimeout = 60s;
        feed(connection, clock, row.bytes, TNetMemoryByteStream::AtEnd::Silence, 1, 1s);
        const auto start = clock.Now();
        if (row.arrives) {
            EXPECT_EQ(connection.AwaitReply({220}), 220);
            EXPECT_EQ(clock.Now() - start, 11s);
        } else {
            EXPECT_THROW(connection.AwaitReply({220}), net::ENetSocketError);
            EXPECT_EQ(clock.Now() - start, 60s);
            EXPECT_FALSE(connection.IsConnected());
        }
    }
}

TEST(ReplyReader, SizeReplies) {
    struct Row {
        const char* name;
        std::string reply;
        std::optional<std::int64_t> size; // none: a 213 without a size, which is raised
    };
    const Row rows[] = {
        {"plain size", "213 48213\r\n", 48213},
        {"zero", "213 0\r\n", 0},
        {"above 2 GiB", "213 3221225472\r\n", 3221225472LL},
        {"missing file", "550 No such file.\r\n", -1},
        {"not implemented", "502 Command not implemented.\r\n", -1},
        {"multi-line 213", "213-Size follows\r\n213 100\r\n", std::nullopt},
        {"beyond 64 bits", "213 99999999999999999999\r\n", std::nullopt},
        {"not a number", "213 lots\r\n", std::nullopt},
        {"negative", "213 -1\r\n", std::nullopt},
        {"NUL inside the number", "213 12\00034\r\n"s, std::nullopt},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        net::TNetManualClock clock;
        net::TNetFTP ftp;
        const TNetMemoryByteStream& stream = feed(ftp, clock, row.reply, TNetMemoryByteStream::AtEnd::Silence);
        if (row.size) {
            EXPECT_EQ(ftp.QueryFileSize("dir/file name.txt"), *row.size);
        } else {
            EXPECT_THROW(ftp.QueryFileSize("dir/file name.txt"), net::ENetInvalidSizeReply);
        }
        EXPECT_TRUE(ftp.IsConnected());
        EXPECT_EQ(stream.Sent(), "SIZE dir/file name.txt\r\n");
    }
}

} // namespace
