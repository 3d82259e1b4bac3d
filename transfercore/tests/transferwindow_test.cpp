// The transfer window without its widgets: the bar's units and clamping, the paint pace, and what the
// window is told along a transfer.
#include "TransferWindow.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

namespace {

using ftpunit::TransferWindowModel;
using namespace std::chrono_literals;

// Each call the window gets, as one line.
class RecordedView : public ftpunit::TransferWindowView {
public:
    void showWindow() override { calls.push_back("show"); }
    void hideWindow() override { calls.push_back("hide"); }
    void showFileName(const std::string& name) override { calls.push_back("file " + name); }
    void showProgress(int barMaximum, int barPosition, const std::string& countText) override {
        calls.push_back("bar " + std::to_string(barPosition) + "/" + std::to_string(barMaximum) + " " + countText);
    }
    void showState(const std::string& text) override { calls.push_back("state " + text); }
    void repaintWindow() override { calls.push_back("repaint"); }
    void letPaintsThrough() override { calls.push_back("paints"); }
    std::vector<std::string> calls;
};

} // namespace

TEST(TransferWindowModel, BarUnitsPastTwoGigabytesAndClamping) {
    const struct {
        const char* name;
        std::int64_t maximum;
        std::int64_t position;
        int barMaximum;
        int barPosition;
    } rows[] = {
        {"small file", 100000, 50000, 100000, 50000},
        {"int's range exactly", INT_MAX, INT_MAX, INT_MAX, INT_MAX},
        {"one byte past: halves", std::int64_t(INT_MAX) + 1, 1 << 20, 1 << 30, 1 << 19},
        {"3 GiB", (3LL << 30) + 12345, (3LL << 29), int(((3LL << 30) + 12345) >> 1), int(3LL << 28)},
        {"past the size: full", 1000, 5000, 1000, 1000},
        {"below 0: empty", 1000, -5, 1000, 0},
        {"empty file", 0, 10, 0, 0},
    };
    for (const auto& row : rows) {
        TransferWindowModel model;
        ASSERT_TRUE(model.setMaximum(row.maximum)) << row.name;
        model.setPosition(row.position);
        EXPECT_EQ(model.barMaximum(), row.barMaximum) << row.name;
        EXPECT_EQ(model.barPosition(), row.barPosition) << row.name;
    }

    TransferWindowModel model;
    model.setMaximum(1000);
    model.setPosition(700);
    EXPECT_FALSE(model.setMaximum(-1));
    EXPECT_EQ(model.maximum(), 1000) << "a negative size changes nothing";
    model.setMaximum(500);
    EXPECT_EQ(model.position(), 500) << "a smaller size clamps the position";
    model.setCount(3221237817);
    EXPECT_EQ(model.countText(), "3221237817") << "the true count, not clamped";
    EXPECT_EQ(model.stateText(), "Klar");
}

TEST(TransferWindowModel, ProgressIsPaintedAtMostEvery40Milliseconds) {
    TransferWindowModel model;
    const auto start = TransferWindowModel::Clock::time_point{} + 1h;
    EXPECT_TRUE(model.repaintDue(start, false)) << "the first is due";
    EXPECT_FALSE(model.repaintDue(start + 39ms, false));
    EXPECT_TRUE(model.repaintDue(start + 39ms, true)) << "forced";
    EXPECT_FALSE(model.repaintDue(start + 78ms, false)) << "counted from the forced one";
    EXPECT_TRUE(model.repaintDue(start + 79ms, false));
}

TEST(TransferWindow, TellsTheViewWhatATransferShows) {
    RecordedView view;
    ftpunit::TransferWindow window(view);
    const std::int64_t size = (3LL << 30) + 12345;
    window.transferStarted("tabell.txt");
    window.connecting("ftp.example", "kari");
    window.sizeKnown(size);
    window.stateChanged("Laster ned data");
    window.progressed(size / 2, size);
    window.progressed(size / 2 + 1, size); // within the pace: not painted
    window.progressed(size, size);         // the end: always painted
    window.transferFinished(ftpunit::WindowAfter::Close);
    const std::string half = std::to_string(int((size / 2) >> 1)), full = std::to_string(int(size >> 1));
    EXPECT_EQ(view.calls, (std::vector<std::string>{
                              "show",
                              "file tabell.txt",
                              "bar 0/100 0",
                              "repaint",
                              "bar 0/" + full + " 0",
                              "state Laster ned data",
                              "bar " + half + "/" + full + " " + std::to_string(size / 2),
                              "paints",
                              "bar " + full + "/" + full + " 3221237817",
                              "paints",
                              "bar " + full + "/" + full + " 3221237817",
                              "paints",
                              "hide",
                          }));
    EXPECT_EQ(window.model().stateText(), "Laster ned data");

    view.calls.clear();
    window.transferFinished(ftpunit::WindowAfter::StayShown);
    EXPECT_EQ(view.calls.back(), "paints") << "the window stays shown";
}
