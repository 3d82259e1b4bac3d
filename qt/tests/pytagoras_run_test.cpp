// The whole program started as a user would, headless, in a private APPDATA/HOME/working folder,
// and closed with SIGTERM: the folder tree, the INI file and the log must be as start-up and
// shut-down leave them, and nothing may be written elsewhere.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <functional>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "TempEnvironment.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testsupport::ReadFileBytes;
using testsupport::WriteFileBytes;

bool WaitFor(const std::function<bool()>& ready, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (ready()) {
            return true;
        }
        std::this_thread::sleep_for(50ms);
    }
    return ready();
}

class ProgramRun : public ::testing::Test {
protected:
    std::string Root() const { return (m_env.appdata() / "Solvemar").string() + "/"; }

    // Starts the program with the parameters; the time stamps are then in the C locale's format. With
    // errorOutput its standard error goes there.
    void Start(std::vector<std::string> args = {}, int errorOutput = -1) {
        testsupport::ScopedEnv platform("QT_QPA_PLATFORM", "offscreen");
        testsupport::ScopedEnv lcAll("LC_ALL", "C");
        // The toolkit's own folder, so that it has nothing to warn about on standard error.
        const fs::path runtime = m_env.root() / "runtime";
        fs::create_directories(runtime);
        fs::permissions(runtime, fs::perms::owner_all);
        testsupport::ScopedEnv runtimeDir("XDG_RUNTIME_DIR", runtime.string());
        args.insert(args.begin(), PYTAGORAS_EXE);
        std::vector<char*> argv;
        for (std::string& arg : args) {
            argv.push_back(arg.data());
        }
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        if (errorOutput >= 0) {
            posix_spawn_file_actions_adddup2(&actions, errorOutput, STDERR_FILENO);
        }
        const int spawned = ::posix_spawn(&m_pid, PYTAGORAS_EXE, &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ASSERT_EQ(spawned, 0);
    }

    // SIGTERM, then the exit code, or 128 + the signal that ended the program; -1 when the program did
    // not end by itself in time.
    int Stop() {
        ::kill(m_pid, SIGTERM);
        int status = 0;
        const bool ended = WaitFor([&] { return ::waitpid(m_pid, &status, WNOHANG) == m_pid; }, 20s);
        if (!ended) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, &status, 0);
        }
        m_pid = -1;
        if (!ended) {
            return -1;
        }
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

    void TearDown() override {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
    }

    testsupport::TempEnvironment m_env;
    pid_t m_pid = -1;
};

TEST_F(ProgramRun, FirstStartBuildsTheTreeAndTheIniFile) {
    const std::string ini = Root() + "etc/SOLVEMAR.INI";
    Start();
    ASSERT_TRUE(WaitFor([&] { return ReadFileBytes(ini).find("log_folder=") != std::string::npos; }, 20s));
    // Start-up is done once the log folder is recorded; give the windows a moment to appear.
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(Stop(), 0);

    for (const char* folder : {"archive", "data/docs", "etc", "export/html/varer", "log", "tmp", "maler/rb7"}) {
        EXPECT_TRUE(fs::is_directory(Root() + folder)) << folder;
    }
    const std::string content = ReadFileBytes(ini);
    EXPECT_EQ(content.rfind("[FOLDERS]\r\netc_folder=" + Root() + "etc/\r\n", 0), 0u) << content;
    EXPECT_EQ(content.find("[", 1), std::string::npos) << "only the FOLDERS section";
    EXPECT_NE(content.find("data\\docs_folder=" + Root() + "data/docs/\r\n"), std::string::npos);
    EXPECT_FALSE(fs::exists(Root() + "log/pytagoras.log")) << "logging is off by default";
    EXPECT_TRUE(fs::is_empty(m_env.work())) << "nothing in the working folder";
}

