#include "SupportFixture.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace supporttest {
namespace {

using testsupport::WriteFileBytes;

class CleanupTest : public SupportTest {
protected:
    void SetUp() override {
        SupportTest::SetUp();
        hs_reg::setIniFileName((m_env.work() / "SOLVEMAR.INI").string());
        hs_reg::loadini();
        m_log = (m_env.root() / "t.log").string();
        textfil::SetLogToFile(true);
        textfil::SetLogFileName(m_log);
    }
    // A folder holding a file and a sub-folder with files.
    static void Fill(const fs::path& folder) {
        fs::create_directories(folder / "sub" / "deeper");
        WriteFileBytes(folder / "a.txt", "a");
        WriteFileBytes(folder / "sub" / "b.txt", "b");
        WriteFileBytes(folder / "sub" / "deeper" / "c.txt", "c");
    }
    static bool IsEmptyFolder(const fs::path& folder) { return fs::is_directory(folder) && fs::is_empty(folder); }
    std::string m_log;
};

TEST_F(CleanupTest, TopFolderSurvivesEmptyAndVerboseLinesNameEveryStep) {
    const fs::path top = m_env.root() / "work-tmp";
    Fill(top);
    textfil::SetVerboseLogging(true);
    int depth = 0;
    int maxDepth = 0;
    hs_reg::setBusyCursorHook([&](bool busy) {
        depth += busy ? 1 : -1;
        maxDepth = std::max(maxDepth, depth);
    });
    hs_reg::cleanfolder(top.string());
    EXPECT_TRUE(IsEmptyFolder(top));
    EXPECT_EQ(depth, 0) << "the default cursor is back";
    EXPECT_GE(maxDepth, 1);
    const auto messages = LogMessagesOf(m_log);
    const std::string t = top.string() + N("/");
    EXPECT_EQ(messages.front(), "Sletter mappen " + t);
    for (const std::string& expected : {"Sletter " + t + "a.txt", "Sletter mappen " + t + N("sub/"),
                                        "Sletter " + t + N("sub/b.txt"), "Sletter " + t + N("sub/deeper/c.txt")}) {
        EXPECT_NE(std::find(messages.begin(), messages.end(), expected), messages.end()) << expected;
    }
    EXPECT_EQ(messages.size(), 6u);
}

TEST_F(CleanupTest, ReadOnlyFileIsDeletedAndQuietWhenNotVerbose) {
    const fs::path top = m_env.root() / "ro-folder";
    Fill(top);
    MakeReadOnly(top / "a.txt");
    MakeReadOnly(top / "sub" / "deeper" / "c.txt");
#ifdef _WIN32
    // Hidden and system files go as well, and so does a folder with the read-only attribute.
    ::SetFileAttributesW((top / "sub" / "b.txt").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    ::SetFileAttributesW((top / "sub" / "deeper").c_str(), FILE_ATTRIBUTE_READONLY);
#endif
    hs_reg::cleanfolder(top.string() + N("/"));
    EXPECT_TRUE(IsEmptyFolder(top));
    EXPECT_FALSE(fs::exists(m_log)) << "nothing logged without the verbose switch";
}

TEST_F(CleanupTest, LinksAreRemovedNeverFollowed) {
    const fs::path outside = m_env.root() / "precious";
    fs::create_directories(outside / "inner");
    WriteFileBytes(outside / "keep.txt", "keep");
    WriteFileBytes(outside / "inner" / "keep2.txt", "keep");
    const fs::path top = m_env.root() / "linktmp";
    fs::create_directories(top / "sub");
#ifdef _WIN32
    // Junctions, the links any Windows user may make; symbolic links need a privilege there.
    if (!MakeJunction(top / "link", outside) || !MakeJunction(top / "sub" / "deeplink", outside)) {
        GTEST_SKIP() << "this file system cannot hold a junction (wine's cannot)";
    }
#else
    fs::create_directory_symlink(outside, top / "link");
    fs::create_directory_symlink(outside, top / "sub" / "deeplink");
    fs::create_symlink(outside / "keep.txt", top / "filelink");
#endif
    hs_reg::cleanfolder(top.string());
    EXPECT_TRUE(IsEmptyFolder(top));
    EXPECT_EQ(testsupport::ReadFileBytes(outside / "keep.txt"), "keep");
    EXPECT_EQ(testsupport::ReadFileBytes(outside / "inner" / "keep2.txt"), "keep");
}

TEST_F(CleanupTest, ShortFolderTextsAreNeverCleaned) {
    // Relative to the working folder so that short texts name real folders.
    struct Row {
        const char* folder;
        bool cleaned;
    };
    const Row rows[] = {{"ab", false}, {"abcde/", false}, {"abcdef", true}, {"abcdefg/", true}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.folder);
        Fill(m_env.work() / row.folder);
        hs_reg::cleanfolder(N(row.folder));
        EXPECT_EQ(IsEmptyFolder(m_env.work() / row.folder), row.cleaned);
    }
}

TEST_F(CleanupTest, TreeTmpFolderNeedsTmpInItsPath) {
    // Relative to the working folder: every absolute test path lies below /tmp.
    Fill(m_env.work() / "scratch");
    hs_reg::setfolderpath("tmp", "scratch");
    hs_reg::deletetempfiles(false);
    EXPECT_FALSE(IsEmptyFolder(m_env.work() / "scratch"));

    Fill(m_env.work() / "work" / "Tmp");
    hs_reg::setfolderpath("tmp", N("work/Tmp"));
    hs_reg::deletetempfiles(false);
    EXPECT_TRUE(IsEmptyFolder(m_env.work() / "work" / "Tmp"));
    EXPECT_EQ(LogMessagesOf(m_log),
              std::vector<std::string>(2, "Sletter midlertidige filer opprettet av Solvemar programmer"));
}

TEST_F(CleanupTest, SystemFolders) {
    const fs::path temp = m_env.root() / "mytemp";
    const fs::path windir = m_env.root() / "win";
    const fs::path spool = m_env.root() / "print-spool";
    fs::create_directories(root() + "tmp");
    struct Row {
        const char* name;
        bool setTemp;
        bool setWindir;
        bool setSpool;
        bool tempCleaned;
        bool windirCleaned;
        bool spoolCleaned;
        std::vector<std::string> lines;
    };
    const std::string heading = "Sletter midlertidige filer opprettet av Solvemar programmer";
    const Row rows[] = {
        {"all set",
         true,
         true,
         true,
         true,
         true,
         true,
         {heading, "Sletter midlertidige filer i Windows", "Sletter skriverkøer"}},
        {"TEMP unset cleans neither TEMP nor WINDIR, spool still",
         false,
         true,
         true,
         false,
         false,
         true,
         {heading, "Sletter skriverkøer"}},
        {"WINDIR unset", true, false, false, true, false, false, {heading, "Sletter midlertidige filer i Windows"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Fill(temp);
        Fill(windir / "temp");
        Fill(spool);
        fs::remove(m_log);
        auto reg = std::make_shared<hs_reg::MemoryRegistry>();
        if (row.setSpool) {
            reg->setText("System\\CurrentControlSet\\Control\\Print\\Printers", "DefaultSpoolDirectory",
                         spool.string());
        }
        hs_reg::setRegistry(reg);
        testsupport::ScopedEnv tempEnv("TEMP", row.setTemp ? std::optional<std::string>(temp.string()) : std::nullopt);
        testsupport::ScopedEnv windirEnv("WINDIR",
                                         row.setWindir ? std::optional<std::string>(windir.string()) : std::nullopt);
        hs_reg::deletetempfiles(true);
        EXPECT_EQ(IsEmptyFolder(temp), row.tempCleaned);
        EXPECT_EQ(IsEmptyFolder(windir / "temp"), row.windirCleaned);
        EXPECT_EQ(IsEmptyFolder(spool), row.spoolCleaned);
        EXPECT_EQ(LogMessagesOf(m_log), row.lines);
    }
}

} // namespace
} // namespace supporttest
