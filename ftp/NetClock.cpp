#include "NetClock.h"

#include <algorithm>

namespace net {

TNetClock& SystemClock() {
    static TNetSystemClock clock;
    return clock;
}

TNetDeadline TNetDeadline::After(const TNetClock& clock, std::chrono::milliseconds timeout) {
    const TNetClock::TimePoint now = clock.Now();
    return timeout.count() > 0 ? TNetDeadline(clock, now + timeout, false) : TNetDeadline(clock, now, true);
}

long long TNetDeadline::MillisecondsLeft() const {
    if (m_unlimited) {
        return -1;
    }
    return std::max<long long>(0, std::chrono::ceil<std::chrono::milliseconds>(m_at - m_clock->Now()).count());
}

TNetDeadline TNetDeadline::Earlier(const TNetDeadline& other) const {
    if (m_unlimited) {
        return other;
    }
    if (other.m_unlimited) {
        return *this;
    }
    return m_at <= other.m_at ? *this : other;
}

} // namespace net