TEST_F(ProgramRun, VerboseLogFromTheWorkingFolderIni) {
    const std::string ini = (m_env.work() / "SOLVEMAR.INI").string();
    WriteFileBytes(ini, "[STANDARD]\r\nLogToFile=1\r\nVerboseLogging=1\r\n");
    const std::string log = Root() + "log/pytagoras.log";
    Start();
    ASSERT_TRUE(WaitFor([&] { return ReadFileBytes(log).find("LOGIN: ") != std::string::npos; }, 20s));
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(Stop(), 0);

    static const std::regex line(R"(\d{4}-\d\d-\d\d( \d\d:\d\d:\d\d)? ([^\r\n]*)\r\n)");
    std::vector<std::string> messages;
    const std::string bytes = ReadFileBytes(log);
    std::string rest;
    std::size_t pos = 0;
    for (std::sregex_iterator it(bytes.begin(), bytes.end(), line), end; it != end; ++it) {
        EXPECT_EQ(static_cast<std::size_t>(it->position()), pos) << "a line without a well-formed stamp";
        pos = static_cast<std::size_t>(it->position() + it->length());
        messages.push_back((*it)[2].str());
    }
    EXPECT_EQ(pos, bytes.size());
    ASSERT_EQ(messages.size(), 6u) << bytes;
    EXPECT_EQ(messages[0], "START: " + fs::canonical(PYTAGORAS_EXE).string());
    EXPECT_EQ(messages[1], "INIFIL: " + ini);
    EXPECT_EQ(messages[2].rfind("BRUKER: ", 0), 0u);
    EXPECT_GT(messages[2].size(), std::string("BRUKER: ").size());
    EXPECT_EQ(messages[3].rfind("LOGIN: ", 0), 0u);
    EXPECT_EQ(messages[4], "Oppdaterer " + ini);
    EXPECT_EQ(messages[5], "AVSLUTTER PROGRAM. 0 feilmeldinger og 0 advarsler");
    EXPECT_NE(ReadFileBytes(ini).find("[FOLDERS]"), std::string::npos);
}

TEST_F(ProgramRun, TheLibraryReadsTheCommandLineAsGiven) {
    const struct {
        std::vector<std::string> args;
        std::string user;
    } rows[] = {
        {{"--user", "-reverse"}, "BRUKER: -REVERSE"},
        {{"--user", "-qwindowtitle"}, "BRUKER: -QWINDOWTITLE"},
        {{"--user", "-style"}, "BRUKER: -STYLE"},
        {{"-style", "fusion", "--user", "x"}, "BRUKER: X"},
    };
    const std::string ini = (m_env.work() / "SOLVEMAR.INI").string();
    const std::string log = Root() + "log/pytagoras.log";
    for (const auto& row : rows) {
        SCOPED_TRACE(row.user);
        WriteFileBytes(ini, "[STANDARD]\r\nLogToFile=1\r\n");
        fs::remove(log);
        Start(row.args);
        ASSERT_TRUE(WaitFor([&] { return ReadFileBytes(log).find("BRUKER: ") != std::string::npos; }, 20s));
        std::this_thread::sleep_for(200ms);
        EXPECT_EQ(Stop(), 0);
        EXPECT_NE(ReadFileBytes(log).find(" " + row.user + "\r\n"), std::string::npos) << ReadFileBytes(log);
    }
}

TEST_F(ProgramRun, StartUpNeverWaitsBeyondASignal) {
    const std::string ini = (m_env.work() / "SOLVEMAR.INI").string();
    const std::string log = Root() + "log/pytagoras.log";
    // A standard error nobody reads (a stalled terminal, a full pipe) holds start-up at the first message
    // it writes: here the one saying that the log, a FIFO, cannot be opened.
    int full[2] = {-1, -1};
    ASSERT_EQ(::pipe2(full, O_NONBLOCK | O_CLOEXEC), 0);
    const std::string filler(4096, 'x');
    while (::write(full[1], filler.data(), filler.size()) > 0) {
    }
    ASSERT_EQ(::fcntl(full[1], F_SETFL, 0), 0);
    const struct {
        const char* name;
        std::function<void()> prepare;
        std::function<bool()> inStartUpOrLater;
        int errorOutput;
        int stopped;
    } rows[] = {
        {"a FIFO as SOLVEMAR.INI and as the log is passed over and never opened; SIGTERM then quits the event "
         "loop cleanly",
         [&] {
             ::mkfifo(ini.c_str(), 0644);
             fs::create_directories(Root() + "log");
             ::mkfifo(log.c_str(), 0644);
         },
         [&] { return fs::is_directory(Root() + "maler/rb7"); }, -1, 0},
        {"SIGTERM while start-up waits ends the program",
         [&] {
             WriteFileBytes(ini, "[STANDARD]\r\nLogToFile=1\r\n");
             fs::create_directories(Root() + "log");
             ::mkfifo(log.c_str(), 0644);
         },
         [&] { return ReadFileBytes(ini).find("log_folder=") != std::string::npos; }, full[1], 128 + SIGTERM},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        fs::remove_all(m_env.appdata() / "Solvemar");
        fs::remove(ini);
        row.prepare();
        Start({}, row.errorOutput);
        ASSERT_TRUE(WaitFor(row.inStartUpOrLater, 20s));
        std::this_thread::sleep_for(500ms);
        EXPECT_EQ(Stop(), row.stopped);
        EXPECT_TRUE(fs::is_fifo(log));
        EXPECT_FALSE(fs::exists(Root() + "etc/SOLVEMAR.INI"));
    }
    ::close(full[0]);
    ::close(full[1]);
}

} // namespace
