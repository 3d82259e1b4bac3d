#include "NetMemoryByteStream.h"

#include <algorithm>
#include <cstring>

namespace net {

TNetIoResult TNetMemoryByteStream::Receive(char* data, std::size_t count, const TNetDeadline& deadline) {
    const std::size_t left = m_input.size() - m_taken;
    if (left > 0 && m_pieceDelay.count() > 0) {
        const TNetClock::TimePoint arrives = m_clock.Now() + m_pieceDelay;
        if (!deadline.Unlimited() && arrives > deadline.At()) {
            m_clock.AdvanceTo(deadline.At());
            return {0, TNetIoStatus::TimedOut};
        }
        m_clock.AdvanceTo(arrives);
    }
    if (left > 0) {
        const std::size_t n = std::min({count, left, m_pieceSize});
        std::memcpy(data, m_input.data() + m_taken, n);
        m_taken += n;
        return {n, TNetIoStatus::Done};
    }
    if (m_atEnd == AtEnd::Close) {
        return {0, TNetIoStatus::Done};
    }
    if (deadline.Unlimited()) {
        throw std::logic_error("a silent memory stream would be waited on for ever");
    }
    m_clock.AdvanceTo(deadline.At());
    return {0, TNetIoStatus::TimedOut};
}

TNetIoResult TNetMemoryByteStream::Send(const char* data, std::size_t count, const TNetDeadline&) {
    m_sent.append(data, count);
    return {count, TNetIoStatus::Done};
}

} // namespace net
