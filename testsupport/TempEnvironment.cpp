#include "TempEnvironment.h"

#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <system_error>

#ifdef _WIN32
#include <map>
#include <mutex>

#include <windows.h>
#else
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace testsupport {

namespace fs = std::filesystem;

TempFolder::TempFolder() {
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device random;
    std::uniform_int_distribution<std::size_t> pick(0, sizeof kLetters - 2);
    const fs::path base = fs::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = "pytagoras-test-";
        for (int i = 0; i < 8; ++i) {
            name += kLetters[pick(random)];
        }
        // Created here and only here: a name that exists already was someone else's.
        std::error_code ec;
        if (fs::create_directory(base / name, ec)) {
            m_path = base / name;
            return;
        }
    }
    throw std::runtime_error("cannot make a temporary folder");
}

TempFolder::~TempFolder() {
    std::error_code ec;
    // Tests may leave read-only files and folders; give write rights back before removing.
    for (auto it = fs::recursive_directory_iterator(m_path, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        if (!it->is_symlink(ec)) {
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
        }
    }
    fs::permissions(m_path, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(m_path, ec);
}

namespace {

void setVariable(const std::string& name, const std::optional<std::string>& value) {
#ifdef _WIN32
    // The C library's copy and the system's environment block both change, so that the program's
    // getenv and GetEnvironmentVariable, and the programs it starts, all see the new value. An empty
    // value removes the variable there; Windows knows no empty variables.
    ::_putenv_s(name.c_str(), value ? value->c_str() : "");
#else
    if (value) {
        ::setenv(name.c_str(), value->c_str(), 1);
    } else {
        ::unsetenv(name.c_str());
    }
#endif
}

} // namespace

ScopedEnv::ScopedEnv(std::string name, std::optional<std::string> value) : m_name(std::move(name)) {
    if (const char* old = std::getenv(m_name.c_str())) {
        m_old = old;
    }
    setVariable(m_name, value);
}

ScopedEnv::~ScopedEnv() {
    setVariable(m_name, m_old);
}

ScopedWorkingFolder::ScopedWorkingFolder(const fs::path& folder) : m_old(fs::current_path()) {
    fs::current_path(folder);
}

ScopedWorkingFolder::~ScopedWorkingFolder() {
    std::error_code ec;
    fs::current_path(m_old, ec);
}

TempEnvironment::TempEnvironment()
    : m_appdata("APPDATA", (m_folder.path() / "appdata").string()), m_home("HOME", (m_folder.path() / "home").string()),
      m_xdg("XDG_DATA_HOME", (m_folder.path() / "home" / ".local" / "share").string()),
      m_temp("TEMP", (m_folder.path() / "temp").string()) {
    for (const char* sub : {"appdata", "home", "temp", "work"}) {
        fs::create_directories(m_folder.path() / sub);
    }
    m_cwd.emplace(work());
}

std::string ReadFileBytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void WriteFileBytes(const fs::path& file, const std::string& bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << bytes;
}

} // namespace testsupport

namespace testsupport {

#ifdef _WIN32

namespace {

std::wstring wide(const std::string& text) {
    if (text.empty()) {
        return std::wstring();
    }
    const int length = ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring result(static_cast<std::size_t>(length), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), result.data(), length);
    return result;
}

// One argument as the C runtime of the started program splits its command line again.
std::wstring quoted(const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
        return arg;
    }
    std::wstring result = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        // Backslashes count only before a quote: there they are doubled, and the quote escaped.
        result.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        result += c;
    }
    result.append(backslashes * 2, L'\\');
    return result + L"\"";
}

// The processes started and not yet waited for, by id.
std::mutex g_processesMutex;
std::map<int, HANDLE> g_processes;

HANDLE openForChild(const std::string& name, DWORD access, DWORD disposition) {
    SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    return ::CreateFileW(wide(name).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inherited,
                         disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

} // namespace

int SpawnProcess(std::vector<std::string> args, const SpawnOptions& options) {
    std::wstring commandLine;
    for (const std::string& arg : args) {
        commandLine += (commandLine.empty() ? L"" : L" ") + quoted(wide(arg));
    }
    const HANDLE input = openForChild(options.standardInput, GENERIC_READ, OPEN_EXISTING);
    const HANDLE output = openForChild(options.standardOutput, GENERIC_WRITE, CREATE_ALWAYS);
    const HANDLE error = openForChild(options.standardError, GENERIC_WRITE, CREATE_ALWAYS);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input;
    startup.hStdOutput = output;
    startup.hStdError = error;
    PROCESS_INFORMATION started{};
    const std::wstring folder = options.workingFolder.wstring();
    const bool ok = input != INVALID_HANDLE_VALUE && output != INVALID_HANDLE_VALUE && error != INVALID_HANDLE_VALUE &&
                    ::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                                     folder.empty() ? nullptr : folder.c_str(), &startup, &started);
    for (const HANDLE handle : {input, output, error}) {
        if (handle != INVALID_HANDLE_VALUE) {
            ::CloseHandle(handle);
        }
    }
    if (!ok) {
        return -1;
    }
    ::CloseHandle(started.hThread);
    const int pid = static_cast<int>(started.dwProcessId);
    std::lock_guard lock(g_processesMutex);
    g_processes[pid] = started.hProcess;
    return pid;
}

std::filesystem::path NativePath(const std::string& text) {
    return std::filesystem::path(wide(text));
}

std::filesystem::path ThisProgram() {
    wchar_t path[32768];
    const DWORD length = ::GetModuleFileNameW(nullptr, path, 32768);
    return std::filesystem::path(std::wstring(path, length < 32768 ? length : 0));
}

bool RunningUnderWine() {
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

int WaitForExit(int pid) {
    HANDLE process = nullptr;
    {
        std::lock_guard lock(g_processesMutex);
        const auto found = g_processes.find(pid);
        if (found == g_processes.end()) {
            return -1;
        }
        process = found->second;
        g_processes.erase(found);
    }
    DWORD code = 0;
    const bool ended =
        ::WaitForSingleObject(process, INFINITE) == WAIT_OBJECT_0 && ::GetExitCodeProcess(process, &code);
    ::CloseHandle(process);
    return ended ? static_cast<int>(code) : -1;
}

#else

std::filesystem::path NativePath(const std::string& text) {
    return std::filesystem::path(text);
}

std::filesystem::path ThisProgram() {
    std::error_code ec;
    return fs::read_symlink("/proc/self/exe", ec);
}

bool RunningUnderWine() {
    return false;
}

int SpawnProcess(std::vector<std::string> args, const SpawnOptions& options) {
    std::vector<char*> argv;
    for (auto& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, options.standardInput.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, options.standardOutput.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, options.standardError.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (!options.workingFolder.empty()) {
        posix_spawn_file_actions_addchdir_np(&actions, options.workingFolder.c_str());
    }
    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : -1;
}

int WaitForExit(int pid) {
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid) {
        return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

#endif

} // namespace testsupport
