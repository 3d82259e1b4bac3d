// The progress of a transfer as one line on a terminal, redrawn in place: bytes moved, of how many,
// the per cent and the average speed, as command-line downloaders show it.
#pragma once

#include "ftptransfer.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

class ProgressLine : public ftpunit::TransferObserver {
public:
    // Draws on `out`, which should be a terminal: elsewhere the carriage returns would only clutter.
    explicit ProgressLine(std::FILE* out);

    void transferStarted(const std::string& fileName) override;
    void sizeKnown(std::int64_t size) override;
    void progressed(std::int64_t count, std::int64_t maximum) override;
    // The line goes on from where the download broke and says which retry runs: "(nytt forsøk 1 av 3)".
    void retrying(int retry, int retries, std::int64_t count) override;
    // Draws the last count and ends the line, so that whatever follows starts a line of its own.
    void transferFinished(ftpunit::WindowAfter after) override;

private:
    using Clock = std::chrono::steady_clock;
    void draw();

    std::FILE* m_out;
    std::string m_fileName;
    std::int64_t m_count = 0;
    std::int64_t m_maximum = -1;
    std::string m_retry; // the retry running, as the line ends with it; empty before any
    Clock::time_point m_start;
    Clock::time_point m_drawn;
    bool m_drawing = false;  // a line is on the screen and not ended yet
    std::size_t m_width = 0; // of the text drawn last, to blank out what a shorter one leaves
};
