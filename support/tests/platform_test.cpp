#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "SupportFixture.h"
#include "TempEnvironment.h"
#include "platform.h"

namespace {

namespace fs = std::filesystem;
using platform::Failure;
using testsupport::ReadFileBytes;
using testsupport::WriteFileBytes;

TEST(PlatformFiles, CreatingOrRenamingWithoutReplacingLeavesWhateverStandsUnderTheName) {
    struct Row {
        const char* name;
        std::function<void(const fs::path&)> make;
        Failure failure;
    };
    const Row rows[] = {
        {"nothing", [](const fs::path&) {}, Failure::None},
        {"a file", [](const fs::path& to) { WriteFileBytes(to, "old"); }, Failure::Exists},
        {"a folder", [](const fs::path& to) { fs::create_directory(to); }, Failure::Exists},
#ifdef _WIN32
        // A junction is the link any Windows user may make.
        {"a broken junction", [](const fs::path& to) { supporttest::MakeJunction(to, to.string() + "-missing"); },
         Failure::Exists},
#else
        {"a broken link", [](const fs::path& to) { fs::create_symlink(to.string() + "-missing", to); },
         Failure::Exists},
#endif
    };
    testsupport::TempFolder folder;
    const fs::path from = folder.path() / "new.txt";
    const fs::path to = folder.path() / "target";
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        fs::remove_all(to);
        row.make(to);
        const fs::file_type type = fs::symlink_status(to).type();
        if (row.failure != Failure::None && type == fs::file_type::not_found) {
            continue; // this file system cannot hold it (wine's holds no junction)
        }
        platform::FileHandle file;
        EXPECT_EQ(platform::failureOf(
                      platform::openFile(to.string(), platform::Access::Write, platform::Create::OnlyNew, file)),
                  row.failure);
        EXPECT_EQ(file.isOpen(), row.failure == Failure::None);
        if (file.isOpen()) {
            file.close();
            fs::remove(to);
        }
        WriteFileBytes(from, "new");
        EXPECT_EQ(platform::failureOf(platform::renameNoReplace(from.string(), to.string())), row.failure);
        EXPECT_EQ(fs::exists(from), row.failure != Failure::None);
        EXPECT_EQ(fs::symlink_status(to).type(), row.failure == Failure::None ? fs::file_type::regular : type);
        EXPECT_EQ(ReadFileBytes(to),
                  row.failure == Failure::None ? "new" : (type == fs::file_type::regular ? "old" : ""));
    }
}

} // namespace
