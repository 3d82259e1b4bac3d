#include "NetTls.h"

#include "NetExceptions.h"

namespace net {

void RethrowHandshakeSocketError(const ENetSocketError& error, const std::string& peer) {
    if (error.number() == wsa::ConnectionReset) {
        throw ENetTlsHandshakeFailed(peer, TNetHandshakeProblem::ServerReset);
    }
    throw;
}

void DrainBeforeClose(TNetByteStream& lower, const TNetClock& clock) {
    constexpr int kPieces = 64;
    char sink[16384];
    try {
        for (int i = 0; i < kPieces; ++i) {
            const TNetIoResult result = lower.Receive(sink, sizeof sink, TNetDeadline::Now(clock));
            if (result.Status != TNetIoStatus::Done || result.Count == 0) {
                break;
            }
        }
    } catch (...) {
    }
}

} // namespace net
