#include "TestApp.h"
#include "input.h"
#include "trekant.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <QScreen>
#include <QTest>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

using namespace trekant;

namespace {

struct Asked {
    std::string prompt;
    std::string proposed;
};

class TriangleWindow : public ::testing::Test {
protected:
    void SetUp() override {
        testapp::app();
        resetQuantities();
        input::setLesInputOverride([this](const std::string& prompt, const std::string& proposed) {
            asked.push_back({prompt, proposed});
            return answer;
        });
        form = std::make_unique<TPytagorasForm>();
        form->setErrorDisplay([this](const std::string& message) { errors.push_back(message); });
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
        form->PytagorasBox->repaint();
    }
    void TearDown() override {
        form.reset();
        input::setLesInputOverride({});
        resetQuantities();
    }

    int paints() const { return form->PytagorasBox->paintCount(); }

    std::vector<std::string> texts() const {
        std::vector<std::string> result;
        for (const auto& t : form->drawnTexts())
            result.push_back(t.text.toStdString());
        return result;
    }

    bool hasText(const std::string& text) const {
        for (const auto& t : texts())
            if (t == text)
                return true;
        return false;
    }

    QImage picture() const { return form->PytagorasBox->grab().toImage().convertToFormat(QImage::Format_RGB32); }

    std::vector<QRect> textBoxes() const {
        std::vector<QRect> boxes;
        for (const auto& t : form->drawnTexts())
            boxes.push_back(t.bounds.adjusted(-1, -1, 1, 1));
        return boxes;
    }

    // Pixels of the left part (the figure) that differ, outside the texts of either paint.
    static int figureDifferences(const QImage& before, const std::vector<QRect>& beforeTexts, const QImage& after,
                                 const std::vector<QRect>& afterTexts) {
        auto inText = [&](QPoint p) {
            for (const auto* boxes : {&beforeTexts, &afterTexts})
                for (const auto& r : *boxes)
                    if (r.contains(p))
                        return true;
            return false;
        };
        int differences = 0;
        for (int y = 0; y < before.height(); ++y)
            for (int x = 0; x < 690; ++x)
                if (before.pixel(x, y) != after.pixel(x, y) && !inText({x, y}))
                    ++differences;
        return differences;
    }

    std::unique_ptr<TPytagorasForm> form;
    std::vector<Asked> asked;
    std::vector<std::string> errors;
    std::string answer;
};

} // namespace

TEST_F(TriangleWindow, WindowSizeCaptionAndPlace) {
    EXPECT_EQ(form->windowTitle(), "Pytagoras");
    EXPECT_EQ(form->frameGeometry().size(), QSize(950, 700));
    const QRect screen = form->screen()->availableGeometry();
    const QPoint centred = screen.topLeft() + QPoint((screen.width() - 950) / 2, (screen.height() - 700) / 2);
    // The frame is known only once the platform has framed the window.
    EXPECT_TRUE(QTest::qWaitFor([&] { return form->frameGeometry().topLeft() == centred; }, 2000))
        << form->frameGeometry().x() << "," << form->frameGeometry().y();
    EXPECT_EQ(form->frameGeometry().size(), QSize(950, 700));
    EXPECT_EQ(picture().pixelColor(5, 5), QColor(Qt::white));
}

