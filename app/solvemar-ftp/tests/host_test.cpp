// The solvemar-ftp host program end to end: a real process against a real FTP server, with its own
// APPDATA and SOLVEMAR.INI in the working folder, and no display at all.
#include "BreakingServer.h"
#include "FtpServerProcess.h"
#include "ScriptedServer.h"
#include "TransferFixture.h"

#ifdef PYTAGORAS_TLS_TESTS
#include "TestCertificates.h"
#endif

#include <gmock/gmock.h>

#include <algorithm>
#include <chrono>
#include <optional>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#endif

namespace {

using namespace transfertest;
using ::testing::AnyOf;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::StartsWith;

const std::string kUser = "ola";
const std::string kPassword = "Passord9";

struct HostRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Lines of a program's output.
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

// The program under test. A cross build's tests run under wine, which knows the build machine's paths
// only through a drive of its own: there the program is found beside the test program's folder.
std::string programFile() {
#ifdef _WIN32
    return (fs::path(platform::programFile()).parent_path().parent_path() / "solvemar-ftp.exe").string();
#else
    return SOLVEMAR_FTP_PROGRAM;
#endif
}

// Windows programs end their lines with CR LF on standard output and error; the checks read LF.
std::string withLineFeeds(std::string text) {
#ifdef _WIN32
    for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at)) {
        text.erase(at, 1);
    }
#endif
    return text;
}

class HostProgramTest : public TransferTest {
protected:
    HostRun run(std::vector<std::string> args, const fs::path& workingFolder = {}) {
        const fs::path err = m_env.root() / "stderr.txt";
        HostRun result = start(std::move(args), err.string(), workingFolder);
        result.err = withLineFeeds(testsupport::ReadFileBytes(err));
        return result;
    }

    // Runs the program with standard error on a terminal (a pseudo-terminal that passes every byte
    // as it is); the bytes it drew there are the result's err.
    HostRun runOnTerminal(std::vector<std::string> args) {
#ifdef _WIN32
        (void)args;
        return {};
#else
        const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) {
            ADD_FAILURE() << "no pseudo-terminal";
            return {};
        }
        const std::string terminal = ::ptsname(master);
        // Held open here, so that what the program drew stays readable after it has gone.
        const int slave = ::open(terminal.c_str(), O_RDWR | O_NOCTTY);
        termios raw{};
        ::tcgetattr(slave, &raw);
        ::cfmakeraw(&raw);
        ::tcsetattr(slave, TCSANOW, &raw);
        HostRun result = start(std::move(args), terminal);
        ::fcntl(master, F_SETFL, O_NONBLOCK);
        char chunk[4096];
        for (ssize_t n; (n = ::read(master, chunk, sizeof chunk)) > 0;) {
            result.err.append(chunk, static_cast<std::size_t>(n));
        }
        ::close(slave);
        ::close(master);
        return result;
#endif
    }

    void startServer(const std::string& iniPassword = kPassword, const std::string& folder = "",
                     FtpServerProcess::Behaviour behaviour = FtpServerProcess::Behaviour::Normal) {
        m_server = std::make_unique<FtpServerProcess>(m_env.root() / "server", kUser, kPassword, behaviour);
        writeIni(ftpEntry("127.0.0.1", m_server->port(), kUser, iniPassword, folder));
    }
    void writeIni(const std::string& entry) {
        testsupport::WriteFileBytes(iniFile(), "[STANDARD]\nLogToFile=1\n" + entry);
    }
    fs::path remote(const std::string& name) const {
        return m_server->root() / name;
    }
    fs::path programLog() const {
        return m_env.appdata() / "Solvemar" / "log" / "solvemar-ftp.log";
    }

    // A failure is one line on standard error, in Norwegian, naming the cause.
    static void expectOneLine(const HostRun& r, const std::string& piece) {
        EXPECT_EQ(r.exitCode, 1);
        const auto lines = linesOf(r.err);
        ASSERT_EQ(lines.size(), 1u) << r.err;
        EXPECT_THAT(lines[0], HasSubstr("solvemar-ftp: "));
        EXPECT_THAT(lines[0], HasSubstr(piece));
    }

    std::unique_ptr<FtpServerProcess> m_server;

