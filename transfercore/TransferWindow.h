// The FTP transfer window without a toolkit: where its controls sit, what they show (the progress in
// bytes on a 32-bit bar, the count, the connection state), how often the progress is painted while a
// transfer blocks the thread, and the transfer's events turned into what the window does. A face
// implements TransferWindowView with its own controls; nothing else.
#pragma once

#include "ftptransfer.h"

#include <chrono>
#include <cstdint>
#include <string>

namespace ftpunit {

// ---- Layout ---------------------------------------------------------------------------------------

struct Place {
    int left;
    int top;
    int width;
    int height;
};
// Outer 225 x 102 at (408, 424) on the maker's platform: a client area of 217 x 75.
inline constexpr int kFormLeft = 408;
inline constexpr int kFormTop = 424;
inline constexpr int kClientWidth = 217;
inline constexpr int kClientHeight = 75;
inline constexpr const char* kDesignCaption = "FTPform";
inline constexpr const char* kDesignFileName = "filnavn.ending";
inline constexpr Place kFileNameLabel{8, 8, 201, 13}; // ftpfil, text centred
inline constexpr Place kProgressBar{8, 32, 201, 16};  // ProgressBar1, smooth
inline constexpr Place kStatusBar{0, 56, 217, 19};    // StatusBar1, along the bottom edge
inline constexpr int kCountPanelWidth = 60;           // panel 0, right-aligned: bytes moved
inline constexpr int kStatePanelWidth = 50;           // panel 1: the connection state
inline constexpr const char* kFirstCount = "0";
inline constexpr const char* kFirstState = "Klar";

// ---- What the controls show ---------------------------------------------------------------------

class TransferWindowModel {
public:
    using Clock = std::chrono::steady_clock;

    // The progress in bytes. The bar counts in int: past 2 GiB, in units of 2^shift bytes. A negative
    // maximum is refused (false) and changes nothing. The position is clamped to 0..maximum, so a
    // server that sends more than it announced leaves the bar full.
    bool setMaximum(std::int64_t bytes);
    void setPosition(std::int64_t bytes);
    std::int64_t maximum() const { return m_maximum; }
    std::int64_t position() const { return m_position; }
    int barMaximum() const;
    int barPosition() const;

    // Panel 0: the bytes moved so far, in decimal without separators; the true count, not clamped.
    void setCount(std::int64_t count) { m_count = count; }
    std::string countText() const;
    // Panel 1: the connection state; "Klar" until the first event, never reset between transfers.
    void setState(std::string text) { m_state = std::move(text); }
    const std::string& stateText() const { return m_state; }

    // Painting for every 32 KiB piece would slow the transfer down: a progress repaint is due when
    // forced (the end, a transfer that stopped short) or when 40 ms have passed since the last one.
    bool repaintDue(Clock::time_point now, bool force);

private:
    std::int64_t m_maximum = 100;
    std::int64_t m_position = 0;
    int m_shift = 0;
    std::int64_t m_count = 0;
    std::string m_state = kFirstState;
    Clock::time_point m_lastPaint{};
    bool m_painted = false;
};

// ---- The window's part in a transfer ----------------------------------------------------------------

// What a face's window does when told; each call repaints what it changed before it returns, because
// no event loop runs while a transfer blocks the thread.
class TransferWindowView {
public:
    virtual ~TransferWindowView() = default;
    // Shows the window (not modally). Going from hidden to shown runs FormShow: the caption becomes
    // ftpserver() and the file-name label is emptied.
    virtual void showWindow() = 0;
    virtual void hideWindow() = 0;
    virtual void showFileName(const std::string& name) = 0;
    // The bar's range and position (in bar units) and panel 0's count.
    virtual void showProgress(int barMaximum, int barPosition, const std::string& countText) = 0;
    virtual void showState(const std::string& text) = 0;
    // The whole window, after a settings dialog may have covered it.
    virtual void repaintWindow() = 0;
    // Lets paint requests through (another window moved away) without taking user input.
    virtual void letPaintsThrough() = 0;
};

// The transfer's events as the window shows them.
class TransferWindow : public TransferObserver {
public:
    explicit TransferWindow(TransferWindowView& view);

    const TransferWindowModel& model() const { return m_model; }

    void transferStarted(const std::string& fileName) override;
    void connecting(const std::string& host, const std::string& user) override;
    void sizeKnown(std::int64_t size) override;
    void stateChanged(const std::string& text) override;
    void progressed(std::int64_t count, std::int64_t maximum) override;
    void transferFinished(WindowAfter after) override;

private:
    void showProgress(bool force);

    TransferWindowView& m_view;
    TransferWindowModel m_model;
};

} // namespace ftpunit
