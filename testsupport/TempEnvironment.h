// Seams for tests: a private temporary folder, and environment variables set for one scope.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    std::string str() const { return m_path.string(); }

private:
    std::filesystem::path m_path;
};

// Sets (or, with nullopt, unsets) one environment variable and restores it afterwards.
class ScopedEnv {
public:
    ScopedEnv(std::string name, std::optional<std::string> value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string m_name;
    std::optional<std::string> m_old;
};

// Changes the working folder for one scope.
class ScopedWorkingFolder {
public:
    explicit ScopedWorkingFolder(const std::filesystem::path& folder);
    ~ScopedWorkingFolder();
    ScopedWorkingFolder(const ScopedWorkingFolder&) = delete;
    ScopedWorkingFolder& operator=(const ScopedWorkingFolder&) = delete;

private:
    std::filesystem::path m_old;
};

// A whole private environment: APPDATA, HOME, XDG_DATA_HOME and TEMP point into one temporary
// folder, and the working folder is a fresh folder inside it.
class TempEnvironment {
public:
    TempEnvironment();

    std::filesystem::path root() const { return m_folder.path(); }
    std::filesystem::path appdata() const { return m_folder.path() / "appdata"; }
    std::filesystem::path work() const { return m_folder.path() / "work"; }

private:
    TempFolder m_folder;
    ScopedEnv m_appdata;
    ScopedEnv m_home;
    ScopedEnv m_xdg;
    ScopedEnv m_temp;
    std::optional<ScopedWorkingFolder> m_cwd;
};

// Reads a whole file as bytes; empty when it cannot be read.
std::string ReadFileBytes(const std::filesystem::path& file);
// Writes bytes to a file, replacing it.
void WriteFileBytes(const std::filesystem::path& file, const std::string& bytes);

} // namespace testsupport

namespace testsupport {

#ifdef _WIN32
inline constexpr const char* kNullDevice = "NUL";
#else
inline constexpr const char* kNullDevice = "/dev/null";
#endif

// How a child process is started: where its standard streams go and in which folder it runs.
struct SpawnOptions {
    std::string standardInput = kNullDevice;
    std::string standardOutput = kNullDevice;
    std::string standardError = kNullDevice;
    std::filesystem::path workingFolder; // empty: this process's working folder
};

// Starts args[0] with the arguments and this process's environment; -1 when it cannot start.
int SpawnProcess(std::vector<std::string> args, const SpawnOptions& options = {});

// A path in the program's texts (UTF-8 on Linux, the ANSI code page on Windows) as the standard library's
// path, converted as the platform layer converts it: for names with Norwegian letters on Windows.
std::filesystem::path NativePath(const std::string& text);

// The running test program's own file.
std::filesystem::path ThisProgram();

// True when the test runs under wine rather than on Windows itself (or natively elsewhere): for the few
// cases that wine cannot show.
bool RunningUnderWine();

// Waits for a child and gives its exit code, or 128 + the signal that ended it (on POSIX).
int WaitForExit(int pid);

} // namespace testsupport
