#include "TransferWindow.h"

#include <algorithm>
#include <climits>

namespace ftpunit {

namespace {

// A few dozen frames a second look the same to the user.
constexpr auto kRepaintInterval = std::chrono::milliseconds(40);

} // namespace

// ---- What the controls show ---------------------------------------------------------------------

bool TransferWindowModel::setMaximum(std::int64_t bytes) {
    if (bytes < 0) {
        return false;
    }
    int shift = 0;
    while ((bytes >> shift) > INT_MAX) {
        ++shift;
    }
    m_maximum = bytes;
    m_shift = shift;
    setPosition(m_position);
    return true;
}

void TransferWindowModel::setPosition(std::int64_t bytes) {
    m_position = std::clamp<std::int64_t>(bytes, 0, m_maximum);
}

int TransferWindowModel::barMaximum() const {
    return static_cast<int>(m_maximum >> m_shift);
}

int TransferWindowModel::barPosition() const {
    return static_cast<int>(m_position >> m_shift);
}

std::string TransferWindowModel::countText() const {
    return std::to_string(m_count);
}

bool TransferWindowModel::repaintDue(Clock::time_point now, bool force) {
    if (!force && m_painted && now - m_lastPaint < kRepaintInterval) {
        return false;
    }
    m_painted = true;
    m_lastPaint = now;
    return true;
}

// ---- The window's part in a transfer ----------------------------------------------------------------

TransferWindow::TransferWindow(TransferWindowView& view) : m_view(view) {}

void TransferWindow::transferStarted(const std::string& fileName) {
    m_view.showWindow();
    m_view.showFileName(fileName);
    m_model.setPosition(0);
    m_view.showProgress(m_model.barMaximum(), m_model.barPosition(), m_model.countText());
}

void TransferWindow::connecting(const std::string&, const std::string&) {
    // The settings dialog may have covered the window a moment ago, and no event loop runs to repaint
    // it while the session opens.
    m_view.repaintWindow();
}

void TransferWindow::sizeKnown(std::int64_t size) {
    if (m_model.setMaximum(size)) {
        m_view.showProgress(m_model.barMaximum(), m_model.barPosition(), m_model.countText());
    }
}

void TransferWindow::stateChanged(const std::string& text) {
    m_model.setState(text);
    m_view.showState(text);
}

void TransferWindow::progressed(std::int64_t count, std::int64_t) {
    // The count arrives every 32 KiB; the controls take it at the next repaint.
    m_model.setPosition(count);
    m_model.setCount(count);
    showProgress(count >= m_model.maximum());
}

void TransferWindow::transferFinished(WindowAfter after) {
    // The last count of a transfer that stopped short of the size.
    showProgress(true);
    if (after == WindowAfter::Close) {
        m_view.hideWindow();
    }
}

void TransferWindow::showProgress(bool force) {
    if (!m_model.repaintDue(TransferWindowModel::Clock::now(), force)) {
        return;
    }
    m_view.showProgress(m_model.barMaximum(), m_model.barPosition(), m_model.countText());
    // Paint requests (another window moved away) are only handled by the event loop, which the
    // blocking transfer holds up; user input waits until the transfer is over.
    m_view.letPaintsThrough();
}

} // namespace ftpunit
