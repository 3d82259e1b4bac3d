// A scripted FTP server inside the test process: one control connection on a loopback port, served by a
// thread that runs the test's script and records every command it receives.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace ftptest {

// One data connection as the server sees it.
class DataLink {
public:
    DataLink() = default;
    explicit DataLink(int fd) : m_fd(fd) {}
    DataLink(DataLink&& other) noexcept : m_fd(other.m_fd) { other.m_fd = -1; }
    DataLink& operator=(DataLink&& other) noexcept;
    ~DataLink() { close(); }

    bool valid() const { return m_fd >= 0; }
    int fd() const { return m_fd; }
    void sendAll(const std::string& bytes);
    // Everything until the client closes (bounded by a few seconds of silence).
    std::string receiveAll();
    void close();
    // Closes with a reset instead of an orderly end.
    void reset();

private:
    int m_fd = -1;
};

class ServerSession {
public:
    ServerSession(int fd, std::vector<std::string>& commands, std::mutex& mutex)
        : m_fd(fd), m_commands(commands), m_mutex(mutex) {}

    // The next command line without its line end; empty when the client closed or went silent.
    std::string readCommand();
    // Records a command that reached the script another way (over TLS).
    void record(const std::string& command);
    int fd() const { return m_fd; }
    // Bytes received after the last command read, not yet taken.
    const std::string& unread() const { return m_buffer; }
    void send(const std::string& bytes);
    void reply(const std::string& line) { send(line + "\r\n"); }
    // Greeting and a normal login with "type I" and "syst".
    void login();
    // Waits until the client closes the control connection (or a few seconds pass).
    bool waitForClose();
    void close();

    // Connects to the endpoint of the last PORT command received, from the given local address.
    DataLink connectToPort(const std::string& fromAddress = "127.0.0.1");
    // Opens a listener and returns the 227 reply line announcing it (announcedHost replaces the address).
    std::string openPassive(const std::string& announcedHost = "127,0,0,1");
    DataLink acceptPassive();

private:
    int m_fd;
    std::string m_buffer;
    std::string m_lastPort;
    int m_passiveListener = -1;
    std::vector<std::string>& m_commands;
    std::mutex& m_mutex;

    friend class ScriptedServer;
};

class ScriptedServer {
public:
    using Script = std::function<void(ServerSession&)>;
    explicit ScriptedServer(Script script);
    ~ScriptedServer();
    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;

    int port() const { return m_port; }
    // Connects and leaves at once, for tests whose client never comes, so the script ends now.
    void knock();
    // Waits for the script to end and returns the commands received.
    std::vector<std::string> finish();
    // Failure text of the script (an exception in the thread), empty when it ran through.
    std::string error() const;

private:
    void run();

    Script m_script;
    int m_listener = -1;
    int m_port = 0;
    std::thread m_thread;
    mutable std::mutex m_mutex;
    std::vector<std::string> m_commands;
    std::string m_error;
};

// A free loopback TCP port at the moment of the call.
int freeLoopbackPort();

// Login, then PORT or PASV and the transfer command answered with 150; returns the data link.
DataLink openTransfer(ServerSession& s, bool passive);

} // namespace ftptest
