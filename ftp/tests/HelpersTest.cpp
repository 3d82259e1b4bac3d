// Pure helpers of the client: texts, host checks, reply codes, work accounting, buffers.
#include "NetFTP.h"
#include "TestSockets.h"

#include <gtest/gtest.h>

#include <cerrno>

using namespace std::string_literals;

namespace {

TEST(Helpers, SocketErrorText) {
    struct Row {
        int number;
        const char* message;
    };
    const Row rows[] = {
        {10061, "Socket Error # 10061\r\nConnection refused."},
        {10035, "Socket Error # 10035\r\nOperation would block. "},
        {10066, "Socket Error # 10066\r\nDirectory not empty"},
        {10004, "Socket Error # 10004\r\nInterrupted system call."},
        {11001, "Socket Error # 11001\r\n"},
        {5, "Socket Error # 5\r\n"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(net::SocketErrorText(row.number), row.message);
        EXPECT_STREQ(net::ENetSocketError(row.number).what(), row.message);
    }
}

TEST(Helpers, PlatformErrorsMapOntoWindowsSocketsNumbers) {
    struct Row {
        const char* name;
        int platformError;
        int number;
    };
#ifdef _WIN32
    // Windows reports the numbers themselves: nothing is mapped.
    const Row rows[] = {
        {"refused", 10061, 10061},        {"timed out", 10060, 10060},         {"reset", 10054, 10054},
        {"host not found", 11001, 11001}, {"not a socket error at all", 5, 5},
    };
#else
    const Row rows[] = {
        {"refused", ECONNREFUSED, 10061},     {"timed out", ETIMEDOUT, 10060},       {"reset", ECONNRESET, 10054},
        {"send after a reset", EPIPE, 10054}, {"address in use", EADDRINUSE, 10048}, {"no route", EHOSTUNREACH, 10065},
        {"not a socket", ENOTSOCK, 10038},
    };
#endif
    for (const Row& row : rows) {
        EXPECT_EQ(net::WinsockErrorNumber(row.platformError), row.number) << row.name;
    }
}

TEST(Helpers, AddressLiteralsAndNames) {
    struct Row {
        const char* text;
        bool dotted;
        const char* resolved; // the first address, "lookup" when the name was looked up
    };
    const Row rows[] = {
        {"127.0.0.1", true, "127.0.0.1"},
        {"0.0.0.0", true, "0.0.0.0"},
        {"255.255.255.255", true, "255.255.255.255"},
        {"LocalHost", false, "127.0.0.1"},
        {"1.2.3.256", false, "lookup"},
        {"1.2.3", false, "lookup"},
        {"1.2.3.4.5", false, "lookup"},
        {"a.b.c.d", false, "lookup"},
        {"1..3.4", false, "lookup"},
        {"", false, "lookup"},
        {"ftp.example", false, "lookup"},
        {"::1", false, "::1"},
        {"[::1]", false, "::1"},
        {"[2001:db8::5]", false, "2001:db8::5"},
        {"2001:db8:0:0:0:0:0:5", false, "2001:db8:0:0:0:0:0:5"},
        {"::ffff:192.0.2.1", false, "::ffff:192.0.2.1"},
        {"fe80::1%eth0", false, "fe80::1%eth0"},
        {"1:2:3:4:5:6:7:8:9", false, "lookup"},
        {"1::2::3", false, "lookup"},
        {":::1", false, "lookup"},
        {"12345::1", false, "lookup"},
        {"::g", false, "lookup"},
        {"[::1", false, "lookup"},
        {"fe80::1%", false, "lookup"},
        {"::1.2.3.256", false, "lookup"},
    };
    const net::TNetResolver lookup = [](const std::string&) { return std::vector<std::string>{"lookup"}; };
    for (const Row& row : rows) {
        EXPECT_EQ(net::LooksLikeIPv4(row.text), row.dotted) << row.text;
        EXPECT_EQ(net::ResolveHostAddresses(row.text, lookup).front(), row.resolved) << row.text;
    }
    EXPECT_EQ(net::EndpointText("::1", 21), "[::1]:21");
    EXPECT_EQ(net::EndpointText("10.0.0.5", 2121), "10.0.0.5:2121");
}

TEST(Helpers, FetchTokenAndLastPosition) {
    std::string input = "a,b,,c";
    EXPECT_EQ(net::FetchToken(input, ","), "a");
    EXPECT_EQ(input, "b,,c");
    EXPECT_EQ(net::FetchToken(input, ",", false), "b");
    EXPECT_EQ(input, "b,,c");
    input = "no delimiter";
    EXPECT_EQ(net::FetchToken(input, ","), "no delimiter");
    EXPECT_EQ(input, "");
    EXPECT_EQ(net::LastPosition(" ", "227 a b"), 6u);
    EXPECT_EQ(net::LastPosition("AB", "xabyab"), 5u);
    EXPECT_EQ(net::LastPosition("z", "abc"), 0u);
}

TEST(Helpers, ReplyCodeOfLastLine) {
    struct Row {
        std::string line;
        std::int16_t code;
    };
    const Row rows[] = {{"226 Done", 226}, {"+ok fine", 1}, {"-Err bad", 0},        {"21", 21},
                        {"ab", 0},         {"xyz 1", 0},    {"2\0000 odd code"s, 0}};
    for (const Row& row : rows) {
        EXPECT_EQ(net::ReplyCodeOf(row.line), row.code) << row.line;
    }
}

TEST(Helpers, WorkCountsPastTwoGibibytes) {
    net::TNetComponent component;
    std::vector<std::int64_t> counts;
    std::int64_t begun = -1;
    int ends = 0;
    component.OnWorkBegin = [&](net::TNetComponent&, net::TWorkMode, std::int64_t max) { begun = max; };
    component.OnWork = [&](net::TNetComponent&, net::TWorkMode, std::int64_t count) { counts.push_back(count); };
    component.OnWorkEnd = [&](net::TNetComponent&, net::TWorkMode) { ++ends; };
    component.AddWork(net::wkSend, 5); // no work started: no event
    component.StartWork(net::wkSend, 3221225472LL);
    component.StartWork(net::wkSend, 1); // nested: no second begin
    component.AddWork(net::wkSend, 2147483647);
    component.AddWork(net::wkSend, 1073741825);
    component.FinishWork(net::wkSend);
    EXPECT_EQ(ends, 0);
    component.FinishWork(net::wkSend);
    EXPECT_EQ(begun, 3221225472LL);
    EXPECT_EQ(counts, (std::vector<std::int64_t>{2147483647LL, 3221225472LL}));
    EXPECT_EQ(ends, 1);
}

TEST(Helpers, BufferTakesFromTheFront) {
    net::TNetBuffer buffer;
    buffer.Append("hello world", 11);
    buffer.Remove(6);
    EXPECT_EQ(buffer.View(), "world");
    char* room = buffer.Reserve(10);
    room[0] = '!';
    buffer.Commit(1);
    EXPECT_EQ(buffer.View(), "world!");
    buffer.Remove(100);
    EXPECT_TRUE(buffer.Empty());
}

TEST(Helpers, MemoryStreamReadsWritesAndCuts) {
    net::TNetMemoryStream stream("abcdef");
    char bytes[4] = {};
    stream.SetPosition(4);
    EXPECT_EQ(stream.Read(bytes, 4), 2u);
    EXPECT_EQ(std::string(bytes, 2), "ef");
    stream.SetPosition(1);
    stream.Write("XY", 2);
    stream.SetSize(stream.Position());
    EXPECT_EQ(stream.Bytes(), "aXY");
}

TEST(Helpers, ReadinessWaitOnABrokenHandleRaises) {
    int port = 0;
    testsupport::TestSocket socket = testsupport::listenOnLoopback(1, port);
    const auto closed = static_cast<net::TNetNativeHandle>(socket.get());
    socket.close();
    // A handle that is no longer open: the wait must not report "not ready" for ever.
    const auto deadline = net::TNetDeadline::After(net::SystemClock(), std::chrono::milliseconds(100));
    try {
        net::WaitForSocket(closed, net::WaitFor::Reading, deadline);
        FAIL() << "no exception";
    } catch (const net::ENetSocketError& error) {
        EXPECT_EQ(error.number(), 10038);
    }
    EXPECT_THROW(net::WaitForSocket(net::kNoHandle, net::WaitFor::Reading, deadline), net::ENetConnClosedGracefully);
}

} // namespace