TEST_F(TriangleWindow, FirstPaintWritesPanelAndLabels) {
    const int w = form->tegnbredde;
    const int h = form->linjehoyde;
    EXPECT_GT(w, 5);
    EXPECT_GT(h, 10);
    const int L = 700, T = 100;
    struct Expected {
        int x, y;
        const char* text;
    };
    const Expected expected[] = {
        {L, T, "Pytagoras:"},
        {L, T + h, "Z²=X²+Y²"},
        {L, T + 2 * h, "Z²=200²+100²"},
        {L, T + 3 * h, "Z=   40000+10000"},
        {L, T + 4 * h, "Z=223.61"},
        {L, T + 6 * h, "Vinkler:"},
        {L, T + 7 * h, "a=Sin(Y/Z)*Y"},
        {L, T + 8 * h, "a=Sin(100/223.61)*100"},
        {L, T + 9 * h, "a=Sin(0.45)*100"},
        {L, T + 10 * h, "a=26.57°"},
        {L, T + 12 * h, "b=c-a"},
        {250 - 6 * w, 420 + h, "a = 26.57°"},
        {450, 220 - 3 * h, "b = 63.43°"},
        {450 + 2 * w, 420 + h / 2, "c = 90°"},
        {350 - 2 * w, 420 + h / 2, "X = 200"},
        {450 + 2 * w, 320, "Y = 100"},
        {350 - 3 * w, 320 - 3 * h, "Z = 223.6"},
    };
    const auto& drawn = form->drawnTexts();
    ASSERT_EQ(drawn.size(), std::size(expected));
    for (std::size_t i = 0; i < drawn.size(); ++i) {
        EXPECT_EQ(drawn[i].text.toStdString(), expected[i].text);
        EXPECT_EQ(drawn[i].pos, QPoint(expected[i].x, expected[i].y)) << expected[i].text;
    }
    EXPECT_EQ(form->rotpunkt, QPoint(L + w + w / 2, T + 3 * h + w / 2));
    // The root sign's bar runs over the numbers.
    const QImage image = picture();
    const QPoint bar(form->rotpunkt.x() + 4 * w, form->rotpunkt.y() - h / 2 + h / 10);
    EXPECT_EQ(image.pixelColor(bar), QColor(Qt::black));
}

TEST_F(TriangleWindow, FigurePixels) {
    const QImage image = picture();
    const QColor navy(0, 0, 128), gray(128, 128, 128);
    EXPECT_EQ(image.pixelColor(350, 420), navy) << "leg X";
    EXPECT_EQ(image.pixelColor(450, 320), navy) << "leg Y";
    EXPECT_EQ(image.pixelColor(350, 320), navy) << "hypotenuse";
    EXPECT_EQ(image.pixelColor(350, 419), navy) << "outline is two pixels wide";
    EXPECT_EQ(image.pixelColor(450 - form->linjehoyde, 410), navy) << "right-angle mark";
    EXPECT_EQ(image.pixelColor(250, 600), gray) << "square on X";
    EXPECT_EQ(image.pixelColor(350, 620), gray);
    EXPECT_EQ(image.pixelColor(650, 320), gray) << "square on Y";
    EXPECT_EQ(image.pixelColor(550, 220), gray);
    EXPECT_EQ(image.pixelColor(150, 120), gray) << "square on Z";
    EXPECT_EQ(image.pixelColor(150, 320), gray);
}

