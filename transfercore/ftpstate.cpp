// The transfer unit's module state and what host programs read of it.
#include "ftpstate.h"

#include "ftpmodule.h"

namespace ftpunit {

namespace detail {

State& state() {
    static State s;
    return s;
}

} // namespace detail

using detail::state;

const std::string& ftpmappe() {
    return state().ftpmappe;
}
void setFtpmappe(std::string folder) {
    state().ftpmappe = std::move(folder);
}
std::int32_t ftpfeil() {
    return state().ftpfeil;
}
Outcome LastOutcome() {
    return state().outcome;
}
const std::string& ServerReply() {
    return state().serverReply;
}
const std::string& TlsRefusal() {
    return state().tlsRefusal;
}
const std::string& FailureCause() {
    return state().failureCause;
}

void Stop() {
    state().ftpmappe.clear();
}

void ResetFtpState() {
    state() = detail::State{};
}

} // namespace ftpunit