private:
    HostRun start(std::vector<std::string> args, const std::string& standardError, const fs::path& workingFolder = {}) {
        const fs::path out = m_env.root() / "stdout.txt";
        args.insert(args.begin(), programFile());
        HostRun result;
        const int pid =
            testsupport::SpawnProcess(args, {testsupport::kNullDevice, out.string(), standardError, workingFolder});
        if (pid > 0) {
            result.exitCode = testsupport::WaitForExit(pid);
        }
        result.out = withLineFeeds(testsupport::ReadFileBytes(out));
        return result;
    }

    // Where cron, a service or a plain SSH session runs it: nothing to draw on.
    testsupport::ScopedEnv m_noDisplay{"DISPLAY", std::nullopt};
    testsupport::ScopedEnv m_noWayland{"WAYLAND_DISPLAY", std::nullopt};
    testsupport::ScopedEnv m_noPlatform{"QT_QPA_PLATFORM", std::nullopt};
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
        EXPECT_EQ(linesOf(r.err).size(), 1u) << row.name << ": " << r.err;
    }
    EXPECT_FALSE(fs::exists(iniFile())) << "wrong usage starts nothing";
}

TEST_F(HostProgramTest, FetchAndSendComplete) {
    startServer("Passord9", "inn");
    fs::create_directories(remote("inn"));
    fs::create_directories(remote("ut"));
    const struct {
        const char* name;
        std::string content;
    } rows[] = {
        {"priser.csv", "a;b;c\n"}, {"stor.bin", PatternBytes(10 << 20, 'm')}, // 10 MiB each way
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        testsupport::WriteFileBytes(remote("inn") / row.name, row.content);
        testsupport::WriteFileBytes(work() / row.name, "gammel\n");

        const HostRun fetch = run({"hent", row.name});
        EXPECT_EQ(fetch.exitCode, 0) << fetch.err;
        EXPECT_EQ(fetch.err, "") << "no terminal: no progress line, and success says nothing";
        EXPECT_TRUE(testsupport::ReadFileBytes(work() / row.name) == row.content) << "folder key of the entry used";
        EXPECT_EQ(testsupport::ReadFileBytes(work() / felles::ByttEndelse(row.name, "old")), "gammel\n");

        const HostRun send = run({"send", (work() / row.name).string(), "--mappe", "ut"});
        EXPECT_EQ(send.exitCode, 0) << send.err;
        EXPECT_TRUE(testsupport::ReadFileBytes(remote("ut") / row.name) == row.content);
    }

    const std::string log = testsupport::ReadFileBytes(programLog());
    EXPECT_THAT(log, HasSubstr("FTP: endret navn på " + (work() / "priser.tmp").string()));
    EXPECT_THAT(log, HasSubstr("FTP: Starter ny sesjon for opplasting av " + (work() / "priser.csv").string()));
    EXPECT_EQ(log.find(kPassword), std::string::npos);
    EXPECT_THAT(testsupport::ReadFileBytes(iniFile()), HasSubstr("[FOLDERS]")) << "shut-down wrote the INI back";
}