TEST_F(TriangleWindow, CommandsThroughTheMenu) {
    const QImage figure = picture();
    const std::vector<QRect> figureTexts = textBoxes();
    const struct {
        const char* name;
        QAction* TPytagorasForm::*item;
        const char* answer;
        const char* prompt;
        const char* proposed;
        bool repaints;
        const char* error;
        const char* labelAfter;
    } rows[] = {
        {"angle a 30", &TPytagorasForm::vinkela1, "30", "Vinkel a:", "26.57", true, "", "X = 173.21"},
        {"angle a cancel", &TPytagorasForm::vinkela1, "", "Vinkel a:", "30", false, "", "X = 173.21"},
        {"angle b 60", &TPytagorasForm::vinkelb1, "60", "Vinkel b:", "60", true, "", "b = 60°"},
        {"angle a 0", &TPytagorasForm::vinkela1, "0", "Vinkel a:", "30", false, "Floating point division by zero",
         "a = 30°"},
        {"angle a -30", &TPytagorasForm::vinkela1, "-30", "Vinkel a:", "30", false, "Invalid floating point operation",
         "X = 173.21"},
        {"angle a 90", &TPytagorasForm::vinkela1, "90", "Vinkel a:", "30", true, "", "b = 0°"},
        {"leg X abc", &TPytagorasForm::Katet1, "abc", "Lengde X", "0", true, "", "a = 90°"},
        {"leg X 200", &TPytagorasForm::Katet1, "200", "Lengde X", "0", true, "", "Z = 223.6"},
        {"leg X cancel", &TPytagorasForm::Katet1, "", "Lengde X", "200", true, "", "X = 200"},
        {"leg Y negative", &TPytagorasForm::Katet2, "-100", "Lengde Y", "100", true, "", "Y = -100"},
        {"leg Y cancel", &TPytagorasForm::Katet2, "", "Lengde Y", "-100", true, "", "Y = -100"},
        {"leg Y back", &TPytagorasForm::Katet2, "100", "Lengde Y", "-100", true, "", "Y = 100"},
        {"hypotenuse 150", &TPytagorasForm::HypotenusZ1, "150", "Lengde Z", "223.61", true, "", "X = 111.8"},
        {"hypotenuse 50", &TPytagorasForm::HypotenusZ1, "50", "Lengde Z", "150", true, "", "Z = 132.3"},
        {"hypotenuse cancel", &TPytagorasForm::HypotenusZ1, "", "Lengde Z", "132.29", true, "", "X = 86.6"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        asked.clear();
        errors.clear();
        answer = row.answer;
        const int before = paints();
        (form.get()->*row.item)->trigger();
        ASSERT_EQ(asked.size(), 1u);
        EXPECT_EQ(asked[0].prompt, row.prompt);
        EXPECT_EQ(asked[0].proposed, row.proposed);
        EXPECT_EQ(paints() - before, row.repaints ? 1 : 0);
        if (*row.error)
            EXPECT_EQ(errors, std::vector<std::string>{row.error});
        else
            EXPECT_TRUE(errors.empty());
        form->PytagorasBox->repaint();
        EXPECT_TRUE(hasText(row.labelAfter)) << row.labelAfter;
        EXPECT_EQ(figureDifferences(figure, figureTexts, picture(), textBoxes()), 0) << "the figure never moves";
    }
}

TEST_F(TriangleWindow, AngleThirtyShowsInTheLabels) {
    answer = "30";
    form->vinkela1Click();
    EXPECT_TRUE(hasText("a = 30°"));
    EXPECT_TRUE(hasText("b = 60°"));
    EXPECT_TRUE(hasText("X = 173.21"));
    EXPECT_TRUE(hasText("Y = 100"));
    EXPECT_TRUE(hasText("Z = 200.0"));
}

TEST_F(TriangleWindow, PlainAIsTheMenuShortcutShiftAReachesTheKeyHandler) {
    QWindow* window = form->windowHandle();
    answer = "";
    int before = paints();
    QTest::keyClick(window, Qt::Key_A);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].prompt, "Vinkel a:");
    EXPECT_EQ(paints(), before) << "the menu command does not repaint after Cancel";

    for (auto modifier : {Qt::ShiftModifier, Qt::ControlModifier}) {
        asked.clear();
        before = paints();
        QTest::keyClick(window, Qt::Key_A, modifier);
        ASSERT_EQ(asked.size(), 1u);
        EXPECT_EQ(asked[0].prompt, "Vinkel a:");
        // The modifier's own key press reaches the handler too and repaints.
        EXPECT_EQ(paints(), before + 2) << "the key handler repaints after every key";
    }

    answer = "30";
    asked.clear();
    before = paints();
    QTest::keyClick(window, Qt::Key_A, Qt::ShiftModifier);
    EXPECT_EQ(paints(), before + 2) << "Shift, then A once: not once for the command and once for the key";
    EXPECT_TRUE(hasText("a = 30°"));
}

