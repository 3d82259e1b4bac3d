#include <functional>

#include "SupportFixture.h"

#ifdef _WIN32
#include <windows.h>

#include <tlhelp32.h>
#else
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include "ScopedFileSizeLimit.h"
#endif

namespace supporttest {
namespace {

using testsupport::ReadFileBytes;
using testsupport::WriteFileBytes;

#ifdef _WIN32
// The id of a process of the system's other than this one; 0 when none is found.
long OtherRunningProcess() {
    const HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    long found = 0;
    for (bool more = ::Process32FirstW(snapshot, &entry); more && found == 0;
         more = ::Process32NextW(snapshot, &entry)) {
        if (entry.th32ProcessID != 0 && static_cast<long>(entry.th32ProcessID) != platform::processId()) {
            found = static_cast<long>(entry.th32ProcessID);
        }
    }
    ::CloseHandle(snapshot);
    return found;
}
#endif

class IniTest : public SupportTest {
protected:
    void SetUp() override {
        SupportTest::SetUp();
        m_ini = (m_env.work() / "SOLVEMAR.INI").string();
        hs_reg::setIniFileName(m_ini);
    }
    void Load(const std::string& text) {
        WriteFileBytes(m_ini, text);
        hs_reg::loadini();
    }
    std::size_t FilesInWork() const {
        return static_cast<std::size_t>(std::distance(fs::directory_iterator(m_env.work()), fs::directory_iterator()));
    }
    std::string m_ini;
};

TEST_F(IniTest, LoadDropsCommentsAndPreSectionLinesAndWritesBackInOrder) {
    Load("lost=1\n; comment\n  [STANDARD]  \n  LogToFile =  1  \n\n;x\nName=Ola Nordmann\n"
         "[FOLDERS]\r\nlog_folder=/a/b/\r\n");
    hs_reg::resetsection();
    hs_reg::writestr("Added", "new");
    hs_reg::setsection("Extra");
    hs_reg::writeint("n", -5);
    hs_reg::saveini();
    EXPECT_EQ(ReadFileBytes(m_ini), "[STANDARD]\r\nLogToFile=1\r\nName=Ola Nordmann\r\nAdded=new\r\n\r\n"
                                    "[FOLDERS]\r\nlog_folder=/a/b/\r\n\r\n"
                                    "[Extra]\r\nn=-5\r\n\r\n");
}

// A text as a file holds it in UTF-16 (little-endian unless big), after the byte-order mark.
std::string Utf16File(std::u16string_view text, bool big = false) {
    std::string bytes = big ? "\xFE\xFF" : "\xFF\xFE";
    for (const char16_t unit : text) {
        const char high = static_cast<char>(unit >> 8);
        const char low = static_cast<char>(unit & 0xFF);
        bytes += big ? high : low;
        bytes += big ? low : high;
    }
    return bytes;
}

std::string Utf8(std::u8string_view text) {
    return std::string(text.begin(), text.end());
}

TEST_F(IniTest, LineEndsEncodingsAndBareLinesAsReadAndSavedBack) {
    struct Read {
        const char* section;
        const char* key;
        std::string value;
    };
    struct Row {
        const char* name;
        std::string file;
        std::vector<Read> reads;
        std::string saved;
        std::vector<Read> writes = {}; // before the save
    };
    const std::string bom = "\xEF\xBB\xBF";
    const std::vector<Read> both = {{"STANDARD", "LogToFile", "1"}, {"SERVER-SETTING-FTP", "server", "s"}};
    const std::string bothSaved = "[STANDARD]\r\nLogToFile=1\r\n\r\n[SERVER-SETTING-FTP]\r\nserver=s\r\n\r\n";
    const Row rows[] = {
        {"LF", "[STANDARD]\nLogToFile=1\n[SERVER-SETTING-FTP]\nserver=s\n", both, bothSaved},
        {"CR LF", "[STANDARD]\r\nLogToFile=1\r\n[SERVER-SETTING-FTP]\r\nserver=s\r\n", both, bothSaved},
        {"CR alone", "[STANDARD]\rLogToFile=1\r[SERVER-SETTING-FTP]\rserver=s\r", both, bothSaved},
        {"CR alone ends the file's last line, a section",
         "[STANDARD]\rLogToFile=1\r[SERVER-SETTING-FTP]\rserver=s\r[TOM]\r", both, bothSaved + "[TOM]\r\n\r\n"},
        {"mixed, last line without an end", "[STANDARD]\rLogToFile=1\r\n[SERVER-SETTING-FTP]\nserver=s", both,
         bothSaved},
        {"LF CR is two line ends", "[STANDARD]\n\rLogToFile=1\n\r\n\r[SERVER-SETTING-FTP]\n\rserver=s\n\r", both,
         bothSaved},
        {"mark at the start is kept", bom + "[STANDARD]\r\nLogToFile=1\r\n[SERVER-SETTING-FTP]\r\nserver=s\r\n", both,
         bom + bothSaved},
        {"mark at the start with CR alone", bom + "[STANDARD]\rLogToFile=1\r[SERVER-SETTING-FTP]\rserver=s", both,
         bom + bothSaved},
        {"mark before lines dropped as before the first section",
         bom + "\r\n; comment\rlost=1\n[STANDARD]\nLogToFile=1",
         {{"STANDARD", "LogToFile", "1"}},
         bom + "[STANDARD]\r\nLogToFile=1\r\n\r\n"},
#ifndef _WIN32
        // (The ANSI code page has no place for the mark's character: on Windows the file is not understood.)
        {"mark inside the file is data",
         "[STANDARD]\r\n" + bom + "LogToFile=1\r\n",
         {{"STANDARD", "LogToFile", ""}, {"STANDARD", "\xEF\xBB\xBFLogToFile", "1"}},
         "[STANDARD]\r\n" + bom + "LogToFile=1\r\n\r\n"},
#endif
        // Written back as they were read, Norwegian letters the program writes included: the program's own
        // texts (on Windows the ANSI code page) as they are, UTF-8 and UTF-16 converted both ways.
        {"the program's own texts",
         "[STANDARD]\r\nNavn=Bj\xF8rn\r\n",
         {{"STANDARD", "Navn", "Bj\xF8rn"}},
         "[STANDARD]\r\nNavn=Bj\xF8rn\r\nBy=Troms\xF8\r\n\r\n",
         {{"STANDARD", "By", "Troms\xF8"}}},
        {"UTF-8 with its mark",
         bom + Utf8(u8"[STANDARD]\r\nNavn=Bjørn\r\n"),
         {{"STANDARD", "Navn", "Bjørn"}},
         bom + Utf8(u8"[STANDARD]\r\nNavn=Bjørn\r\nBy=Tromsø\r\n\r\n"),
         {{"STANDARD", "By", "Tromsø"}}},
        {"UTF-8 without a mark",
         Utf8(u8"[STANDARD]\r\nNavn=Bjørn\r\n"),
         {{"STANDARD", "Navn", "Bjørn"}},
         Utf8(u8"[STANDARD]\r\nNavn=Bjørn\r\nBy=Tromsø\r\n\r\n"),
         {{"STANDARD", "By", "Tromsø"}}},
        {"UTF-16 little-endian with its mark",
         Utf16File(u"[STANDARD]\r\nNavn=Bjørn\r\n"),
         {{"STANDARD", "Navn", "Bjørn"}},
         Utf16File(u"[STANDARD]\r\nNavn=Bjørn\r\nBy=Tromsø\r\n\r\n"),
         {{"STANDARD", "By", "Tromsø"}}},
        {"UTF-16 big-endian with its mark",
         Utf16File(u"[STANDARD]\nNavn=Bjørn\n", true),
         {{"STANDARD", "Navn", "Bjørn"}},
         Utf16File(u"[STANDARD]\r\nNavn=Bjørn\r\nBy=Tromsø\r\n\r\n", true),
         {{"STANDARD", "By", "Tromsø"}}},
        {"bare line does not shadow a later key",
         "[STANDARD]\r\nLogToFile\r\nLogToFile=1",
         {{"STANDARD", "LogToFile", "1"}},
         "[STANDARD]\r\nLogToFile\r\nLogToFile=1\r\n\r\n"},
        {"bare line alone is no key",
         "[STANDARD]\nVerboseLogging\n",
         {{"STANDARD", "VerboseLogging", ""}},
         "[STANDARD]\r\nVerboseLogging\r\n\r\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Load(row.file);
        for (const Read& read : row.reads) {
            hs_reg::setsection(read.section);
            EXPECT_EQ(hs_reg::readstr(read.key), read.value) << read.section << "/" << read.key;
            EXPECT_EQ(hs_reg::readbool(read.key), read.value == "1") << read.section << "/" << read.key;
        }
        for (const Read& write : row.writes) {
            hs_reg::setsection(write.section);
            hs_reg::writestr(write.key, write.value);
        }
        hs_reg::resetsection();
        EXPECT_TRUE(hs_reg::saveIniFile());
        EXPECT_EQ(ReadFileBytes(m_ini), row.saved);
    }
}

TEST_F(IniTest, RepeatedSectionsAndKeys) {
    Load("[A]\nx=1\nbare line\n[B]\ny=2\n[a]\nz=3\nX=4\n");
    hs_reg::setsection("A");
    EXPECT_EQ(hs_reg::readstr("z"), "3");
    EXPECT_EQ(hs_reg::readstr("x"), "1") << "the first of two equal keys is read";
    hs_reg::saveini();
    EXPECT_EQ(ReadFileBytes(m_ini), "[A]\r\nx=1\r\nbare line\r\nz=3\r\nX=4\r\n\r\n[B]\r\ny=2\r\n\r\n");
}

TEST_F(IniTest, SectionsAndKeysIgnoreCase) {
    Load("[Standard]\nlogtofile=1\n");
    hs_reg::setsection("STANDARD");
    EXPECT_TRUE(hs_reg::readbool("LOGTOFILE"));
    hs_reg::writestr("LogToFile", "0");
    hs_reg::saveini();
    EXPECT_EQ(ReadFileBytes(m_ini), "[Standard]\r\nlogtofile=0\r\n\r\n");
}

TEST_F(IniTest, ValueReading) {
    Load("[STANDARD]\nflag2=2\nflagYes=yes\nhexDollar=$1F\nhex0x=0x1F\nneg=-12\nbig=99999999999\nspace=1 2\n"
         "empty=\nffff=$FFFFFFFF\n");
    struct Row {
        const char* key;
        std::int32_t integer;
        bool flag;
    };
    const Row rows[] = {
        {"flag2", 2, true}, {"flagYes", 0, false}, {"hexDollar", 31, true}, {"hex0x", 31, true},   {"neg", -12, true},
        {"big", 0, false},  {"space", 0, false},   {"empty", 0, false},     {"missing", 0, false}, {"ffff", -1, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.key);
        EXPECT_EQ(hs_reg::readint(row.key), row.integer);
        EXPECT_EQ(hs_reg::readbool(row.key), row.flag);
    }
    hs_reg::writeint("hexDollar", hs_reg::readint("hexDollar"));
    EXPECT_EQ(hs_reg::readstr("hexDollar"), "31");
    hs_reg::writebool("b", true);
    EXPECT_EQ(hs_reg::readstr("b"), "1");
}

TEST_F(IniTest, LongSectionNamesAreCutTo63) {
    const std::string base(63, 'S');
    hs_reg::setsection(base + "one");
    EXPECT_EQ(hs_reg::currentsection(), base);
    hs_reg::writestr("k", "v");
    hs_reg::setsection(base + "two");
    EXPECT_EQ(hs_reg::readstr("k"), "v");
}

TEST_F(IniTest, ValuesAreCutTo255) {
    hs_reg::writestr("k", std::string(300, 'v'));
    EXPECT_EQ(hs_reg::readstr("k").size(), 255u);
}

TEST_F(IniTest, MissingSectionReadsDefaultsAndCreatesNothing) {
    Load("[STANDARD]\na=1\n");
    hs_reg::setsection("NOWHERE");
    EXPECT_EQ(hs_reg::readstr("a"), "");
    EXPECT_EQ(hs_reg::readint("a"), 0);
    EXPECT_FALSE(hs_reg::readbool("a"));
    hs_reg::saveini();
    EXPECT_EQ(ReadFileBytes(m_ini), "[STANDARD]\r\na=1\r\n\r\n");
}

TEST_F(IniTest, MissingFileGivesEmptyStoreAndCreatesNothing) {
    hs_reg::loadini();
    EXPECT_EQ(hs_reg::readstr("LogToFile"), "");
    EXPECT_FALSE(fs::exists(m_ini));
}

TEST_F(IniTest, ReadOnlyFileIsNeverWritten) {
    Load("[STANDARD]\n; keep me\na=1\n");
    MakeReadOnly(m_ini);
    hs_reg::writestr("a", "2");
    EXPECT_TRUE(hs_reg::saveIniFile());
    EXPECT_EQ(ReadFileBytes(m_ini), "[STANDARD]\n; keep me\na=1\n");
}

TEST_F(IniTest, SaveKeepsPermissionsAndLeavesNoTemporaryFile) {
    Load("[STANDARD]\na=1\n");
#ifdef _WIN32
    // What Windows keeps of a file beside its content are its attributes.
    const std::wstring name = fs::path(m_ini).wstring();
    ::SetFileAttributesW(name.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE);
#else
    ::chmod(m_ini.c_str(), 0640);
#endif
    hs_reg::writestr("a", "2");
    EXPECT_TRUE(hs_reg::saveIniFile());
#ifdef _WIN32
    EXPECT_NE(::GetFileAttributesW(name.c_str()) & FILE_ATTRIBUTE_HIDDEN, 0u);
#else
    struct stat st {};
    ASSERT_EQ(::stat(m_ini.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
#endif
    EXPECT_EQ(ReadFileBytes(m_ini), "[STANDARD]\r\na=2\r\n\r\n");
    EXPECT_EQ(FilesInWork(), 1u);
}

TEST_F(IniTest, UnchangedContentIsNotRewritten) {
    Load("[STANDARD]\r\na=1\r\n\r\n");
    const std::uint64_t before = FileIdentity(m_ini);
    ASSERT_NE(before, 0u);
    EXPECT_TRUE(hs_reg::saveIniFile());
    EXPECT_EQ(FileIdentity(m_ini), before);
    hs_reg::writestr("a", "2");
    EXPECT_TRUE(hs_reg::saveIniFile());
    EXPECT_EQ(ReadFileBytes(m_ini), "[STANDARD]\r\na=2\r\n\r\n");
}

TEST_F(IniTest, FailedWriteLeavesTheOldFileWhole) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows has no file size limit to cut a write short with";
#else
    const std::string old = "[STANDARD]\nkeep=this file\n";
    Load(old);
    hs_reg::writestr("more", std::string(200, 'x'));
    {
        testsupport::ScopedFileSizeLimit cut(10);
        ASSERT_TRUE(cut.active());
        EXPECT_FALSE(hs_reg::saveIniFile());
    }
    EXPECT_EQ(ReadFileBytes(m_ini), old);
    EXPECT_EQ(FilesInWork(), 1u) << "the temporary file is removed";
#endif
}

TEST_F(IniTest, InAFolderThatTakesNoNewFileTheFileIsWrittenInPlace) {
#ifdef _WIN32
    GTEST_SKIP() << "a folder that takes no new file but lets a file in it be written needs POSIX modes";
#else
    Load("[STANDARD]\na=1\n");
    struct stat before {};
    ASSERT_EQ(::stat(m_ini.c_str(), &before), 0);
    hs_reg::writestr("a", "2");
    testsupport::GiveAway(m_env.work(), testsupport::kNobody);
    ::chmod(m_env.work().c_str(), 0555);
    EXPECT_EQ(asOrdinaryUser([] { return hs_reg::saveIniFile() ? 1 : 0; }), 1);
    ::chmod(m_env.work().c_str(), 0755);
    struct stat st {};
    ::stat(m_ini.c_str(), &st);
    EXPECT_EQ(st.st_ino, before.st_ino) << "same file, written in place";
    EXPECT_EQ(ReadFileBytes(m_ini), "[STANDARD]\r\na=2\r\n\r\n");
#endif
}

TEST_F(IniTest, SaveThroughASymbolicLinkReplacesTheTarget) {
    const fs::path real = m_env.root() / "elsewhere" / "real.ini";
    fs::create_directories(real.parent_path());
    WriteFileBytes(real, "[STANDARD]\na=1\n");
    std::error_code made;
    fs::create_symlink(real, m_ini, made);
    if (made || !fs::is_symlink(m_ini)) {
        GTEST_SKIP() << "no symbolic link could be made here (Windows wants a privilege for one, wine makes none)";
    }
    hs_reg::loadini();
    hs_reg::writestr("a", "2");
    EXPECT_TRUE(hs_reg::saveIniFile());
    EXPECT_TRUE(fs::is_symlink(m_ini));
    EXPECT_EQ(ReadFileBytes(real), "[STANDARD]\r\na=2\r\n\r\n");
}

TEST_F(IniTest, UnreadableExistingFileIsNotOverwritten) {
    struct Row {
        const char* name;
        std::function<void(const std::string&)> make;
        fs::file_type type;
    };
    // Content that cannot be understood: writing the store back would lose what it holds.
    const auto content = [](std::string bytes) {
        return [bytes](const std::string& name) { WriteFileBytes(name, bytes); };
    };
    const Row rows[] = {
        // A folder standing where the file should be cannot be read as a file, even by root.
        {"folder", [](const std::string& name) { fs::create_directory(name); }, fs::file_type::directory},
        {"UTF-16 without its mark", content(std::string("[\0S\0]\0\r\0\n\0a\0=\0x\0", 16)), fs::file_type::regular},
        {"UTF-16 of an odd length", content(Utf16File(u"[S]\r\na=x") + "\n"), fs::file_type::regular},
#ifdef _WIN32
        {"UTF-8 with a letter the code page lacks", content(Utf8(u8"[STANDARD]\r\nb=\u4E2D\r\n")),
         fs::file_type::regular},
#endif
#ifndef _WIN32
        // Opening a FIFO for reading would wait for a writer for ever.
        {"FIFO", [](const std::string& name) { ::mkfifo(name.c_str(), 0644); }, fs::file_type::fifo},
        {"socket",
         [](const std::string& name) {
             const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
             sockaddr_un address{};
             address.sun_family = AF_UNIX;
             name.copy(address.sun_path, sizeof address.sun_path - 1);
             ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
             ::close(fd);
         },
         fs::file_type::socket},
        {"link to a device", [](const std::string& name) { fs::create_symlink("/dev/null", name); },
         fs::file_type::character},
#endif
    };
#ifndef _WIN32
    // A load that waits for ever ends the test run instead of hanging it.
    ::alarm(60);
#endif
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        fs::remove(m_ini);
        row.make(m_ini);
        ASSERT_EQ(fs::status(m_ini).type(), row.type);
        const std::string before = row.type == fs::file_type::regular ? ReadFileBytes(m_ini) : std::string();
        hs_reg::loadini();
        EXPECT_EQ(hs_reg::readstr("a"), "");
        EXPECT_NE(hs_reg::iniUnwritable(), hs_reg::IniUnwritable::No);
        hs_reg::writestr("a", "1");
        EXPECT_TRUE(hs_reg::saveIniFile());
        EXPECT_EQ(fs::status(m_ini).type(), row.type);
        if (row.type == fs::file_type::regular) {
            EXPECT_EQ(ReadFileBytes(m_ini), before);
        }
        EXPECT_EQ(FilesInWork(), 1u);
    }
#ifndef _WIN32
    ::alarm(0);
#endif
}

TEST_F(IniTest, SaveRemovesOnlyLeftoversOfKilledSaves) {
    // A process that has ended: its id is free.
#ifdef _WIN32
    const int dead = testsupport::SpawnProcess({testsupport::ThisProgram().string(), "--gtest_list_tests"});
    ASSERT_GT(dead, 0);
    testsupport::WaitForExit(dead);
    // Another process that runs: any other of the system's.
    const std::string liveId = std::to_string(OtherRunningProcess());
    ASSERT_NE(liveId, "0");
#else
    const pid_t dead = ::fork();
    ASSERT_GE(dead, 0);
    if (dead == 0) {
        ::_exit(0);
    }
    ASSERT_EQ(::waitpid(dead, nullptr, 0), dead);
    const std::string liveId = std::to_string(::getppid());
#endif
    const std::string deadId = std::to_string(dead);
    const fs::path outside = m_env.root() / "utenfor.txt";
    WriteFileBytes(outside, "outside");
    const fs::path work = m_env.work();
    struct Row {
        std::string name;
        std::function<void(const fs::path&)> make;
        bool removed;
    };
    const auto file = [](const fs::path& path) { WriteFileBytes(path, "left"); };
    std::vector<Row> rows = {
        {".SOLVEMAR.INI.tmp" + deadId, file, true},
        {".SOLVEMAR.INI.tmp4194305", file, true}, // above any pid the system hands out
        {".SOLVEMAR.INI.tmp" + liveId, file, false},
        {".SOLVEMAR.INI.tmp", file, false},
        {".SOLVEMAR.INI.tmp" + deadId + "x", file, false},
        {".SOLVEMAR.INI.tmp-" + deadId, file, false},
        {".SOLVEMAR.INI.tmp99999999999999999999999", file, false},
#ifndef _WIN32
        // (Windows file names are the same in any case.)
        {".solvemar.ini.tmp" + deadId, file, false},
#endif
        {"SOLVEMAR.INI.tmp" + deadId, file, false},
        {".ANNET.INI.tmp" + deadId, file, false},
        {".SOLVEMAR.INI.bak" + deadId, file, false},
        {".SOLVEMAR.INI.tmp" + deadId + "0", [](const fs::path& path) { fs::create_directory(path); }, false},
#ifndef _WIN32
        {".SOLVEMAR.INI.tmp" + deadId + "1", [&](const fs::path& path) { fs::create_symlink(outside, path); }, false},
        {".SOLVEMAR.INI.tmp" + deadId + "2", [](const fs::path& path) { ::mkfifo(path.c_str(), 0644); }, false},
#endif
    };
#ifndef _WIN32
    if (::geteuid() == 0) {
        rows.push_back({".SOLVEMAR.INI.tmp" + deadId + "3",
                        [](const fs::path& path) {
                            WriteFileBytes(path, "another user's");
                            ::chown(path.c_str(), testsupport::kNobody, testsupport::kNobody);
                        },
                        false});
    }
#endif
    Load("[STANDARD]\na=1\n");
    for (const Row& row : rows) {
        row.make(work / row.name);
    }
    hs_reg::writestr("a", "2");
    EXPECT_TRUE(hs_reg::saveIniFile());
    for (const Row& row : rows) {
        EXPECT_EQ(fs::exists(fs::symlink_status(work / row.name)), !row.removed) << row.name;
    }
    EXPECT_EQ(ReadFileBytes(outside), "outside");
    EXPECT_EQ(ReadFileBytes(m_ini), "[STANDARD]\r\na=2\r\n\r\n");
}

} // namespace
} // namespace supporttest
