// The solvemar-ftp host program end to end: a real process against a real FTP server, with its own
// APPDATA and SOLVEMAR.INI in the working folder.
#include "FtpServerProcess.h"
#include "TransferFixture.h"

#include <gmock/gmock.h>

#include <sys/stat.h>

namespace {

using namespace transfertest;
using ::testing::HasSubstr;

const std::string kUser = "ola";
const std::string kPassword = "Passord9";

struct HostRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Lines of a program's output, without Qt's own start-up notices.
std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        auto end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

class HostProgramTest : public TransferTest {
protected:
    HostRun run(std::vector<std::string> args) {
        const fs::path out = m_env.root() / "stdout.txt";
        const fs::path err = m_env.root() / "stderr.txt";
        args.insert(args.begin(), SOLVEMAR_FTP_PROGRAM);
        HostRun result;
        const int pid = testsupport::SpawnProcess(args, {"/dev/null", out.string(), err.string(), {}});
        if (pid > 0) {
            result.exitCode = testsupport::WaitForExit(pid);
        }
        result.out = testsupport::ReadFileBytes(out);
        result.err = testsupport::ReadFileBytes(err);
        return result;
    }

    void startServer(const std::string& iniPassword = kPassword, const std::string& folder = "",
                     FtpServerProcess::Behaviour behaviour = FtpServerProcess::Behaviour::Normal) {
        m_server = std::make_unique<FtpServerProcess>(m_env.root() / "server", kUser, kPassword, behaviour);
        writeIni(ftpEntry("127.0.0.1", m_server->port(), kUser, iniPassword, folder));
    }
    void writeIni(const std::string& entry) {
        testsupport::WriteFileBytes(iniFile(), "[STANDARD]\nLogToFile=1\n" + entry);
    }
    fs::path remote(const std::string& name) const { return m_server->root() / name; }

    // A failure is one line on standard error, in Norwegian, naming the cause.
    static void expectOneLine(const HostRun& r, const std::string& piece) {
        EXPECT_EQ(r.exitCode, 1);
        const auto lines = linesOf(r.err);
        ASSERT_EQ(lines.size(), 1u) << r.err;
        EXPECT_THAT(lines[0], HasSubstr("solvemar-ftp: "));
        EXPECT_THAT(lines[0], HasSubstr(piece));
    }

