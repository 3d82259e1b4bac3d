// A connection that connects to a server: the FTP control connection, and the passive-mode data connection.
#pragma once

#include "NetTCPConnection.h"

#include <cstdint>
#include <string>

namespace net {

class TNetTCPClient : public TNetTCPConnection {
public:
    std::string BoundIP; // local address to bind; empty = any
    std::string Host;
    TNetNotifyEvent OnConnected;
    std::int32_t Port = 0;
    bool UseNagle = true;

    void OpenConnection();
};

} // namespace net
