// Faults under the INI store and the clean-up: saves cut short by a file size limit or a full
// filesystem, in folders that do or do not take a new file; clean-ups over trees full of links,
// hidden and read-only entries and deep nesting.
#include "SupportFixture.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "ScopedFileSizeLimit.h"
#endif

namespace supporttest {
namespace {

using testsupport::ReadFileBytes;
using testsupport::WriteFileBytes;

class IniFaultTest : public SupportTest {
protected:
    void SetUp() override {
        SupportTest::SetUp();
        useFolder(m_env.work());
    }
    void TearDown() override {
#ifndef _WIN32
        if (m_mounted) {
            ::umount2(m_folder.c_str(), MNT_DETACH);
        }
#endif
        SupportTest::TearDown();
    }

    void useFolder(const fs::path& folder) {
        m_folder = folder;
        m_ini = (folder / "SOLVEMAR.INI").string();
        hs_reg::setIniFileName(m_ini);
    }
    // Loads the old file and adds enough to the store that the new file is some 25 KB.
    void loadAndGrow(const std::string& old = kOld) {
        WriteFileBytes(m_ini, old);
        hs_reg::loadini();
        hs_reg::setsection("VEKST");
        for (int i = 0; i < 100; ++i) {
            hs_reg::writestr("nokkel" + std::to_string(i), std::string(240, static_cast<char>('a' + i % 26)));
        }
        hs_reg::resetsection();
    }
    // Saves as an ordinary user while the folder takes no new file, so the save writes in place.
    bool saveInPlace() {
        testsupport::GiveAway(m_folder, testsupport::kNobody);
        fs::permissions(m_folder, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                        fs::perm_options::remove);
        const int saved = asOrdinaryUser([] { return hs_reg::saveIniFile() ? 1 : 0; });
        fs::permissions(m_folder, fs::perms::owner_write, fs::perm_options::add);
        EXPECT_NE(saved, -1) << "could not drop root rights";
        return saved == 1;
    }
    std::vector<std::string> filesInFolder() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(m_folder)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    static constexpr const char* kOld = "[STANDARD]\nLogToFile=1\nName=Ola Nordmann\n\n[ANNET]\nverdi=42\n";
    fs::path m_folder;
    std::string m_ini;
    bool m_mounted = false;
};

TEST_F(IniFaultTest, WriteCutShortAnywhereKeepsTheOldFileWhole) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows has no file size limit to cut a write short with";
#else
    enum class Way { Replacing, InPlace };
    // The new text is longer than kOld, and shorter than this (whose comment is not written back).
    const std::string longOld = kOld + std::string("; ") + std::string(30000, 'c') + "\n";
    struct Row {
        const char* name;
        Way way;
        std::string old;
        long limit; // the file size limit; below 0 counted from the new file's end
    };
    const Row rows[] = {
        {"replacing, nothing written", Way::Replacing, kOld, 0},
        {"replacing, one byte", Way::Replacing, kOld, 1},
        {"replacing, 8 KiB", Way::Replacing, kOld, 8192},
        {"replacing, half-way", Way::Replacing, kOld, 12000},
        {"replacing, all but the last byte", Way::Replacing, kOld, -1},
        {"in place, nothing written", Way::InPlace, kOld, 0},
        {"in place, one byte", Way::InPlace, kOld, 1},
        {"in place, within the old length", Way::InPlace, kOld, 20},
        {"in place, 8 KiB", Way::InPlace, kOld, 8192},
        {"in place, half-way", Way::InPlace, kOld, 12000},
        {"in place over a longer file, half-way", Way::InPlace, longOld, 12000},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        loadAndGrow(row.old);
        const long limit = row.limit >= 0 ? row.limit : static_cast<long>(hs_reg::iniText().size()) + row.limit;
        {
            testsupport::ScopedFileSizeLimit cut(static_cast<rlim_t>(limit));
            ASSERT_TRUE(cut.active());
            EXPECT_FALSE(row.way == Way::InPlace ? saveInPlace() : hs_reg::saveIniFile());
        }
        EXPECT_EQ(ReadFileBytes(m_ini), row.old);
        EXPECT_EQ(filesInFolder(), std::vector<std::string>{"SOLVEMAR.INI"});
        // The store still holds the new values, and a later save that can write gets them out.
        EXPECT_TRUE(hs_reg::saveIniFile());
        hs_reg::loadini();
        hs_reg::setsection("VEKST");
        EXPECT_EQ(hs_reg::readstr("nokkel99"), std::string(240, 'v'));
        hs_reg::resetsection();
        EXPECT_EQ(hs_reg::readstr("Name"), "Ola Nordmann");
    }
#endif
}

TEST_F(IniFaultTest, FullFilesystemKeepsTheOldFileWhole) {
#ifdef _WIN32
    GTEST_SKIP() << "mounting a small file system for one test needs Linux";
#else
    const fs::path small = m_env.root() / "liten";
    fs::create_directories(small);
    m_folder = small;
    struct Row {
        const char* name;
        const char* options;
    };
    const Row rows[] = {
        {"replacing", "size=64k,mode=0755"},
        // Three files at most (the folder, the INI file and the filler): no temporary file can be made.
        {"in place", "size=64k,nr_inodes=3,mode=0755"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        m_mounted = ::mount("tmpfs", small.c_str(), "tmpfs", 0, row.options) == 0;
        if (!m_mounted) {
            GTEST_SKIP() << "mounting a small filesystem is not allowed here";
        }
        useFolder(small);
        loadAndGrow();
        // Fill what is left but a little, so the new file starts and then runs out of room.
        const int filler = ::open((small / "fyll").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        ASSERT_GE(filler, 0);
        const std::string block(4096, 'f');
        while (::write(filler, block.data(), block.size()) == static_cast<ssize_t>(block.size())) {
        }
        ::close(filler);
        fs::resize_file(small / "fyll", fs::file_size(small / "fyll") - 8192);

        EXPECT_FALSE(hs_reg::saveIniFile());
        EXPECT_EQ(ReadFileBytes(m_ini), kOld);
        fs::remove(small / "fyll");
        EXPECT_EQ(filesInFolder(), std::vector<std::string>{"SOLVEMAR.INI"});
        m_mounted = ::umount2(small.c_str(), MNT_DETACH) != 0;
    }
#endif
}

// ---- Clean-up over a hostile tree -----------------------------------------------------------------

#ifdef _WIN32
enum class Numbered { No, Yes };
// Nests levels folders below top, each named name (followed by its level with Numbered::Yes), through the
// long form of the path that Windows takes at any length; returns the deepest in that form.
fs::path makeDeepFolders(const fs::path& top, int levels, const std::string& name, Numbered numbered = Numbered::No) {
    fs::create_directories(top);
    std::wstring path = L"\\\\?\\" + top.wstring();
    while (path.back() == L'\\') {
        path.pop_back();
    }
    for (int i = 0; i < levels; ++i) {
        path += L"\\" + fs::path(numbered == Numbered::Yes ? name + std::to_string(i) : name).wstring();
        ::CreateDirectoryW(path.c_str(), nullptr);
    }
    return fs::path(path);
}
#endif

class CleanupFaultTest : public SupportTest {
protected:
    void SetUp() override {
        SupportTest::SetUp();
        hs_reg::setIniFileName((m_env.work() / "SOLVEMAR.INI").string());
        hs_reg::loadini();
        textfil::SetLogToFile(true);
        textfil::SetLogFileName((m_env.root() / "t.log").string());
    }

    // Folders and files outside the tree, each with content to check afterwards.
    void makeOutside() {
        fs::create_directories(outside() / "inner" / "deeper");
        WriteFileBytes(outside() / "keep.txt", "keep");
        WriteFileBytes(outside() / ".hidden-keep", "hidden keep");
        WriteFileBytes(outside() / "inner" / "deeper" / "keep2.txt", "keep2");
        WriteFileBytes(outside() / "readonly.txt", "ro");
        MakeReadOnly(outside() / "readonly.txt");
        WriteFileBytes(outside() / "hardlinked.txt", "shared");
    }
    void expectOutsideIntact() const {
        EXPECT_EQ(ReadFileBytes(outside() / "keep.txt"), "keep");
        EXPECT_EQ(ReadFileBytes(outside() / ".hidden-keep"), "hidden keep");
        EXPECT_EQ(ReadFileBytes(outside() / "inner" / "deeper" / "keep2.txt"), "keep2");
        EXPECT_EQ(ReadFileBytes(outside() / "readonly.txt"), "ro");
        EXPECT_EQ(ReadFileBytes(outside() / "hardlinked.txt"), "shared");
#ifdef _WIN32
        EXPECT_TRUE(platform::isReadOnly((outside() / "readonly.txt").string()))
            << "no attribute of an outside file is touched";
#else
        struct stat st {};
        ASSERT_EQ(::stat((outside() / "readonly.txt").c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0444u) << "no attribute of an outside file is touched";
#endif
        std::size_t count = 0;
        for (auto it = fs::recursive_directory_iterator(outside()); it != fs::recursive_directory_iterator(); ++it) {
            ++count;
        }
        EXPECT_EQ(count, 7u); // inner, deeper and five files
    }

    // Everything a careless clean-up trips over, below top.
    void makeHostileTree(const fs::path& top) {
        fs::create_directories(top / ".skjult-mappe" / "under");
        WriteFileBytes(top / "a.txt", "a");
        WriteFileBytes(top / ".skjult", "h");
        WriteFileBytes(top / "..x", "dots");
        WriteFileBytes(top / ".skjult-mappe" / "under" / ".inne", "h");
        WriteFileBytes(top / "skrivebeskyttet.txt", "ro");
        MakeReadOnly(top / "skrivebeskyttet.txt");
        fs::create_hard_link(outside() / "hardlinked.txt", top / "hardlenke");
#ifdef _WIN32
        makeWindowsHostileTree(top);
#else
        WriteFileBytes(top / "...", "three dots");
        WriteFileBytes(top / "linje\nskift", "newline in the name");
        ::mkfifo((top / "fifo").c_str(), 0600);
        fs::create_directory_symlink(outside(), top / "lenke-mappe");
        fs::create_symlink(outside() / "keep.txt", top / "lenke-fil");
        fs::create_symlink(outside() / "readonly.txt", top / "lenke-skrivebeskyttet");
        fs::create_directory_symlink("..", top / "lenke-forelder");
        fs::create_directory_symlink(top, top / "lenke-til-seg-selv");
        fs::create_symlink(top / "finnes-ikke", top / "lenke-brutt");
        // 200 nested hidden folders, a read-only file and links out at the bottom.
        fs::path deep = top;
        for (int i = 0; i < 200; ++i) {
            deep /= ".niva-" + std::to_string(i);
        }
        fs::create_directories(deep);
        WriteFileBytes(deep / "bunn.txt", "bottom");
        ::chmod((deep / "bunn.txt").c_str(), 0400);
        fs::create_directory_symlink(outside() / "inner", deep / "lenke-ut");
        fs::create_symlink(outside() / "inner" / "deeper" / "keep2.txt", deep / "lenke-ut-fil");
        // A read-only folder with a file in it.
        fs::create_directories(top / "laast" / "innhold");
        WriteFileBytes(top / "laast" / "innhold" / "f.txt", "f");
        ::chmod((top / "laast").c_str(), 0555);
        // A folder with no rights at all, for its owner neither.
        fs::create_directories(top / "stengt" / "under");
        WriteFileBytes(top / "stengt" / "under" / "g.txt", "g");
        ::chmod((top / "stengt").c_str(), 0);
#endif
    }

#ifdef _WIN32
    // What a Windows tree adds: hidden and system attributes, a read-only folder, junctions out of the
    // tree where the file system can hold them, and a nesting deeper than the old 260-character paths.
    void makeWindowsHostileTree(const fs::path& top) {
        ::SetFileAttributesW((top / ".skjult").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
        ::SetFileAttributesW((top / ".skjult-mappe").c_str(), FILE_ATTRIBUTE_HIDDEN);
        fs::create_directories(top / "laast" / "innhold");
        WriteFileBytes(top / "laast" / "innhold" / "f.txt", "f");
        ::SetFileAttributesW((top / "laast").c_str(), FILE_ATTRIBUTE_READONLY);
        MakeJunction(top / "lenke-mappe", outside());
        MakeJunction(top / "lenke-forelder", top.parent_path());
        MakeJunction(top / "lenke-til-seg-selv", top);
        MakeJunction(top / "lenke-brutt", top / "finnes-ikke");
        const fs::path deep = makeDeepFolders(top, 200, ".niva-", Numbered::Yes);
        WriteFileBytes(deep / "bunn.txt", "bottom");
        MakeReadOnly(deep / "bunn.txt");
        MakeJunction(deep / "lenke-ut", outside() / "inner");
    }
#endif

    // Runs the clean-up of top as an ordinary user, to whom the caller has handed the tree.
    void cleanAsOrdinaryUser(const fs::path& top) {
        const int cleaned = asOrdinaryUser([&] {
            textfil::SetLogToFile(false);
            hs_reg::cleanfolder(top.string());
            return 0;
        });
        ASSERT_EQ(cleaned, 0) << "could not drop root rights";
    }

    static bool isEmptyFolder(const fs::path& folder) {
        return fs::is_directory(folder) && fs::is_empty(folder);
    }
    fs::path outside() const {
        return m_env.root() / "utenfor";
    }
};

TEST_F(CleanupFaultTest, CleanfolderEmptiesExactlyTheTreeAskedFor) {
    makeOutside();
    const fs::path top = m_env.root() / "tre-tmp";
    makeHostileTree(top);
    // A neighbour whose name starts like the tree's must not be touched.
    fs::create_directories(m_env.root() / "tre-tmp-nabo");
    WriteFileBytes(m_env.root() / "tre-tmp-nabo" / "n.txt", "neighbour");
    textfil::SetVerboseLogging(true);

    hs_reg::cleanfolder(top.string());

    EXPECT_TRUE(isEmptyFolder(top));
    expectOutsideIntact();
    EXPECT_EQ(ReadFileBytes(m_env.root() / "tre-tmp-nabo" / "n.txt"), "neighbour");
    EXPECT_TRUE(fs::exists(m_env.root() / "t.log"));
    EXPECT_EQ(ReadFileBytes(m_env.root() / "t.log").find("FEIL"), std::string::npos);
}

TEST_F(CleanupFaultTest, OwnerWithoutRootRightsEmptiesReadOnlyFolders) {
#ifdef _WIN32
    GTEST_SKIP() << "folders their owner may not write need POSIX modes";
#endif
    makeOutside();
    const fs::path top = m_env.root() / "eier-tmp";
    makeHostileTree(top);
    // The outside stays root's.
    testsupport::GiveAway(top, testsupport::kNobody);
    cleanAsOrdinaryUser(top);
    for (auto it = fs::recursive_directory_iterator(top); it != fs::recursive_directory_iterator(); ++it) {
        ADD_FAILURE() << "left: " << it->path().string();
    }
    EXPECT_TRUE(isEmptyFolder(top));
    expectOutsideIntact();
}

TEST_F(CleanupFaultTest, FoldersOpenedUpThatStayAfterAllGetTheirModeBack) {
#ifdef _WIN32
    GTEST_SKIP() << "another user's files, and the modes put back, are POSIX";
#else
    if (::geteuid() != 0) {
        GTEST_SKIP() << "making a folder its user may not empty needs another user's files";
    }
    struct Row {
        const char* folder;
        mode_t mode;
    };
    // Each holds a file of its own, which goes, and a folder of root's with a file, which stays.
    const Row rows[] = {
        {"laast", 0555},
        {"stengt", 0},
        {"laast-ytre", 0555},
        {"laast-ytre/laast-indre", 0500},
    };
    const fs::path top = m_env.root() / "modus-tmp";
    for (const Row& row : rows) {
        fs::create_directories(top / row.folder / "fremmed");
        WriteFileBytes(top / row.folder / "egen.txt", "own");
        WriteFileBytes(top / row.folder / "fremmed" / "f.txt", "root's");
    }
    testsupport::GiveAway(top, testsupport::kNobody);
    for (const Row& row : rows) {
        testsupport::GiveAway(top / row.folder / "fremmed", 0);
        ::chmod((top / row.folder).c_str(), row.mode);
    }
    cleanAsOrdinaryUser(top);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.folder);
        struct stat st {};
        ASSERT_EQ(::stat((top / row.folder).c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, row.mode);
        EXPECT_FALSE(fs::exists(top / row.folder / "egen.txt"));
        EXPECT_EQ(ReadFileBytes(top / row.folder / "fremmed" / "f.txt"), "root's");
    }
#endif
}

#ifndef _WIN32
// Lowers the process's limit of open descriptors for one scope.
class ScopedDescriptorLimit {
public:
    explicit ScopedDescriptorLimit(rlim_t count) {
        ::getrlimit(RLIMIT_NOFILE, &m_old);
        rlimit lowered = m_old;
        lowered.rlim_cur = count;
        m_active = ::setrlimit(RLIMIT_NOFILE, &lowered) == 0;
    }
    ~ScopedDescriptorLimit() { ::setrlimit(RLIMIT_NOFILE, &m_old); }
    ScopedDescriptorLimit(const ScopedDescriptorLimit&) = delete;
    ScopedDescriptorLimit& operator=(const ScopedDescriptorLimit&) = delete;
    bool active() const { return m_active; }

private:
    rlimit m_old{};
    bool m_active = false;
};

// Nests levels folders named name below top, folder by folder through handles, so the whole path may
// be longer than the system takes in one call; at the bottom a file and a link out of the tree.
void makeDeepTree(const fs::path& top, int levels, const char* name, const fs::path& outside) {
    fs::create_directories(top);
    int fd = ::open(top.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (int i = 0; i < levels && fd >= 0; ++i) {
        ::mkdirat(fd, name, 0755);
        const int below = ::openat(fd, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(fd);
        fd = below;
    }
    ASSERT_GE(fd, 0);
    const int file = ::openat(fd, "bunn.txt", O_WRONLY | O_CREAT | O_CLOEXEC, 0400);
    ::close(file);
    ::symlinkat(outside.c_str(), fd, "lenke-ut");
    ::close(fd);
}
#else
void makeDeepTree(const fs::path& top, int levels, const char* name, const fs::path& outside) {
    const fs::path deep = makeDeepFolders(top, levels, name);
    WriteFileBytes(deep / "bunn.txt", "bottom");
    MakeReadOnly(deep / "bunn.txt");
    MakeJunction(deep / "lenke-ut", outside);
}
#endif

TEST_F(CleanupFaultTest, AnyDepthIsEmptiedWithFewOpenDescriptors) {
    struct Row {
        const char* name;
        int levels;
        const char* folderName;
    };
    const Row rows[] = {
#ifdef _WIN32
        // Deep enough for paths far beyond the old limit of 260 characters; wine is slow at deep paths.
        {"120 levels", 120, "d"},
        {"a path longer than the old limit", 160, "niva"},
#else
        {"600 levels", 600, "d"},
        {"a path longer than the system's limit", 1500, "niva"},
#endif
    };
    makeOutside();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const fs::path top = m_env.root() / "dyp-tmp";
        makeDeepTree(top, row.levels, row.folderName, outside());
        fs::remove(m_env.root() / "t.log");
        {
#ifndef _WIN32
            ScopedDescriptorLimit limit(64);
            ASSERT_TRUE(limit.active());
#endif
            hs_reg::cleanfolder(top.string());
        }
        EXPECT_TRUE(isEmptyFolder(top));
        EXPECT_EQ(ReadFileBytes(m_env.root() / "t.log").find("FEIL"), std::string::npos);
        expectOutsideIntact();
    }
}

TEST_F(CleanupFaultTest, FoldersMovedMidWalkAreNotTakenForOthers) {
    struct Row {
        const char* name;
        // Runs while the walk is 30 levels down top/d/d/...
        std::function<void(const fs::path& top)> move;
        std::function<void(const fs::path& top)> check;
        std::size_t errors;
    };
#ifdef _WIN32
    // Windows refuses to move a folder the walk holds open: the walk goes on through the tree as it was.
    const auto refused = [](const fs::path& from, const fs::path& to) {
        std::error_code error;
        fs::rename(from, to, error);
        EXPECT_TRUE(error) << from.string() << " was moved";
    };
    const Row rows[] = {
        {"a folder above cannot be moved elsewhere in the tree",
         [&](const fs::path& top) { refused(top / "d" / "d", top / "flyttet"); },
         [](const fs::path& top) {
             EXPECT_TRUE(isEmptyFolder(top));
             EXPECT_FALSE(fs::exists(top / "flyttet"));
         },
         0},
        {"a folder above cannot be replaced by a new one of the same name",
         [&](const fs::path& top) { refused(top / "d", top / "gammel"); },
         [](const fs::path& top) { EXPECT_TRUE(isEmptyFolder(top)); }, 0},
    };
#else
    const Row rows[] = {
        {"a folder above moved elsewhere in the tree",
         [](const fs::path& top) { fs::rename(top / "d" / "d", top / "flyttet"); },
         [](const fs::path& top) {
             EXPECT_TRUE(isEmptyFolder(top / "flyttet"));
             EXPECT_FALSE(fs::exists(top / "d"));
         },
         1},
        {"a folder above replaced by a new one of the same name",
         [](const fs::path& top) {
             fs::rename(top / "d" / "d", top / "d2");
             fs::rename(top / "d", top / "gammel");
             fs::create_directory(top / "d");
             WriteFileBytes(top / "d" / "ny.txt", "new");
         },
         [](const fs::path& top) {
             EXPECT_EQ(ReadFileBytes(top / "d" / "ny.txt"), "new") << "the new folder is not the one walked";
             EXPECT_TRUE(isEmptyFolder(top / "d2"));
         },
         2},
    };
#endif
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const fs::path top = m_env.root() / "flytt-tmp";
        fs::path deep = top;
        for (int i = 0; i < 40; ++i) {
            deep /= "d";
            fs::create_directories(deep);
            WriteFileBytes(deep / "f", "f");
        }
        fs::remove(m_env.root() / "t.log");
        int entered = 0;
        hs_reg::setBusyCursorHook([&](bool busy) {
            if (busy && ++entered == 30) {
                row.move(top);
            }
        });
        hs_reg::cleanfolder(top.string());
        hs_reg::setBusyCursorHook(nullptr);
        row.check(top);
        const auto messages = LogMessagesOf((m_env.root() / "t.log").string());
        EXPECT_EQ(std::count_if(messages.begin(), messages.end(),
                                [](const std::string& m) { return m.starts_with("FEIL: kan ikke slette mappen "); }),
                  static_cast<std::ptrdiff_t>(row.errors));
        fs::remove_all(top);
    }
}

TEST_F(CleanupFaultTest, DeletetreeBelowTheTopRemovesOnlyThatBranch) {
    makeOutside();
    const fs::path top = m_env.root() / "tre-tmp";
    makeHostileTree(top / "gren");
    fs::create_directories(top / "soesken");
    WriteFileBytes(top / "soesken" / "s.txt", "sibling");

    hs_reg::deletetree((top / "gren").string() + N("/"), top.string() + N("/"));

    EXPECT_FALSE(fs::exists(top / "gren"));
    EXPECT_EQ(ReadFileBytes(top / "soesken" / "s.txt"), "sibling");
    expectOutsideIntact();
}

TEST_F(CleanupFaultTest, DeletetempfilesEmptiesTheProgramsTmpFolderOnly) {
    makeOutside();
    hs_reg::setfolderpath("tmp", (m_env.root() / "prog-tmp").string());
    const fs::path tmp = hs_reg::solvemarpath("tmp");
    makeHostileTree(tmp);

    hs_reg::deletetempfiles(false);

    EXPECT_TRUE(isEmptyFolder(tmp));
    expectOutsideIntact();
}

} // namespace
} // namespace supporttest
