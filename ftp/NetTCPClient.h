// A connection that connects to a server: the FTP control connection, and the passive-mode data connection.
#pragma once

#include "NetTCPConnection.h"

#include <cstdint>
#include <string>

namespace net {

class TNetTCPClient : public TNetTCPConnection {
public:
    std::string BoundIP; // local address to bind; empty = any
    std::string Host;    // a name, or an address (an IPv6 address may stand in brackets)
    TNetNotifyEvent OnConnected;
    std::int32_t Port = 0;
    bool UseNagle = true;
    // Looks names up in place of the system (tests); empty: the system's lookup.
    TNetResolver Resolver;

    void OpenConnection();
};

} // namespace net
