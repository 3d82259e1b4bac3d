// A real server from the system's packages as a child process on a loopback port, for the tests that
// need the truth rather than a script (not on Windows, where the broker starts servers on the build machine).
#pragma once

#include <filesystem>
#include <string>
#include <sys/types.h>
#include <vector>

namespace testsupport {

#ifndef _WIN32

// Stopped by its process id; it also goes with the test process when that one dies without cleaning up.
class ServerProcess {
public:
    ServerProcess() = default;
    ~ServerProcess() { stop(); }
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    // Starts args (the program by its full path first), its output going to log, and waits until port
    // accepts connections on address. False when it ended first (most likely the port was taken) or never
    // listened within ten seconds.
    bool start(const std::vector<std::string>& args, int port, const std::filesystem::path& log,
               const std::string& address = "127.0.0.1");
    void stop();
    bool running() const { return m_pid > 0; }

private:
    pid_t m_pid = -1;
};

#endif

} // namespace testsupport
