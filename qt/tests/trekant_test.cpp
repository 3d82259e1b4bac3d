#include "Prompt.h"
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
        resetQuantities();
        input::setPromptDialog([this](const input::Prompt& p) -> std::optional<std::string> {
            asked.push_back({p.prompt, p.proposed});
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
        input::setPromptDialog(nullptr);
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

TEST_F(TriangleWindow, FirstPaintDrawsTheSceneInQtsMeasures) {
    const Geometry& geometry = form->drawingGeometry();
    const int w = geometry.tegnbredde;
    const int h = geometry.linjehoyde;
    EXPECT_GT(w, 5);
    EXPECT_GT(h, 10);
    const auto& drawn = form->drawnTexts();
    ASSERT_EQ(drawn.size(), 17u);
    EXPECT_EQ(drawn[2].text, QString::fromUtf8("Z²=200²+100²"));
    EXPECT_EQ(drawn[2].pos, QPoint(700, 100 + 2 * h));
    EXPECT_EQ(drawn[11].text, QString::fromUtf8("a = 26.57°"));
    EXPECT_EQ(drawn[11].pos, QPoint(250 - 6 * w, 420 + h));
    // The root sign's bar runs over the numbers.
    const QImage image = picture();
    const QPoint bar(geometry.rotpunkt.x + 4 * w, geometry.rotpunkt.y - h / 2 + h / 10);
    EXPECT_EQ(image.pixelColor(bar), QColor(Qt::black));
}

TEST_F(TriangleWindow, FigurePixels) {
    const QImage image = picture();
    const QColor navy(0, 0, 128), gray(128, 128, 128);
    EXPECT_EQ(image.pixelColor(350, 420), navy) << "leg X";
    EXPECT_EQ(image.pixelColor(450, 320), navy) << "leg Y";
    EXPECT_EQ(image.pixelColor(350, 320), navy) << "hypotenuse";
    EXPECT_EQ(image.pixelColor(350, 419), navy) << "outline is two pixels wide";
    EXPECT_EQ(image.pixelColor(450 - form->drawingGeometry().linjehoyde, 410), navy) << "right-angle mark";
    EXPECT_EQ(image.pixelColor(250, 600), gray) << "square on X";
    EXPECT_EQ(image.pixelColor(350, 620), gray);
    EXPECT_EQ(image.pixelColor(650, 320), gray) << "square on Y";
    EXPECT_EQ(image.pixelColor(550, 220), gray);
    EXPECT_EQ(image.pixelColor(150, 120), gray) << "square on Z";
    EXPECT_EQ(image.pixelColor(150, 320), gray);
}

TEST_F(TriangleWindow, MenuItemsRunTheirCommandsAndTheFigureNeverMoves) {
    const QImage figure = picture();
    const std::vector<QRect> figureTexts = textBoxes();
    const struct {
        QAction* TPytagorasForm::*item;
        const char* answer;
        const char* prompt;
        bool repaints;
        const char* error;
    } rows[] = {
        {&TPytagorasForm::vinkela1, "30", "Vinkel a:", true, ""},
        {&TPytagorasForm::vinkelb1, "60", "Vinkel b:", true, ""},
        {&TPytagorasForm::vinkela1, "0", "Vinkel a:", false, "Floating point division by zero"},
        {&TPytagorasForm::Katet1, "abc", "Lengde X", true, ""},
        {&TPytagorasForm::Katet2, "-100", "Lengde Y", true, ""},
        {&TPytagorasForm::HypotenusZ1, "150", "Lengde Z", true, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.prompt) + " " + row.answer);
        asked.clear();
        errors.clear();
        answer = row.answer;
        const int before = paints();
        (form.get()->*row.item)->trigger();
        ASSERT_EQ(asked.size(), 1u);
        EXPECT_EQ(asked[0].prompt, row.prompt);
        EXPECT_EQ(paints() - before, row.repaints ? 1 : 0) << "repainted before the command returned";
        EXPECT_EQ(errors, *row.error ? std::vector<std::string>{row.error} : std::vector<std::string>{});
        form->PytagorasBox->repaint();
        EXPECT_EQ(figureDifferences(figure, figureTexts, picture(), textBoxes()), 0) << "the figure never moves";
    }
    EXPECT_TRUE(hasText("Y = -100"));
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

TEST(PrintRotated, DrawsTheTextTurnedCounterClockwise) {
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
