// The local side of a transfer: where the companion files go and which files have a size.
#include "TransferFixture.h"
#include "ftplocal.h"

namespace {

using namespace transfertest;

TEST(TransferPaths, CompanionFilesStayBesideTheLocalFile) {
    const struct {
        const char* name;
        const char* path;
        const char* tmp;
        const char* old;
    } rows[] = {
        {"dot in a folder name", "/home/kari/.local/share/Solvemar/data/tabell.txt",
         "/home/kari/.local/share/Solvemar/data/tabell.tmp", "/home/kari/.local/share/Solvemar/data/tabell.old"},
        {"plain folder", "/data/kart.xml", "/data/kart.tmp", "/data/kart.old"},
        {"no extension", "/data/kart", "/data/kart.tmp", "/data/kart.old"},
        {"first dot of the name counts", "/v1.2/a.b.c", "/v1.2/a.tmp", "/v1.2/a.old"},
        {"no folder", "tabell.txt", "tabell.tmp", "tabell.old"},
#ifdef _WIN32
        // The file name is the text after the last "\\" or ":" (or "/", which Windows takes as well).
        {"drive letter and backslashes", "C:\\data\\pris.csv", "C:\\data\\pris.tmp", "C:\\data\\pris.old"},
        {"dot in a Windows folder name", "C:\\min.data\\tabell.txt", "C:\\min.data\\tabell.tmp",
         "C:\\min.data\\tabell.old"},
        {"drive letter without a folder", "D:kart.xml", "D:kart.tmp", "D:kart.old"},
        {"network share", "\\\\server\\del\\v1.2\\a.b.c", "\\\\server\\del\\v1.2\\a.tmp",
         "\\\\server\\del\\v1.2\\a.old"},
        {"both separators", "C:\\data/ut\\pris.csv", "C:\\data/ut\\pris.tmp", "C:\\data/ut\\pris.old"},
#endif
    };
    for (const auto& row : rows) {
        EXPECT_EQ(ftpunit::CompanionFile(row.path, "tmp"), row.tmp) << row.name;
        EXPECT_EQ(ftpunit::CompanionFile(row.path, "old"), row.old) << row.name;
    }
    EXPECT_EQ(ftpunit::FileNameOf("/a/b.txt"), "b.txt");
    EXPECT_EQ(ftpunit::FolderOf("/a/b.txt"), "/a/");
    EXPECT_EQ(ftpunit::FolderOf("b.txt"), "");
#ifdef _WIN32
    EXPECT_EQ(ftpunit::FileNameOf("C:\\data\\pris.csv"), "pris.csv");
    EXPECT_EQ(ftpunit::FolderOf("C:\\data\\pris.csv"), "C:\\data\\");
    EXPECT_EQ(ftpunit::FileNameOf("C:pris.csv"), "pris.csv");
    EXPECT_EQ(ftpunit::FolderOf("C:pris.csv"), "C:");
#endif
}

TEST_F(TransferTest, LokalFilStorrelseNeedsAWritableRegularFile) {
    const fs::path file = work() / "f.bin";
    testsupport::WriteFileBytes(file, "12345");
    EXPECT_EQ(ftpunit::LokalFilStorrelse(file.string()), 5);
    EXPECT_EQ(ftpunit::LokalFilStorrelse((work() / "missing").string()), -1);
    EXPECT_EQ(ftpunit::LokalFilStorrelse(work().string()), -1) << "a folder";
    fs::permissions(file, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    EXPECT_EQ(ftpunit::LokalFilStorrelse(file.string()), -1) << "read-only, whoever runs the test";
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write);

    // A sparse file: the true size above 2^31, without writing gigabytes.
    const fs::path big = work() / "big.bin";
    testsupport::WriteFileBytes(big, "");
    fs::resize_file(big, 3LL << 30);
    EXPECT_EQ(ftpunit::LokalFilStorrelse(big.string()), 3LL << 30);
}

} // namespace
