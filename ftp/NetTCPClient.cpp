#include "NetTCPClient.h"

#include "NetExceptions.h"

namespace net {

void TNetTCPClient::OpenConnection() {
    if (Stream().IsOpen()) {
        throw ENetAlreadyConnected();
    }
    ResetForOpen();
    try {
        if (!IsAddressLiteral(Host)) {
            ReportStatus(stResolving, Host);
        }
        const std::vector<std::string> addresses = ResolveHostAddresses(Host, Resolver);
        ReportStatus(stConnecting, addresses.front());
        m_socket.ConnectToFirst(addresses, Port, BoundIP, TNetDeadline::After(Clock(), IdleTimeout));
        if (!UseNagle) {
            m_socket.SetNoDelay();
        }
    } catch (...) {
        try {
            CloseConnection();
        } catch (...) {
        }
        throw;
    }
    ReportStatus(stConnected, m_socket.RemoteAddress);
    if (OnConnected) {
        OnConnected(*this);
    }
}

} // namespace net
