#include "ProgressLine.h"

#include "Terminal.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

// Redrawing more often than this only costs time: nobody reads faster.
constexpr std::chrono::milliseconds kRedrawInterval{100};

// Bytes in the units of the decimal prefixes with one decimal. The point is always ".", whatever the
// locale's printf would make of it.
std::string bytesText(double bytes) {
    static const char* const units[] = {"B", "kB", "MB", "GB", "TB"};
    int unit = 0;
    while (bytes >= 999.95 && unit < 4) {
        bytes /= 1000;
        ++unit;
    }
    if (unit == 0) {
        return std::to_string(std::llround(bytes)) + " B";
    }
    const long long tenths = std::llround(bytes * 10);
    return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " " + units[unit];
}

// "priser.csv  1.2 MB av 4.8 MB  25 %  9.6 MB/s"; without a known size only the count and the speed.
std::string lineText(const std::string& fileName, std::int64_t count, std::int64_t maximum, double seconds) {
    std::string text = fileName + "  " + bytesText(double(count));
    if (maximum >= 0) {
        const std::int64_t percent = maximum == 0 ? 100 : std::min(count, maximum) * 100 / maximum;
        text += " av " + bytesText(double(maximum)) + "  " + std::to_string(percent) + " %";
    }
    if (seconds > 0) {
        text += "  " + bytesText(double(count) / seconds) + "/s";
    }
    return text;
}

} // namespace

ProgressLine::ProgressLine(std::FILE* out) : m_out(out) {}

void ProgressLine::transferStarted(const std::string& fileName) {
    m_fileName = fileName;
    m_count = 0;
    m_maximum = -1;
    m_retry.clear();
    m_start = Clock::now();
}

void ProgressLine::sizeKnown(std::int64_t size) {
    m_maximum = size;
}

void ProgressLine::progressed(std::int64_t count, std::int64_t maximum) {
    m_count = count;
    m_maximum = maximum;
    if (!m_drawing || Clock::now() - m_drawn >= kRedrawInterval) {
        draw();
    }
}

void ProgressLine::retrying(int retry, int retries, std::int64_t count) {
    m_retry = "  (nytt forsøk " + std::to_string(retry) + " av " + std::to_string(retries) + ")";
    m_count = count;
    draw();
}

void ProgressLine::transferFinished(ftpunit::WindowAfter) {
    if (!m_drawing) {
        return;
    }
    draw();
    WriteText(m_out, "\n");
    m_drawing = false;
    m_width = 0;
}

void ProgressLine::draw() {
    m_drawn = Clock::now();
    const std::string text =
        lineText(m_fileName, m_count, m_maximum, std::chrono::duration<double>(m_drawn - m_start).count()) + m_retry;
    // Blanks over the end of a longer line drawn before.
    const std::string blanks(m_width > text.size() ? m_width - text.size() : 0, ' ');
    WriteText(m_out, "\r" + text + blanks);
    m_width = text.size();
    m_drawing = true;
}
