// The base of every connection object: work accounting with its events, and the status event.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace net {

enum TWorkMode : int { wkReceive = 0, wkSend = 1 };

enum TNetStatus : int {
    stResolving = 0,
    stConnecting = 1,
    stConnected = 2,
    stDisconnecting = 3,
    stDisconnected = 4,
    stText = 5
};

class TNetComponent;

using TNetNotifyEvent = std::function<void(TNetComponent& sender)>;
using TNetStatusEvent = std::function<void(TNetComponent& sender, TNetStatus status, const std::string& statusText)>;
using TWorkBeginEvent = std::function<void(TNetComponent& sender, TWorkMode mode, std::int64_t countMax)>;
using TWorkEvent = std::function<void(TNetComponent& sender, TWorkMode mode, std::int64_t count)>;
using TWorkEndEvent = std::function<void(TNetComponent& sender, TWorkMode mode)>;

class TNetBaseComponent {
public:
    TNetBaseComponent() = default;
    virtual ~TNetBaseComponent() = default;
    TNetBaseComponent(const TNetBaseComponent&) = delete;
    TNetBaseComponent& operator=(const TNetBaseComponent&) = delete;
};

class TNetComponent : public TNetBaseComponent {
public:
    struct TWorkRecord {
        std::int64_t Progress = 0;
        std::int64_t Expected = 0;
        std::int32_t Nesting = 0;
    };

    TNetStatusEvent OnStatus;
    TWorkBeginEvent OnWorkBegin;
    TWorkEvent OnWork;
    TWorkEndEvent OnWorkEnd;

    // Only the outermost begin and end of nested work of one mode fire events.
    void StartWork(TWorkMode mode, std::int64_t expected);
    void AddWork(TWorkMode mode, std::int64_t count);
    void FinishWork(TWorkMode mode);
    const TWorkRecord& WorkRecord(TWorkMode mode) const { return m_work[mode]; }

protected:
    void ReportStatus(TNetStatus status, const std::string& argument);

private:
    TWorkRecord m_work[2];
};

} // namespace net
