// The TLS backend of a build without one: every protected session is refused before anything is sent.
#include "NetTls.h"

#include "NetExceptions.h"

namespace net {

std::unique_ptr<TNetTlsClient> MakeTlsClient(const TNetTlsTrust&) {
    throw ENetTlsUnavailable();
}

std::string TlsBackendName() {
    return std::string();
}

} // namespace net
