// The local side of a transfer: where the companion files go and which files have a size.
#include "TransferFixture.h"
#include "ftplocal.h"

#ifdef _WIN32
#include <windows.h>
#endif

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
        {"no folder", "tabell.txt", "tabell.tmp", "tabell.old"},
        // Each name its own companions: only the last extension is replaced, whatever its length.
        {"last extension of several", "/v1.2/rapport.2025.csv", "/v1.2/rapport.2025.tmp", "/v1.2/rapport.2025.old"},
        {"long extension", "/data/data.klmnopqrstu", "/data/data.tmp", "/data/data.old"},
        {"only dot leads the name", "/home/kari/.profile", "/home/kari/.profile.tmp", "/home/kari/.profile.old"},
        {"named like its own T", "/data/data.tmp", "/data/data.tmp.tmp", "/data/data.tmp.old"},
        {"named like its own O, in capitals", "/data/DATA.OLD", "/data/DATA.OLD.tmp", "/data/DATA.OLD.old"},
#ifdef _WIN32
        // The file name is the text after the last "\\" or ":" (or "/", which Windows takes as well).
        {"drive letter and backslashes", "C:\\data\\pris.csv", "C:\\data\\pris.tmp", "C:\\data\\pris.old"},
        {"dot in a Windows folder name", "C:\\min.data\\tabell.txt", "C:\\min.data\\tabell.tmp",
         "C:\\min.data\\tabell.old"},
        {"drive letter without a folder", "D:kart.xml", "D:kart.tmp", "D:kart.old"},
        {"network share", "\\\\server\\del\\v1.2\\a.b.c", "\\\\server\\del\\v1.2\\a.b.tmp",
         "\\\\server\\del\\v1.2\\a.b.old"},
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

TEST_F(TransferTest, LokalFilStorrelseNeedsAReadableRegularFileThatIsNotReadOnly) {
    const fs::path file = work() / "f.bin";
    testsupport::WriteFileBytes(file, "12345");
    const fs::path readOnly = work() / "les.bin";
    testsupport::WriteFileBytes(readOnly, "x");
    fs::permissions(readOnly, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    const struct {
        const char* name;
        fs::path path;
        std::int64_t size;
        std::string why;
    } rows[] = {
        {"ordinary file", file, 5, ""},
        {"missing", work() / "mangler", -1, "filen finnes ikke"},
        {"a folder", work(), -1, "det er ikke en vanlig fil"},
        {"read-only, whoever runs the test", readOnly, -1, "filen er skrivebeskyttet"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::string why = "-";
        EXPECT_EQ(ftpunit::LokalFilStorrelse(row.path.string(), &why), row.size);
        EXPECT_EQ(why, row.why);
    }
    fs::permissions(readOnly, fs::perms::owner_read | fs::perms::owner_write);

#ifdef _WIN32
    // Another program holding the file open: an office program letting others read it is no obstacle to
    // reading; one that lets nobody in is named as the cause.
    const std::wstring name = file.wstring();
    for (const DWORD sharing : {DWORD{FILE_SHARE_READ}, DWORD{0}}) {
        SCOPED_TRACE(sharing == 0 ? "held open, shared with nobody" : "held open, shared for reading");
        const HANDLE held = ::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, sharing, nullptr, OPEN_EXISTING,
                                          FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
        std::string why;
        EXPECT_EQ(ftpunit::LokalFilStorrelse(file.string(), &why), sharing == 0 ? -1 : 5);
        EXPECT_EQ(why, sharing == 0 ? "filen kan ikke leses: " + platform::errorText(ERROR_SHARING_VIOLATION) : "");
        ::CloseHandle(held);
    }
#endif

    // A sparse file: the true size above 2^31, without writing gigabytes.
    const fs::path big = work() / "big.bin";
    testsupport::WriteFileBytes(big, "");
    fs::resize_file(big, 3LL << 30);
    EXPECT_EQ(ftpunit::LokalFilStorrelse(big.string()), 3LL << 30);
}

} // namespace