TEST_F(TriangleWindow, OtherShortcutsAndKeys) {
    QWindow* window = form->windowHandle();
    const struct {
        Qt::Key key;
        const char* prompt;
    } shortcuts[] = {
        {Qt::Key_B, "Vinkel b:"}, {Qt::Key_X, "Lengde X"}, {Qt::Key_Y, "Lengde Y"}, {Qt::Key_Z, "Lengde Z"}};
    for (const auto& s : shortcuts) {
        asked.clear();
        QTest::keyClick(window, s.key);
        ASSERT_EQ(asked.size(), 1u) << s.prompt;
        EXPECT_EQ(asked[0].prompt, s.prompt);
    }

    asked.clear();
    const int before = paints();
    QTest::keyClick(window, Qt::Key_Left);
    EXPECT_TRUE(asked.empty());
    EXPECT_EQ(paints(), before + 1) << "an arrow key only repaints";

    // The key handler's error ends it before its repaint.
    answer = "0";
    const int beforeError = paints();
    QTest::keyClick(window, Qt::Key_A, Qt::ShiftModifier);
    EXPECT_EQ(errors, std::vector<std::string>{"Floating point division by zero"});
    EXPECT_EQ(paints(), beforeError + 1) << "only the Shift key's repaint";

    QTest::keyClick(window, Qt::Key_Q, Qt::ControlModifier);
    EXPECT_FALSE(form->isVisible()) << "Ctrl+Q closes the window";
}

TEST_F(TriangleWindow, BothLegsZeroAndHugeLegsStillPaint) {
    quantities().X = 0;
    quantities().Y = 0;
    form->PytagorasBox->repaint();
    EXPECT_TRUE(hasText("Z=0"));
    EXPECT_TRUE(hasText("a=Sin(0/0)*0"));
    EXPECT_TRUE(hasText("a=Sin(udefinert)*0"));
    EXPECT_TRUE(hasText("a=-1°"));
    EXPECT_TRUE(hasText("b = 91°"));
    EXPECT_TRUE(hasText("Z = 0.0"));
    EXPECT_TRUE(hasText("b=c-a"));

    quantities().X = 1e200;
    quantities().Y = 100;
    form->PytagorasBox->repaint();
    EXPECT_TRUE(hasText("Z=   ∞+10000"));
    EXPECT_TRUE(hasText("X = 1E+200"));
    EXPECT_TRUE(hasText("Z=∞"));
    EXPECT_TRUE(hasText("Z = ∞"));
    EXPECT_TRUE(hasText("a=0°"));

    quantities().X = -200;
    form->PytagorasBox->repaint();
    EXPECT_TRUE(hasText("Z²=-200²+100²"));
    EXPECT_TRUE(hasText("X = -200"));
}

TEST(PrintRotated, DrawsTheTextTurnedCounterClockwise) {
    testapp::app();
    TPytagorasForm form;
    // Bounding box of the dark pixels the text leaves on a white image.
    auto inkBox = [&](int angle) {
        QImage image(400, 400, QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        form.useCanvas(&painter);
        form.printrotated(angle, 200, 200, "Pytagoras");
        form.useCanvas(nullptr);
        painter.end();
        QRect box;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (qGray(image.pixel(x, y)) < 128)
                    box |= QRect(x, y, 1, 1);
        return box;
    };
    const QRect flat = inkBox(0);
    const QRect turned = inkBox(90);
    ASSERT_FALSE(flat.isEmpty());
    ASSERT_FALSE(turned.isEmpty());
    EXPECT_GT(flat.width(), 3 * flat.height());
    EXPECT_GT(turned.height(), 3 * turned.width());
    EXPECT_GE(flat.top(), 200);
    EXPECT_LT(flat.height(), 21) << "a 20-pixel cell";
    EXPECT_LE(turned.bottom(), 200) << "counter-clockwise: the text runs upwards from (x, y)";
    EXPECT_GE(turned.left(), 200);
    EXPECT_EQ(form.PytagorasBox->font().family(), "Tahoma");
}
