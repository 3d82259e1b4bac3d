// A scripted FTP server inside the test process: one control connection on a loopback port, served by a
// thread that runs the test's script and records every command it receives.
#pragma once

#include "TestSockets.h"

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
    explicit DataLink(testsupport::TestSocket socket) : m_socket(std::move(socket)) {}

    bool valid() const { return m_socket.valid(); }
    testsupport::SocketHandle fd() const { return m_socket.get(); }
    void sendAll(const std::string& bytes);
    // Everything until the client closes (bounded by a few seconds of silence).
    std::string receiveAll();
    void close();
    // Closes with a reset instead of an orderly end (not under wine: see kResetNeedsARealSystem).
    void reset();

private:
    testsupport::TestSocket m_socket;
};

class ServerSession {
public:
    ServerSession(testsupport::TestSocket socket, std::string address, std::vector<std::string>& commands,
                  std::mutex& mutex)
        : m_socket(std::move(socket)), m_address(std::move(address)), m_commands(commands), m_mutex(mutex) {}

    // The next command line without its line end; empty when the client closed or went silent.
    std::string readCommand();
    // Records a command that reached the script another way (over TLS).
    void record(const std::string& command);
    testsupport::SocketHandle fd() const { return m_socket.get(); }
    void send(const std::string& bytes);
    void reply(const std::string& line) { send(line + "\r\n"); }
    // Greeting and a normal login with "type I" and "syst".
    void login();
    // Waits until the client closes the control connection (or a few seconds pass).
    bool waitForClose();
    void close();

    // Connects to the endpoint of the last PORT or EPRT command received, from the given local address (the
    // server's own when empty).
    DataLink connectToPort(const std::string& fromAddress = std::string());
    // Opens a listener and returns the reply announcing it: 229 after EPSV, else 227 (announcedHost replaces
    // the address).
    std::string openPassive(const std::string& announcedHost = "127,0,0,1");
    DataLink acceptPassive();

private:
    testsupport::TestSocket m_socket;
    std::string m_address; // the server's, where its data connections start and listen
    std::string m_buffer;
    std::string m_lastCommand;
    std::string m_portAddress; // of the last PORT or EPRT
    int m_portNumber = 0;
    testsupport::TestSocket m_passiveListener;
    std::vector<std::string>& m_commands;
    std::mutex& m_mutex;

    friend class ScriptedServer;
};

class ScriptedServer {
public:
    using Script = std::function<void(ServerSession&)>;
    explicit ScriptedServer(Script script) : ScriptedServer("127.0.0.1", std::move(script)) {}
    // Listens on address, the IPv4 or IPv6 loopback address.
    ScriptedServer(std::string address, Script script);
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
    std::string m_address;
    testsupport::TestSocket m_listener;
    int m_port = 0;
    std::thread m_thread;
    mutable std::mutex m_mutex;
    std::vector<std::string> m_commands;
    std::string m_error;
};

// Wine closes a socket in order even with a zero linger time, so a DataLink::reset there is an orderly end
// and the client's later sends fail as "not connected": tests of a peer's reset are skipped under wine.
inline constexpr const char* kResetNeedsARealSystem = "wine cannot reset a connection: it always closes in order";

// A free loopback TCP port at the moment of the call.
int freeLoopbackPort();

// Login, then PORT, EPRT, EPSV or PASV and the transfer command answered with 150; returns the data link.
DataLink openTransfer(ServerSession& s, bool passive);

} // namespace ftptest