TEST_F(HostProgramTest, PassiveFromTheEntryOrTheOptionWhereActiveIsRefused) {
    const struct {
        const char* name;
        const char* keys;
        std::vector<std::string> options;
        bool succeeds;
    } rows[] = {
        {"passive=1 in the entry", "passive=1\n", {}, true},
        {"--passiv over passive=0", "passive=0\n", {"--passiv"}, true},
        {"neither: active mode, refused", "", {}, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        startServer(kPassword, "", FtpServerProcess::Behaviour::RefusePort);
        writeIni(ftpEntry("127.0.0.1", m_server->port(), kUser, kPassword) + row.keys);
        testsupport::WriteFileBytes(remote("inn.txt"), "fra serveren");
        testsupport::WriteFileBytes(work() / "ut.txt", "til serveren");
        std::vector<std::string> fetch{"hent", "inn.txt"};
        std::vector<std::string> send{"send", "ut.txt"};
        fetch.insert(fetch.end(), row.options.begin(), row.options.end());
        send.insert(send.end(), row.options.begin(), row.options.end());
        const HostRun fetched = run(fetch);
        const HostRun sent = run(send);
        if (row.succeeds) {
            EXPECT_EQ(fetched.exitCode, 0) << fetched.err;
            EXPECT_EQ(sent.exitCode, 0) << sent.err;
            EXPECT_EQ(testsupport::ReadFileBytes(work() / "inn.txt"), "fra serveren");
            EXPECT_EQ(testsupport::ReadFileBytes(remote("ut.txt")), "til serveren");
        } else {
            expectOneLine(fetched, "feil nr. 500");
            expectOneLine(sent, "500 Active mode is not allowed here.");
        }
        fs::remove(work() / "inn.txt");
        fs::remove(remote("ut.txt"));
    }
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

TEST_F(HostProgramTest, ConnectionFailuresNameTheErrorNumberAndTheServersReply) {
    startServer("galt");
    testsupport::WriteFileBytes(work() / "a.txt", "lokal");
    const HostRun fetch = run({"hent", "a.txt"});
    expectOneLine(fetch, "feil nr. 501");
    EXPECT_THAT(fetch.err, EndsWith(" (530 Authentication failed.)\n"));
    EXPECT_EQ(testsupport::ReadFileBytes(work() / "a.txt"), "lokal");
    const HostRun send = run({"send", "a.txt"});
    expectOneLine(send, "feil nr. 502");
    EXPECT_THAT(send.err, EndsWith(" (530 Authentication failed.)\n"));
    const std::string log = testsupport::ReadFileBytes(programLog());
    EXPECT_THAT(log, HasSubstr("FTP: Feil nr. 502, kunne ikke koble til\r\n"));
    EXPECT_THAT(log, HasSubstr("FTP: serveren svarte: 530 Authentication failed.\r\n"));

    writeIni(ftpEntry("127.0.0.1", testsupport::freeLoopbackPort(), kUser, kPassword));
    const HostRun closed = run({"send", "a.txt"});
    expectOneLine(closed, "feil nr. 502");
    EXPECT_THAT(closed.err, EndsWith(" som bruker " + kUser + ": Socket Error # 10061 Connection refused.\n"))
        << "no server, no reply of its own: the cause instead";
}

TEST_F(HostProgramTest, ScriptedServerFailuresGiveOneLine) {
    using ftptest::ServerSession;
    // The long refusal holds a bare CR and an "æ" across the 255-byte cut.
    const std::string refusal = "530 Nei\rnei " + std::string(242, 'x') + "\xc3\xa6" + std::string(40, 'y');
    const std::string hent = "solvemar-ftp: feil nr. 501: kunne ikke koble til 127.0.0.1 som bruker " + kUser;
    const auto refuseLogin = [](const std::string& reply) {
        return [reply](ServerSession& s) {
            s.reply("220 hi");
            s.readCommand();
            s.reply("331 pw");
            s.readCommand();
            s.reply(reply);
            s.waitForClose();
        };
    };
    // The size answered, then the download served, which the client still makes after a failed size.
    const auto answerSize = [](const std::string& reply) {
        return [reply](ServerSession& s) {
            s.login();
            s.readCommand();
            s.reply(reply);
            s.readCommand();
            s.reply("200 PORT ok");
            s.readCommand();
            s.reply("150 ok");
            s.connectToPort().sendAll("data");
            s.reply("226 Done");
            s.waitForClose();
        };
    };
    const struct {
        const char* name;
        ftptest::ScriptedServer::Script script;
        const char* operation;
        std::string starts;
        std::string ends;
        bool resets = false;
        std::string keys = {}; // more keys of the entry
    } rows[] = {
        {"upload reset by the server",
         [](ServerSession& s) {
             ftptest::openTransfer(s, false).reset();
             s.waitForClose();
         },
         "send", "solvemar-ftp: opplastingen av ",
         "feilet: Socket Error # 10054 Connection reset by peer.; opplastingen fortsettes ikke, og det serveren "
         "eventuelt fikk av filen, blir liggende der",
         true},
        {"upload ended by a 426 and no 226: the server's words",
         [](ServerSession& s) {
             ftptest::openTransfer(s, false).receiveAll();
             s.reply("426 Connection closed; transfer aborted.");
             // Longer than the client's wait for a 226, which must end it first.
             for (int i = 0; i < 4 && !s.waitForClose(); ++i) {
             }
         },
         "send", "solvemar-ftp: opplastingen av ",
         "feilet: 426 Connection closed; transfer aborted.; opplastingen "
         "fortsettes ikke, og det serveren eventuelt fikk av filen, blir liggende der"},
        {"login refused with a long reply", refuseLogin(refusal), "hent", hent,
         " (530 Nei nei " + std::string(242, 'x') + ")"},
        // The password, plain or scrambled as stored, never leaves in a message.
        {"login refused, the password echoed",
         refuseLogin("530 Login incorrect: 'PASS " + kPassword + "' (" + felles::SkjulTekst(kPassword) + ") rejected"),
         "hent", hent, " (530 Login incorrect: 'PASS ***' (***) rejected)"},
        {"a greeting of 70,000 bytes",
         [](ServerSession& s) {
             s.reply("220 " + std::string(70000, 'g'));
             s.waitForClose();
         },
         "hent", hent, ": Reply line longer than 65536 bytes."},
        {"a size that is none", answerSize("213 lots"), "hent", hent, ": Invalid file size in reply: 213 lots"},
        {"a passive reply without an address",
         [](ServerSession& s) {
             s.login();
             s.readCommand();
             s.reply("213 5");
             s.readCommand();
             s.reply("500 FEAT not understood");
             s.readCommand();
             s.reply("500 EPSV not understood");
             s.readCommand();
             s.reply("227 Entering Passive Mode (127,0,0,1)");
             s.waitForClose();
         },
         "hent", "solvemar-ftp: feil nr. 500: kunne ikke laste ned filen opp.bin: ",
         "is not a valid integer value; " + (work() / "opp.bin").string() + " er ikke endret", false, "passive=1\n"},
    };
    testsupport::WriteFileBytes(work() / "opp.bin", std::string(8 << 20, 'o'));
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        if (row.resets && testsupport::RunningUnderWine()) {
            continue; // ftptest::kResetNeedsARealSystem
        }
        ftptest::ScriptedServer server(row.script);
        writeIni(ftpEntry("127.0.0.1", server.port(), kUser, kPassword) + row.keys);
        fs::remove(programLog());
        const HostRun r = run({row.operation, "opp.bin"});
        server.finish();
        expectOneLine(r, "solvemar-ftp: ");
        EXPECT_THAT(r.err, StartsWith(row.starts));
        EXPECT_THAT(r.err, EndsWith(row.ends + "\n"));
        // The log has the cause on the line after the error line, without the password either.
        const std::string log = testsupport::ReadFileBytes(programLog());
        EXPECT_THAT(log, AnyOf(HasSubstr("FTP: årsak: "), HasSubstr("FTP: serveren svarte: "),
                               HasSubstr("FTP: opplastingen av ")));
        EXPECT_EQ(log.find(kPassword), std::string::npos);
        EXPECT_EQ(log.find(felles::SkjulTekst(kPassword)), std::string::npos);
        EXPECT_EQ(testsupport::ReadFileBytes(work() / "opp.bin"), std::string(8 << 20, 'o'));
    }
}

#ifdef PYTAGORAS_TLS_TESTS
TEST_F(HostProgramTest, SslEntryProtectedOrOneLineSayingWhy) {
    using Behaviour = FtpServerProcess::Behaviour;
    const auto& certificates = testsupport::Certificates();
    const FtpServerProcess::TlsIdentity good{certificates.good.certificate, certificates.good.key};
    const FtpServerProcess::TlsIdentity expired{certificates.expired.certificate, certificates.expired.key};
    const struct {
        const char* name;
        const FtpServerProcess::TlsIdentity* serverTls; // none: the server offers no TLS
        Behaviour behaviour;
        std::string why; // the end of the line on standard error; empty when the transfer completes
    } rows[] = {
        {"TLS with the CA of sslca", &good, Behaviour::Normal, ""},
        {"server without TLS", nullptr, Behaviour::Normal,
         "127.0.0.1 tilbyr ikke TLS (500 Command \"AUTH\" not understood.); uten \"SSL\" i FTP-oppsettet sendes "
         "passord og filer i klartekst"},
        {"expired certificate", &expired, Behaviour::Normal,
         "sertifikatet til 127.0.0.1 kunne ikke bekreftes: det er utløpt (certificate has expired)"},
        {"server hangs up in the handshake", nullptr, Behaviour::ClosesAfterAuth,
         "TLS-forhandlingen med 127.0.0.1 mislyktes: serveren brøt forbindelsen"},
        {"server resets in the handshake", nullptr, Behaviour::ResetsAfterAuth,
         "TLS-forhandlingen med 127.0.0.1 mislyktes: serveren avbrøt forbindelsen brått (nullstilt)"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        if (row.behaviour == Behaviour::ResetsAfterAuth && testsupport::RunningUnderWine()) {
            continue; // wine reports a peer's reset as an orderly close
        }
        m_server =
            std::make_unique<FtpServerProcess>(m_env.root() / row.name, kUser, kPassword, row.behaviour, row.serverTls);
        writeIni(ftpEntry("127.0.0.1", m_server->port(), kUser, kPassword) +
                 "SSL=1\nsslca=" + certificates.ca.string() + "\n");
        testsupport::WriteFileBytes(remote("tls.txt"), "beskyttet");
        const HostRun fetch = run({"hent", "tls.txt"});
        if (row.why.empty()) {
            EXPECT_EQ(fetch.exitCode, 0) << fetch.err;
            EXPECT_EQ(testsupport::ReadFileBytes(work() / "tls.txt"), "beskyttet");
        } else {
            expectOneLine(fetch, "solvemar-ftp: feil nr. 501: kunne ikke koble til 127.0.0.1 som bruker " + kUser +
                                     ": " + row.why);
        }
    }
}
#endif

TEST_F(HostProgramTest, FailedDownloadExitsOneAndKeepsTheFile) {
    const struct {
        const char* name;
        FtpServerProcess::Behaviour behaviour;
        std::string file;
        std::string cause;
    } rows[] = {
        {"short data", FtpServerProcess::Behaviour::ShortRetr, "stor.bin", "serveren sendte 25000 av 50000 byte"},
        // Its T is data.tmp.tmp: the user's data.tmp is neither emptied nor deleted.
        {"RETR refused, L named like its T", FtpServerProcess::Behaviour::RefuseRetr, "data.tmp",
         "550 Permission denied."},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        startServer(kPassword, "", row.behaviour);
        testsupport::WriteFileBytes(remote(row.file), std::string(50000, 'x'));
        testsupport::WriteFileBytes(work() / row.file, "god");
        const HostRun r = run({"hent", row.file});
        expectOneLine(r, "feil nr. 500: kunne ikke laste ned filen " + row.file + ": " + row.cause + "; " +
                             (work() / row.file).string() + " er ikke endret");
        EXPECT_EQ(testsupport::ReadFileBytes(work() / row.file), "god");
    }
}

// Norwegian letters in the names of the working folder and the file: the file asked for on the server, and
// the one changed here, are those the user named.
TEST_F(HostProgramTest, NorwegianLettersInFolderAndFileNames) {
    startServer();
    fs::create_directories(remote("ut"));
    const std::string name = "blåbær.txt";
    const std::string folder = work().string() + platform::kSeparator + "Bjørn" + platform::kSeparator;
    const fs::path here = testsupport::NativePath(folder);
    fs::create_directories(here);
    testsupport::WriteFileBytes(here / "SOLVEMAR.INI", testsupport::ReadFileBytes(iniFile()));
    testsupport::WriteFileBytes(testsupport::NativePath(m_server->root().string() + platform::kSeparator + name),
                                "fra serveren");
    testsupport::WriteFileBytes(testsupport::NativePath(folder + name), "gammel");

    const HostRun fetched = run({"hent", name}, here);
    EXPECT_EQ(fetched.exitCode, 0) << fetched.err;
    EXPECT_EQ(testsupport::ReadFileBytes(testsupport::NativePath(folder + name)), "fra serveren");
    EXPECT_EQ(testsupport::ReadFileBytes(testsupport::NativePath(folder + "blåbær.old")), "gammel");

    const HostRun sent = run({"send", name, "--mappe", "ut"}, here);
    EXPECT_EQ(sent.exitCode, 0) << sent.err;
    EXPECT_EQ(testsupport::ReadFileBytes(
                  testsupport::NativePath((m_server->root() / "ut").string() + platform::kSeparator + name)),
              "fra serveren");
}

TEST_F(HostProgramTest, WithoutFtpEntryWritesTheDefaultEntryWhereItCanAndSaysWhichItDid) {
    // UTF-16 without the byte-order mark Notepad writes before it: not understood, so never written over.
    const auto utf16 = [](const std::string& ascii) {
        std::string bytes;
        for (const char c : ascii) {
            bytes += c;
            bytes += '\0';
        }
        return bytes;
    };
    const std::string missing = "hadde ingen server (seksjon SERVER-SETTING-FTP); ";
    const struct {
        const char* name;
        std::string ini;
        bool readOnly;
        std::string message;
        std::string written; // in the file afterwards (as ASCII); empty: the file is as it was
    } rows[] = {
        {"an empty file", "", false, missing + "standardoppsettet er skrevet dit, rett det og prøv igjen",
         "server=ftp.solvemar.no\r\n"},
        {"a read-only file", "[STANDARD]\r\nLogToFile=1\r\n", true,
         missing + "standardoppsettet kunne ikke skrives dit (filen er skrivebeskyttet)", ""},
        {"UTF-16 without its mark", utf16("[STANDARD]\r\nLogToFile=1\r\n"), false,
         missing + "standardoppsettet kunne ikke skrives dit (innholdet kunne ikke leses riktig", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        fs::remove(iniFile());
        testsupport::WriteFileBytes(iniFile(), row.ini);
        if (row.readOnly) {
            fs::permissions(iniFile(), fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
        }
        expectOneLine(run({"hent", "a.txt"}), row.message);
        const std::string after = testsupport::ReadFileBytes(iniFile());
        if (row.written.empty()) {
            EXPECT_EQ(after, row.ini);
        } else {
            EXPECT_THAT(after, HasSubstr(row.written)) << "the default entry, for the user to edit";
        }
        fs::permissions(iniFile(), fs::perms::owner_write, fs::perm_options::add);
    }
}

TEST_F(HostProgramTest, CommandLineIsReadAsGivenWithNoToolkitOptions) {
    const fs::path log = programLog();
    const struct {
        std::vector<std::string> args;
        std::string user; // empty: wrong usage, nothing started
    } rows[] = {
        {{"--user", "-reverse", "hent", "a.txt"}, "BRUKER: -REVERSE"},
        {{"--user", "-style", "hent", "a.txt"}, "BRUKER: -STYLE"},
        // No GUI toolkit takes options away any more: -style is nobody's.
        {{"-style", "fusion", "--user", "x", "hent", "a.txt"}, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.user);
        // Each run writes the default entry it found missing.
        writeIni("");
        fs::remove(log);
        const HostRun r = run(row.args);
        if (row.user.empty()) {
            EXPECT_EQ(r.exitCode, 2);
            EXPECT_THAT(r.err, HasSubstr("ukjent valg -style"));
            EXPECT_FALSE(fs::exists(log));
            continue;
        }
        // The usage is right, so the run gets as far as the missing FTP entry.
        expectOneLine(r, "SERVER-SETTING-FTP");
        EXPECT_THAT(testsupport::ReadFileBytes(log), HasSubstr(" " + row.user + "\r\n"));
    }
}

TEST_F(HostProgramTest, OnATerminalTheProgressLineEndsBeforeTheResult) {
#ifdef _WIN32
    GTEST_SKIP() << "the test's terminal is a POSIX pseudo-terminal; a Windows console is found with GetConsoleMode";
#endif
    startServer();
    const std::string content = PatternBytes(8 << 20, 's');
    testsupport::WriteFileBytes(remote("stor.bin"), content);
    const struct {
        const char* name;
        std::vector<std::string> args;
        int exitCode;
        std::string err;     // what ends the bytes on the terminal
        bool breaks = false; // from a server that breaks the download half-way
    } rows[] = {
        {"a download draws its line, then ends it", {"hent", "stor.bin"}, 0, "/s\n"},
        {"a failure before any data: its one line only",
         {"hent", "mangler.bin"},
         1,
         "solvemar-ftp: finner ikke filen mangler.bin på 127.0.0.1\n"},
        {"a broken download goes on and says so", {"hent", "stor.bin"}, 0, "/s  (nytt forsøk 1 av 3)\n", true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::optional<ftptest::BreakingServer> breaking;
        if (row.breaks) {
            breaking.emplace(ftptest::BreakingServer::Options{.content = content, .breakAt = {4 << 20}});
            writeIni(ftpEntry("127.0.0.1", breaking->port(), kUser, kPassword));
        }
        const auto start = std::chrono::steady_clock::now();
        const HostRun r = runOnTerminal(row.args);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        EXPECT_EQ(r.exitCode, row.exitCode) << r.err;
        if (row.exitCode != 0) {
            EXPECT_EQ(r.err, row.err);
            continue;
        }
        // "\rstor.bin  1.2 MB av 8.4 MB  14 %  95.1 MB/s" redrawn in place, the last one ended.
        ASSERT_THAT(r.err, StartsWith("\rstor.bin  "));
        EXPECT_THAT(r.err, EndsWith("\n"));
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1);
        const std::string last = r.err.substr(r.err.rfind('\r'));
        EXPECT_THAT(last, HasSubstr("8.4 MB av 8.4 MB  100 %  "));
        EXPECT_THAT(last, EndsWith(row.err));
        EXPECT_TRUE(testsupport::ReadFileBytes(work() / "stor.bin") == content);
        const auto redraws = std::count(r.err.begin(), r.err.end(), '\r');
        EXPECT_LE(redraws, 2 + static_cast<long>(seconds * 10)) << "at most ten a second";
    }
}

} // namespace
