#include <cerrno>

#include "SupportFixture.h"

namespace supporttest {
namespace {

// The numbers a folder creation fails with: the folder exists; the folder above it is missing.
#ifdef _WIN32
constexpr int kExists = 183; // ERROR_ALREADY_EXISTS
constexpr int kNoParent = 3; // ERROR_PATH_NOT_FOUND
#else
constexpr int kExists = EEXIST;
constexpr int kNoParent = ENOENT;
#endif

using testsupport::ReadFileBytes;
using testsupport::WriteFileBytes;

class FoldersTest : public SupportTest {
protected:
    void SetUp() override {
        SupportTest::SetUp();
        m_ini = (m_env.work() / "SOLVEMAR.INI").string();
        hs_reg::setIniFileName(m_ini);
        hs_reg::loadini();
        m_log = (m_env.work() / "t.log").string();
    }
    void LogTo(const std::string& file) {
        textfil::SetLogToFile(true);
        textfil::SetLogFileName(file);
    }
    std::string Recorded(const std::string& kind) {
        hs_reg::setsection("FOLDERS");
        std::string value = hs_reg::readstr(kind + "_folder");
        hs_reg::resetsection();
        return value;
    }
    std::string m_ini;
    std::string m_log;
};

TEST_F(FoldersTest, EmptyRecordGivesTheDefaultCreatedAndRecorded) {
    LogTo(m_log);
    hs_reg::setsection("SERVER-SETTING-FTP");
    const std::string tmp = hs_reg::solvemarpath("tmp");
    EXPECT_EQ(tmp, root() + N("tmp/"));
    EXPECT_TRUE(fs::is_directory(tmp));
    EXPECT_EQ(hs_reg::currentsection(), "SERVER-SETTING-FTP");
    EXPECT_EQ(Recorded("tmp"), tmp);
    EXPECT_EQ(LogMessagesOf(m_log), std::vector<std::string>{"hs_reg.solvemarpath(tmp): Lager mappen " + tmp});
    EXPECT_NE(ReadFileBytes(m_ini).find("tmp_folder=" + tmp + "\r\n"), std::string::npos) << "saved";
}

TEST_F(FoldersTest, NestedKindsKeepBackslashesInKeysAndUseNativeFolders) {
    const std::string docs = hs_reg::solvemarpath("data\\docs");
    EXPECT_EQ(docs, root() + N("data/docs/"));
    EXPECT_TRUE(fs::is_directory(docs));
    EXPECT_NE(ReadFileBytes(m_ini).find("data\\docs_folder=" + docs), std::string::npos);
}

TEST_F(FoldersTest, RecordedValues) {
    const std::string outside = (m_env.root() / "other" / "place").string();
    hs_reg::setfolderpath("x", "");
    hs_reg::setsection("FOLDERS");
    hs_reg::writestr("nosep_folder", root() + "nosep");
    hs_reg::writestr("outside_folder", outside);
    hs_reg::resetsection();

    EXPECT_EQ(hs_reg::solvemarpath("nosep"), root() + N("nosep/"));
    EXPECT_EQ(Recorded("nosep"), root() + N("nosep/"));
    EXPECT_EQ(hs_reg::solvemarpath("outside"), outside + N("/"));
    EXPECT_FALSE(fs::exists(outside)) << "a folder outside the tree is never created";
}

TEST_F(FoldersTest, EmptyKindIsTheRootAndWritesNothing) {
    EXPECT_EQ(hs_reg::solvemarpath(""), root());
    EXPECT_FALSE(fs::exists(m_ini));
}

TEST_F(FoldersTest, BinIsNeverCreatedEvenInsideTheTree) {
    hs_reg::setfolderpath("bin", root() + "bin");
    EXPECT_EQ(hs_reg::solvemarpath("bin"), root() + N("bin/"));
    EXPECT_FALSE(fs::exists(root() + "bin"));
}

TEST_F(FoldersTest, BinfolderIsTheProgramsFolder) {
    EXPECT_EQ(hs_reg::binfolder(), programFolder().string() + N("/"));
    EXPECT_EQ(Recorded("bin"), programFolder().string() + N("/"));
}

TEST_F(FoldersTest, MissingLogFolderOutsideTheTreeFallsBackToTheDefault) {
    hs_reg::setfolderpath("log", (m_env.root() / "gone" / "log").string());
    EXPECT_EQ(hs_reg::logfolder(), root() + N("log/"));
    EXPECT_TRUE(fs::is_directory(root() + "log"));
    EXPECT_FALSE(fs::exists(m_env.root() / "gone"));
}

TEST_F(FoldersTest, LogFileNameReplacesTheExtension) {
    EXPECT_EQ(hs_reg::logfilename(), root() + N("log/demo.log"));
    EXPECT_EQ(textfil::LogFileName(), root() + N("log/demo.log"));
    hs_reg::setProgramFilePath((programFolder() / "pytagoras").string());
    EXPECT_EQ(hs_reg::logfilename(), root() + N("log/pytagoras.log"));
}

TEST_F(FoldersTest, MkdirsafeLogsSuccessAndTheErrorNumber) {
    LogTo(m_log);
    const std::string folder = (m_env.root() / "new").string();
    hs_reg::mkdirsafe(folder);
    hs_reg::mkdirsafe(folder);
    hs_reg::mkdirsafe((m_env.root() / "no" / "parent").string());
    EXPECT_EQ(LogMessagesOf(m_log),
              (std::vector<std::string>{
                  "Oppretter mappen " + folder,
                  "FEIL: [mkdirsafe:" + std::to_string(kExists) + "] kan ikke opprette mappen " + folder,
                  "FEIL: [mkdirsafe:" + std::to_string(kNoParent) + "] kan ikke opprette mappen " +
                      (m_env.root() / "no" / "parent").string(),
              }));
    EXPECT_EQ(textfil::ErrorCount(), 2);
}

TEST_F(FoldersTest, MakefoldertreeTwice) {
    hs_reg::setfolderpath("etc", m_env.work().string());
    hs_reg::makefoldertree();
    for (const char* kind : {"archive", "data/tidemark", "export/html/varer", "maler/rb7", "etc", "log"}) {
        EXPECT_TRUE(fs::is_directory(root() + N(kind))) << kind;
    }
    EXPECT_EQ(Recorded("etc"), root() + N("etc/"));
    EXPECT_EQ(Recorded("export\\html\\varer"), root() + N("export/html/varer/"));
    EXPECT_EQ(Recorded("doc"), (m_env.root() / "prog" / "doc").string() + N("/"));
    EXPECT_FALSE(fs::exists(m_env.root() / "prog" / "doc"));

    LogTo(m_log);
    hs_reg::makefoldertree();
    const auto messages = LogMessagesOf(m_log);
    EXPECT_EQ(messages.size(), 24u);
    for (const std::string& message : messages) {
        EXPECT_EQ(
            message.rfind("FEIL: [mkdirsafe:" + std::to_string(kExists) + "] kan ikke opprette mappen " + root(), 0),
            0u)
            << message;
    }
    EXPECT_EQ(Recorded("etc"), root() + N("etc/"));
}

} // namespace
} // namespace supporttest
