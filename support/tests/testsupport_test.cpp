#include "TempEnvironment.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;

TEST(TempEnvironment, RedirectsAppdataAndWorkingFolderAndCleansUp) {
    fs::path root;
    {
        testsupport::TempEnvironment env;
        root = env.root();
        EXPECT_EQ(std::getenv("APPDATA"), env.appdata().string());
        EXPECT_EQ(fs::current_path(), env.work());
    }
    EXPECT_FALSE(fs::exists(root));
}
