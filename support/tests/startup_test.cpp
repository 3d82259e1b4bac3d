#include "SupportFixture.h"

#ifndef _WIN32
#include "ScopedFileSizeLimit.h"
#endif

namespace supporttest {
namespace {

using testsupport::ReadFileBytes;
using testsupport::WriteFileBytes;

using Lines = std::vector<std::string>;

class StartupTest : public SupportTest {
protected:
    void SetUp() override {
        SupportTest::SetUp();
        m_registry->setText("Network\\Logon", "Username", "ola");
        m_registry->setText("System\\CurrentControlSet\\Control\\ComputerName\\ComputerName", "ComputerName", "PC1");
    }
    std::string WorkIni() const { return (m_env.work() / "SOLVEMAR.INI").string(); }
    std::string TreeIni() const { return root() + N("etc/SOLVEMAR.INI"); }
    std::string Program() const { return (programFolder() / "demo.exe").string(); }
    void Run(const std::vector<std::string>& args) {
        hs_reg::Startup(args);
        hs_reg::Shutdown();
    }
    // A second program start in the same process.
    void Restart(const std::vector<std::string>& args) {
        ResetSupport();
        SetUp();
        Run(args);
    }
    Lines Tail(const Lines& all, std::size_t count) const {
        return all.size() < count ? all : Lines(all.end() - static_cast<std::ptrdiff_t>(count), all.end());
    }
    Lines Opening(const std::string& ini) const {
        return {"START: " + Program(), "INIFIL: " + ini, "BRUKER: OLA", "LOGIN: ola  node: PC1. IP:"};
    }
};

TEST_F(StartupTest, FirstStartBuildsTheTreeAndWritesOnlyFolders) {
    hs_reg::Startup({});
    EXPECT_EQ(hs_reg::IniFileName(), TreeIni());
    EXPECT_EQ(hs_reg::IniFolder(), root() + N("etc/"));
    const std::string ini = ReadFileBytes(TreeIni());
    hs_reg::Shutdown();

    std::string expected = "[FOLDERS]\r\netc_folder=" + root() + N("etc/") +
                           "\r\nbin_folder=" + programFolder().string() + N("/") +
                           "\r\ndoc_folder=" + (m_env.root() / "prog" / "doc").string() + N("/") + "\r\n";
    for (const char* kind : {"archive",
                             "backup",
                             "data",
                             "data\\tidemark",
                             "data\\qform",
                             "data\\rb7",
                             "data\\docs",
                             "data\\vsk",
                             "etc",
                             "export",
                             "export\\xml",
                             "export\\pdf",
                             "export\\csv",
                             "export\\html",
                             "export\\html\\varer",
                             "import",
                             "images",
                             "spool",
                             "tmp",
                             "xml",
                             "log",
                             "maler",
                             "maler\\docs",
                             "maler\\rb7"}) {
        const std::string folder = N(kind);
        EXPECT_TRUE(fs::is_directory(root() + folder)) << folder;
        if (std::string_view(kind) != "etc") {
            expected += std::string(kind) + "_folder=" + root() + folder + N("/") + "\r\n";
        }
    }
    expected += "\r\n";
    EXPECT_EQ(ini, expected);
    EXPECT_EQ(ReadFileBytes(TreeIni()), expected) << "shut-down writes the same back";
    EXPECT_FALSE(fs::exists(logFile())) << "logging is off by default";
    EXPECT_EQ(std::distance(fs::directory_iterator(m_env.work()), fs::directory_iterator()), 0) << "nothing else";
    EXPECT_EQ(hs_reg::IniFileName(), "");
    EXPECT_EQ(textfil::LogFileName(), "");
}

TEST_F(StartupTest, WorkingFolderIniWithVerboseLogging) {
    WriteFileBytes(WorkIni(), "[STANDARD]\nLogToFile=1\nVerboseLogging=1\n");
    hs_reg::Startup({});
    EXPECT_EQ(LogMessages(), Opening(WorkIni()));
    EXPECT_EQ(hs_reg::solvemarpath("etc"), root() + N("etc/")) << "the tree built at this start takes the record";
    hs_reg::Shutdown();
    const Lines all = LogMessages();
    EXPECT_EQ(Tail(all, 2), (Lines{"Oppdaterer " + WorkIni(), "AVSLUTTER PROGRAM. 0 feilmeldinger og 0 advarsler"}));
    EXPECT_NE(ReadFileBytes(WorkIni()).find("LogToFile=1"), std::string::npos);

    // The tree exists now: a second start records the working folder as the etc folder.
    Restart({});
    EXPECT_NE(ReadFileBytes(WorkIni()).find("etc_folder=" + m_env.work().string() + N("/") + "\r\n"),
              std::string::npos);
}

TEST_F(StartupTest, ReadOnlyIniIsWarnedAboutAndLeftByteForByte) {
    const std::string content = "; mine\r\n[STANDARD]\nLogToFile=1\nVerboseLogging=1\n";
    WriteFileBytes(WorkIni(), content);
    MakeReadOnly(WorkIni());
    Run({});
    EXPECT_EQ(ReadFileBytes(WorkIni()), content);
    EXPECT_EQ(Tail(LogMessages(), 2), (Lines{"ADVARSEL: " + WorkIni() + " er skrivebeskyttet og vil ikke bli lagret.",
                                             "AVSLUTTER PROGRAM. 0 feilmeldinger og 1 advarsler"}));
}

TEST_F(StartupTest, FailedWriteAtShutdownIsLoggedAndKeepsTheOldFile) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows has no file size limit to cut a write short with";
#else
    WriteFileBytes(WorkIni(), "[STANDARD]\nLogToFile=1\nVerboseLogging=1\n");
    Run({});
    ResetSupport();
    SetUp();
    hs_reg::Startup({});
    const std::string saved = ReadFileBytes(WorkIni());
    hs_reg::writestr("Changed", "1");
    // The store grows far beyond the log, so a file size limit between the two cuts the INI file only.
    hs_reg::setsection("VEKST");
    for (int i = 0; i < 400; ++i) {
        hs_reg::writestr("nokkel" + std::to_string(i), std::string(200, 'x'));
    }
    hs_reg::resetsection();
    {
        testsupport::ScopedFileSizeLimit cut(64 * 1024);
        ASSERT_TRUE(cut.active());
        hs_reg::Shutdown();
    }
    EXPECT_EQ(ReadFileBytes(WorkIni()), saved);
    EXPECT_EQ(Tail(LogMessages(), 3), (Lines{"INI-CRASH i HS_REG", "Oppdaterer " + WorkIni(),
                                             "AVSLUTTER PROGRAM. 0 feilmeldinger og 0 advarsler"}));
#endif
}

TEST_F(StartupTest, InstallTwiceLogsOneErrorPerExistingFolder) {
    WriteFileBytes(WorkIni(), "[STANDARD]\nLogToFile=1\n");
    Run({"-install"});
    Lines first = LogMessages();
    ASSERT_GE(first.size(), 24u);
    EXPECT_EQ(first[0], "Oppretter mappen " + root() + "archive") << "kept until the log's name was known";
    EXPECT_EQ(first[23], "Oppretter mappen " + root() + N("maler/rb7"));
    EXPECT_EQ(Tail(first, 1), Lines{"AVSLUTTER PROGRAM. 0 feilmeldinger og 0 advarsler"});

    Restart({"-install"});
    const Lines all = LogMessages();
    const Lines second(all.begin() + static_cast<std::ptrdiff_t>(first.size()), all.end());
    const auto errors = std::count_if(second.begin(), second.end(),
                                      [](const std::string& m) { return m.rfind("FEIL: [mkdirsafe:", 0) == 0; });
    EXPECT_EQ(errors, 24);
    EXPECT_EQ(Tail(second, 1), Lines{"AVSLUTTER PROGRAM. 24 feilmeldinger og 0 advarsler"});
}

TEST_F(StartupTest, CommandLine) {
    struct Row {
        const char* name;
        std::vector<std::string> args;
        const char* ini;
        Lines expected;
    };
    const std::string on = "[STANDARD]\nLogToFile=1\n";
    const std::string off = "[STANDARD]\nLogToFile=0\nVerboseLogging=1\n";
    const Lines quiet = {"START: " + Program(), "INIFIL: " + WorkIni(), "BRUKER: OLA"};
    const Lines verbose = Opening(WorkIni());
    const Lines closing = {"Oppdaterer " + WorkIni(), "AVSLUTTER PROGRAM. 0 feilmeldinger og 0 advarsler"};
    auto join = [](Lines a, const Lines& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    const Row rows[] = {
        {"no options", {}, on.c_str(), quiet},
        {"--debug with LogToFile off logs nothing", {"--debug"}, off.c_str(), {}},
        {"verbose without LogToFile logs nothing", {}, off.c_str(), {}},
        {"--debug with LogToFile on", {"--debug"}, on.c_str(), join(verbose, closing)},
        {"--DEBUG is ignored", {"--DEBUG", "/debug", "-debug"}, on.c_str(), quiet},
        {"--user --debug",
         {"--user", "--debug"},
         on.c_str(),
         join({"START: " + Program(), "INIFIL: " + WorkIni(), "BRUKER: --DEBUG", "LOGIN: ola  node: PC1. IP:"},
              closing)},
        {"-ip last is empty", {"--debug", "-ip"}, on.c_str(), join(verbose, closing)},
        {"-ip cut to 15",
         {"--debug", "-ip", "123.123.123.123999"},
         on.c_str(),
         join({"START: " + Program(), "INIFIL: " + WorkIni(), "BRUKER: OLA",
               "LOGIN: ola  node: PC1. IP:123.123.123.123"},
              closing)},
        {"--user cut to 63",
         {"--user", std::string(70, 'x')},
         on.c_str(),
         {"START: " + Program(), "INIFIL: " + WorkIni(), "BRUKER: " + std::string(63, 'X')}},
        {"later value wins",
         {"--user", "a", "--user", "b"},
         on.c_str(),
         {"START: " + Program(), "INIFIL: " + WorkIni(), "BRUKER: B"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ResetSupport();
        SetUp();
        fs::remove(logFile());
        WriteFileBytes(WorkIni(), row.ini);
        Run(row.args);
        EXPECT_EQ(LogMessages(), row.expected);
    }
}

TEST_F(StartupTest, ClearLogAndCleanupAtStart) {
    fs::create_directories(root() + N("tmp/old"));
    fs::create_directories(root() + "log");
    WriteFileBytes(root() + N("tmp/old/x.tmp"), "x");
    WriteFileBytes(logFile(), "01/01/26 old line\r\n");
    WriteFileBytes(WorkIni(), "[STANDARD]\nLogToFile=1\nClearLogFileOnStartup=1\nDeleteTemporaryFiles=1\n");
    hs_reg::Startup({});
    EXPECT_TRUE(fs::is_empty(root() + "tmp"));
    EXPECT_EQ(LogMessages(),
              (Lines{"LOGGFIL TØMT (TextFile.ClearLog).", "Sletter midlertidige filer opprettet av Solvemar programmer",
                     "START: " + Program(), "INIFIL: " + WorkIni(), "BRUKER: OLA"}));
    hs_reg::Shutdown();
}

} // namespace
} // namespace supporttest
