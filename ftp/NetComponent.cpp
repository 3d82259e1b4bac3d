#include "NetComponent.h"

namespace net {

namespace {

std::string formatStatus(TNetStatus status, const std::string& argument) {
    switch (status) {
    case stResolving:
        return "Resolving hostname " + argument + ".";
    case stConnecting:
        return "Connecting to " + argument + ".";
    case stConnected:
        return "Connected.";
    case stDisconnecting:
        return "Disconnecting from " + argument + ".";
    case stDisconnected:
        return "Not connected.";
    case stText:
        return argument;
    }
    return argument;
}

} // namespace

void TNetComponent::StartWork(TWorkMode mode, std::int64_t expected) {
    TWorkRecord& work = m_work[mode];
    if (++work.Nesting == 1) {
        work.Expected = expected;
        work.Progress = 0;
        if (OnWorkBegin) {
            OnWorkBegin(*this, mode, expected);
        }
    }
}

void TNetComponent::AddWork(TWorkMode mode, std::int64_t count) {
    TWorkRecord& work = m_work[mode];
    if (work.Nesting > 0) {
        work.Progress += count;
        if (OnWork) {
            OnWork(*this, mode, work.Progress);
        }
    }
}

void TNetComponent::FinishWork(TWorkMode mode) {
    TWorkRecord& work = m_work[mode];
    if (work.Nesting == 1 && OnWorkEnd) {
        OnWorkEnd(*this, mode);
    }
    if (work.Nesting > 0) {
        --work.Nesting;
    }
}

void TNetComponent::ReportStatus(TNetStatus status, const std::string& argument) {
    if (OnStatus) {
        OnStatus(*this, status, formatStatus(status, argument));
    }
}

} // namespace net