    std::unique_ptr<FtpServerProcess> m_server;
};

TEST_F(HostProgramTest, HelpAndWrongUsage) {
    const HostRun help = run({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_THAT(help.out, HasSubstr("Bruk: solvemar-ftp send FIL [--mappe MAPPE]"));
    EXPECT_THAT(help.out, HasSubstr("solvemar-ftp hent FIL"));

    const struct {
        const char* name;
        std::vector<std::string> args;
    } rows[] = {
        {"nothing", {}},
        {"operation without file", {"hent"}},
        {"unknown operation", {"kopier", "a.txt"}},
        {"unknown option", {"send", "a.txt", "--fort"}},
        {"folder without value", {"send", "a.txt", "--mappe"}},
        {"two files", {"send", "a.txt", "b.txt"}},
    };
    for (const auto& row : rows) {
        const HostRun r = run(row.args);
        EXPECT_EQ(r.exitCode, 2) << row.name;
        EXPECT_THAT(r.err, HasSubstr("Bruk: solvemar-ftp")) << row.name;
    }
    EXPECT_FALSE(fs::exists(iniFile())) << "wrong usage starts nothing";
}

TEST_F(HostProgramTest, FetchAndSendComplete) {
    startServer("Passord9", "inn");
    fs::create_directories(remote("inn"));
    fs::create_directories(remote("ut"));
    testsupport::WriteFileBytes(remote("inn/priser.csv"), "a;b;c\n");
    testsupport::WriteFileBytes(work() / "priser.csv", "gammel\n");

    const HostRun fetch = run({"hent", "priser.csv"});
    EXPECT_EQ(fetch.exitCode, 0) << fetch.err;
    EXPECT_EQ(testsupport::ReadFileBytes(work() / "priser.csv"), "a;b;c\n") << "folder key of the entry used";
    EXPECT_EQ(testsupport::ReadFileBytes(work() / "priser.old"), "gammel\n");

    const HostRun send = run({"send", (work() / "priser.csv").string(), "--mappe", "ut"});
    EXPECT_EQ(send.exitCode, 0) << send.err;
    EXPECT_EQ(testsupport::ReadFileBytes(remote("ut/priser.csv")), "a;b;c\n");

    const std::string log = testsupport::ReadFileBytes(m_env.appdata() / "Solvemar" / "log" / "solvemar-ftp.log");
    EXPECT_THAT(log, HasSubstr("FTP: endret navn på " + (work() / "priser.tmp").string()));
    EXPECT_THAT(log, HasSubstr("FTP: Starter ny sesjon for opplasting av " + (work() / "priser.csv").string()));
    EXPECT_EQ(log.find(kPassword), std::string::npos);
    EXPECT_THAT(testsupport::ReadFileBytes(iniFile()), HasSubstr("[FOLDERS]")) << "shut-down wrote the INI back";
}

TEST_F(HostProgramTest, EachFailureExitsOneWithOneLine) {
    startServer();
    testsupport::WriteFileBytes(work() / "lokal.txt", "lokal");
    expectOneLine(run({"hent", "mangler.txt"}), "finner ikke filen mangler.txt");

    fs::permissions(work() / "lokal.txt", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    expectOneLine(run({"send", "lokal.txt"}), "filstørrelsen");
    fs::permissions(work() / "lokal.txt", fs::perms::owner_write, fs::perm_options::add);

    expectOneLine(run({"send", "lokal.txt", "--mappe", "finnes/ikke"}), "opplastingen av");
}

TEST_F(HostProgramTest, ConnectionFailuresNameTheErrorNumber) {
    startServer("galt");
    testsupport::WriteFileBytes(work() / "a.txt", "lokal");
    expectOneLine(run({"hent", "a.txt"}), "feil nr. 501");
    EXPECT_EQ(testsupport::ReadFileBytes(work() / "a.txt"), "lokal");

    writeIni(ftpEntry("127.0.0.1", FreeLoopbackPort(), kUser, kPassword));
    expectOneLine(run({"send", "a.txt"}), "feil nr. 502");
}

TEST_F(HostProgramTest, ShortDownloadExitsOneAndKeepsTheFile) {
    startServer(kPassword, "", FtpServerProcess::Behaviour::ShortRetr);
    testsupport::WriteFileBytes(remote("stor.bin"), std::string(50000, 'x'));
    testsupport::WriteFileBytes(work() / "stor.bin", "god");
    expectOneLine(run({"hent", "stor.bin"}), "feil nr. 500");
    EXPECT_EQ(testsupport::ReadFileBytes(work() / "stor.bin"), "god");
}

TEST_F(HostProgramTest, HeadlessWithoutFtpEntryExplainsInsteadOfWaiting) {
    writeIni("");
    expectOneLine(run({"hent", "a.txt"}), "SERVER-SETTING-FTP");
}

TEST_F(HostProgramTest, CommandLineIsReadAsGivenAndToolkitOptionsArePassedOver) {
    writeIni("");
    const fs::path log = m_env.appdata() / "Solvemar" / "log" / "solvemar-ftp.log";
    const struct {
        std::vector<std::string> args;
        std::string user;
    } rows[] = {
        {{"--user", "-reverse", "hent", "a.txt"}, "BRUKER: -REVERSE"},
        {{"--user", "-style", "hent", "a.txt"}, "BRUKER: -STYLE"},
        {{"-style", "fusion", "--user", "x", "hent", "a.txt"}, "BRUKER: X"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.user);
        fs::remove(log);
        // The usage is right, so the run gets as far as the missing FTP entry.
        expectOneLine(run(row.args), "SERVER-SETTING-FTP");
        EXPECT_THAT(testsupport::ReadFileBytes(log), HasSubstr(" " + row.user + "\r\n"));
    }
}

} // namespace
