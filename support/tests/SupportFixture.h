// A clean support library for each test: its own APPDATA, working folder and program file, an
// in-memory registry, logging state back at the start, and message boxes collected.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "OrdinaryUser.h"
#include "TempEnvironment.h"
#include "hs_reg.h"
#include "platform.h"
#include "textfil.h"

namespace supporttest {

namespace fs = std::filesystem;

// A path written with "/" as the platform writes it ("\" on Windows).
inline std::string N(std::string_view path) {
    return platform::nativeSeparators(path);
}

inline void ResetSupport() {
    textfil::ResetLogState();
    textfil::SetMessageBoxHook(nullptr);
    hs_reg::resetIni();
    hs_reg::resetSystemInfo();
    hs_reg::setRegistry(nullptr);
    hs_reg::setProgramFilePath({});
    hs_reg::setBusyCursorHook(nullptr);
}

// Splits a log file into its lines; every line must end in CR LF.
inline std::vector<std::string> LogLines(const std::string& bytes) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < bytes.size()) {
        const auto end = bytes.find("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back("<no CR LF>" + bytes.substr(start));
            break;
        }
        lines.push_back(bytes.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

// Makes a file read-only for everyone (no write bit at all on POSIX, the read-only attribute on Windows),
// and writable again.
void MakeReadOnly(const fs::path& file);
void MakeWritable(const fs::path& file);
#ifdef _WIN32
// A junction at link to target, which needs no privilege on Windows; false where the file system cannot
// hold one (wine's cannot).
bool MakeJunction(const fs::path& link, const fs::path& target);
#endif
// What tells one file from another on its file system: the inode, or Windows' file index.
std::uint64_t FileIdentity(const fs::path& file);

// The message of a log line written under the C locale ("2026-12-08 14:05:09 message"; on Windows in the
// user's own short date and long time), or "<bad stamp>" when the time stamp is not well formed.
std::string MessageOf(const std::string& line);

class SupportTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetSupport();
        m_registry = std::make_shared<hs_reg::MemoryRegistry>();
        hs_reg::setRegistry(m_registry);
        fs::create_directories(programFolder());
        hs_reg::setProgramFilePath((programFolder() / "demo.exe").string());
        textfil::SetMessageBoxHook(
            [this](const std::string& caption, const std::string& text) { m_boxes.push_back(caption + "|" + text); });
    }
    void TearDown() override { ResetSupport(); }

    // Runs work as an ordinary user (testsupport::RunAsOrdinaryUser), who may reach the test's folders.
    int asOrdinaryUser(const std::function<int()>& work) {
        fs::permissions(m_env.root(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                          fs::perms::others_read | fs::perms::others_exec);
        return testsupport::RunAsOrdinaryUser(work);
    }
    fs::path programFolder() const { return m_env.root() / "prog" / "bin"; }
    std::string root() const { return (m_env.appdata() / "Solvemar").string() + platform::kSeparator; }
    std::string logFile() const { return root() + N("log/demo.log"); }
    // The messages of the log file's lines, time stamps checked and taken off.
    std::vector<std::string> LogMessages() const { return LogMessagesOf(logFile()); }
    static std::vector<std::string> LogMessagesOf(const std::string& file) {
        std::vector<std::string> messages;
        for (const std::string& line : LogLines(testsupport::ReadFileBytes(file))) {
            messages.push_back(MessageOf(line));
        }
        return messages;
    }

    testsupport::TempEnvironment m_env;
    std::shared_ptr<hs_reg::MemoryRegistry> m_registry;
    std::vector<std::string> m_boxes;
};

} // namespace supporttest
