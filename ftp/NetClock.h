// The clock every wait of the client takes its deadline from: the system's steady clock, or a clock that a
// test moves by hand so that a time-out takes no wall time.
#pragma once

#include <chrono>

namespace net {

class TNetClock {
public:
    using TimePoint = std::chrono::steady_clock::time_point;
    virtual ~TNetClock() = default;
    virtual TimePoint Now() const = 0;
};

class TNetSystemClock final : public TNetClock {
public:
    TimePoint Now() const override { return std::chrono::steady_clock::now(); }
};

// The clock of every connection that is not given another.
TNetClock& SystemClock();

// Stands still until moved. A memory byte stream moves it to the deadline of a wait it cannot satisfy.
class TNetManualClock final : public TNetClock {
public:
    TimePoint Now() const override { return m_now; }
    void Advance(std::chrono::milliseconds by) { m_now += by; }
    void AdvanceTo(TimePoint at) {
        if (at > m_now) {
            m_now = at;
        }
    }

private:
    TimePoint m_now{};
};

// The moment a wait gives up, on one clock; or no limit at all.
class TNetDeadline {
public:
    // timeout from now; a timeout of 0 or less means no limit (an idle time-out of 0 waits for ever).
    static TNetDeadline After(const TNetClock& clock, std::chrono::milliseconds timeout);
    // A deadline that has come already: a wait on it only looks whether something is there.
    static TNetDeadline Now(const TNetClock& clock) { return TNetDeadline(clock, clock.Now(), false); }

    bool Unlimited() const { return m_unlimited; }
    const TNetClock& Clock() const { return *m_clock; }
    TNetClock::TimePoint At() const { return m_at; }
    bool Passed() const { return !m_unlimited && m_clock->Now() >= m_at; }
    // Whole milliseconds left, rounded up so that a wait of that length reaches the deadline; -1 without limit.
    long long MillisecondsLeft() const;
    // The earlier of the two; both must be on the same clock.
    TNetDeadline Earlier(const TNetDeadline& other) const;

private:
    TNetDeadline(const TNetClock& clock, TNetClock::TimePoint at, bool unlimited)
        : m_clock(&clock), m_at(at), m_unlimited(unlimited) {}

    const TNetClock* m_clock;
    TNetClock::TimePoint m_at;
    bool m_unlimited;
};

} // namespace net
