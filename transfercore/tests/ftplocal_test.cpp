// The local side of a transfer: where the companion files go and which files have a size.
#include "TransferFixture.h"
#include "ftplocal.h"

#include <sys/stat.h>

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
    };
    for (const auto& row : rows) {
        EXPECT_EQ(ftpunit::CompanionFile(row.path, "tmp"), row.tmp) << row.name;
        EXPECT_EQ(ftpunit::CompanionFile(row.path, "old"), row.old) << row.name;
    }
    EXPECT_EQ(ftpunit::FileNameOf("/a/b.txt"), "b.txt");
    EXPECT_EQ(ftpunit::FolderOf("/a/b.txt"), "/a/");
    EXPECT_EQ(ftpunit::FolderOf("b.txt"), "");
}

TEST_F(TransferTest, LokalFilStorrelseNeedsAWritableRegularFile) {
    const fs::path file = work() / "f.bin";
    testsupport::WriteFileBytes(file, "12345");
    EXPECT_EQ(ftpunit::LokalFilStorrelse(file.string()), 5);
    EXPECT_EQ(ftpunit::LokalFilStorrelse((work() / "missing").string()), -1);
    EXPECT_EQ(ftpunit::LokalFilStorrelse(work().string()), -1) << "a folder";
    ::chmod(file.c_str(), 0444);
    EXPECT_EQ(ftpunit::LokalFilStorrelse(file.string()), -1) << "read-only, whoever runs the test";
    ::chmod(file.c_str(), 0644);

    // A sparse file: the true size above 2^31, without writing gigabytes.
    const fs::path big = work() / "big.bin";
    testsupport::WriteFileBytes(big, "");
    fs::resize_file(big, 3LL << 30);
    EXPECT_EQ(ftpunit::LokalFilStorrelse(big.string()), 3LL << 30);
}

} // namespace
