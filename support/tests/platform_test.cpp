#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "SupportFixture.h"
#include "TempEnvironment.h"
#include "platform.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

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

TEST(PlatformFiles, OnlyARegularFileOpensAndNothingElseHoldsTheCallerUp) {
    struct Row {
        const char* name;
        std::function<std::string(const fs::path&)> make; // gives the name to open
    };
    const Row rows[] = {
        {"a folder",
         [](const fs::path& at) {
             fs::create_directory(at);
             return at.string();
         }},
#ifdef _WIN32
        {"a device name", [](const fs::path&) { return std::string("NUL"); }},
#else
        // Nobody at the other end: opening it the usual way would wait for ever.
        {"a FIFO",
         [](const fs::path& at) {
             EXPECT_EQ(::mkfifo(at.c_str(), 0600), 0);
             return at.string();
         }},
        {"a character device", [](const fs::path&) { return std::string("/dev/null"); }},
#endif
    };
    const std::pair<platform::Access, platform::Create> uses[] = {
        {platform::Access::Read, platform::Create::Never},
        {platform::Access::Write, platform::Create::Replacing},
        {platform::Access::Append, platform::Create::Never},
        {platform::Access::ReadWrite, platform::Create::IfMissing},
    };
    testsupport::TempFolder folder;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const fs::path at = folder.path() / "thing";
        const std::string name = row.make(at);
        for (const auto& [access, create] : uses) {
            platform::FileHandle file;
            EXPECT_NE(platform::openFile(name, access, create, file), 0);
            EXPECT_FALSE(file.isOpen());
        }
        fs::remove_all(at);
    }
}

} // namespace
