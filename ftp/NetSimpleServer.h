// Listens for one incoming connection: the server's side of an active-mode data connection.
#pragma once

#include "NetTCPConnection.h"

#include <cstdint>
#include <string>

namespace net {

class TNetSimpleServer : public TNetTCPConnection {
public:
    // Milliseconds per readiness poll while waiting for the server; unused, because the wait blocks in one
    // platform call on the listener and the control connection together, until IdleTimeout.
    std::int32_t PollInterval = 0;
    std::string BoundIP;
    std::int32_t BoundPort = 0;

    void StartListening();
    void StopWaiting() { m_abortWait = true; }
    const std::string& ListeningIP() const { return m_listener.IP; }
    std::int32_t ListeningPort() const { return m_listener.Port; }
    bool IsListening() const { return m_listening; }

    // Waits within IdleTimeout for one connection from acceptFrom (any address when empty); others are
    // closed and the wait goes on. Watches control too: its closing, or a reply of 400 or above there,
    // ends the wait with an exception. The listening socket is closed afterwards in every case.
    void WaitForPeer(TNetTCPConnection* control, const std::string& acceptFrom);

private:
    void stopListening();

    TNetSocketHandle m_listener;
    bool m_abortWait = false;
    bool m_listening = false;
};

} // namespace net
