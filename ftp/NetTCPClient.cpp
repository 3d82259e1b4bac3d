#include "NetTCPClient.h"

#include "NetExceptions.h"

namespace net {

void TNetTCPClient::OpenConnection() {
    if (Stream().IsOpen()) {
        throw ENetAlreadyConnected();
    }
    ResetForOpen();
    m_socket.Allocate();
    try {
        // Without a local address connect picks the port itself, which is cheaper than a bind to port 0.
        if (!BoundIP.empty()) {
            m_socket.Bind(BoundIP, 0);
        }
        if (!LooksLikeIPv4(Host)) {
            ReportStatus(stResolving, Host);
        }
        const std::string address = ResolveHostAddress(Host);
        if (!UseNagle) {
            m_socket.SetNoDelay();
        }
        ReportStatus(stConnecting, address);
        m_socket.Connect(address, Port, TNetDeadline::After(Clock(), IdleTimeout));
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
