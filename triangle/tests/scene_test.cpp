// The picture of one paint as plain data: where each text and line goes, in which font and pen, and
// what the texts say for the values of the moment.
#include "FakeMeasure.h"
#include "Scene.h"
#include "TriangleModel.h"
#include "platform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace trekant;
using scenetest::FakeMeasure;
using scenetest::kH;
using scenetest::kW;
using scenetest::utf8;

namespace {

class SceneTest : public ::testing::Test {
protected:
    void SetUp() override { resetQuantities(); }
    void TearDown() override { resetQuantities(); }

    Scene paint() { return BuildScene(geometry, measure); }

    template <typename Item> static std::vector<Item> itemsOf(const Scene& scene) {
        std::vector<Item> result;
        for (const SceneItem& item : scene.items)
            if (const auto* found = std::get_if<Item>(&item))
                result.push_back(*found);
        return result;
    }
    static std::vector<Text> texts(const Scene& scene) { return itemsOf<Text>(scene); }
    static std::vector<Polyline> lines(const Scene& scene) { return itemsOf<Polyline>(scene); }
    static bool hasText(const Scene& scene, const std::string& text) {
        const auto all = texts(scene);
        return std::any_of(all.begin(), all.end(), [&](const Text& t) { return t.utf8 == text; });
    }

    Geometry geometry;
    FakeMeasure measure;
};

} // namespace

TEST_F(SceneTest, FirstPaintWritesPanelAndLabels) {
    const Scene scene = paint();
    EXPECT_EQ(measure.measured, PanelFont(true)) << "the panel font is measured";
    EXPECT_EQ(geometry.tegnbredde, kW);
    EXPECT_EQ(geometry.linjehoyde, kH);
    const int w = kW, h = kH, L = 700, T = 100;
    const Font underline = PanelFont(true), plain = PanelFont(false), label = LabelFont();
    EXPECT_EQ(underline, (Font{"Verdana", 12, 0, false, true}));
    EXPECT_EQ(label, (Font{"Courier New", 10, 0, true, false}));
    struct Expected {
        int x, y;
        std::u8string_view text;
        const Font& font;
    };
    const Expected expected[] = {
        {L, T, u8"Pytagoras:", underline},
        {L, T + h, u8"Z²=X²+Y²", plain},
        {L, T + 2 * h, u8"Z²=200²+100²", plain},
        {L, T + 3 * h, u8"Z=   40000+10000", plain},
        {L, T + 4 * h, u8"Z=223.61", plain},
        {L, T + 6 * h, u8"Vinkler:", underline},
        {L, T + 7 * h, u8"a=Sin(Y/Z)*Y", plain},
        {L, T + 8 * h, u8"a=Sin(100/223.61)*100", plain},
        {L, T + 9 * h, u8"a=Sin(0.45)*100", plain},
        {L, T + 10 * h, u8"a=26.57°", plain},
        {L, T + 12 * h, u8"b=c-a", plain},
        {250 - 6 * w, 420 + h, u8"a = 26.57°", label},
        {450, 220 - 3 * h, u8"b = 63.43°", label},
        {450 + 2 * w, 420 + h / 2, u8"c = 90°", label},
        {350 - 2 * w, 420 + h / 2, u8"X = 200", label},
        {450 + 2 * w, 320, u8"Y = 100", label},
        {350 - 3 * w, 320 - 3 * h, u8"Z = 223.6", label},
    };
    const auto drawn = texts(scene);
    ASSERT_EQ(drawn.size(), std::size(expected));
    for (std::size_t i = 0; i < drawn.size(); ++i) {
        const std::string text = utf8(expected[i].text);
        EXPECT_EQ(drawn[i].utf8, text);
        EXPECT_EQ(drawn[i].topLeft, (Point{expected[i].x, expected[i].y})) << text;
        EXPECT_EQ(drawn[i].font, expected[i].font) << text;
        EXPECT_EQ(drawn[i].angle, 0) << text;
        EXPECT_EQ(drawn[i].background, TextBackground::Opaque) << text;
    }

    // The root sign over the blanks of "Z=   ", then outline, right-angle mark and squares.
    const int x0 = L + w + w / 2, y0 = T + 3 * h + w / 2;
    EXPECT_EQ(geometry.rotpunkt, (Point{x0, y0})) << "half the character width down, not half the line";
    const std::vector<Point> root{
        {x0, y0}, {x0 + w / 2, y0 + h / 2}, {x0 + w - w / 4, y0 - h / 2 + h / 10}, {x0 + 8 * w, y0 - h / 2 + h / 10}};
    const std::vector<Point> mark{{450 - h, 420}, {450 - h, 420 - h}, {450, 420 - h}};
    const std::vector<Point> squares{{250, 420}, {250, 620}, {450, 620}, {450, 420}, {650, 420},
                                     {650, 220}, {450, 220}, {250, 20},  {50, 220},  {250, 420}};
    const auto drawnLines = lines(scene);
    ASSERT_EQ(drawnLines.size(), 4u);
    EXPECT_EQ(drawnLines[0].points, root);
    EXPECT_EQ(drawnLines[0].pen, (Pen{kBlack, 1, false}));
    EXPECT_EQ(drawnLines[1].points, (std::vector<Point>{{250, 420}, {450, 220}, {450, 420}, {250, 420}}));
    EXPECT_EQ(drawnLines[1].pen, (Pen{kNavy, 2, true}));
    EXPECT_EQ(drawnLines[2].points, mark);
    EXPECT_EQ(drawnLines[2].pen, (Pen{kNavy, 1, true}));
    EXPECT_EQ(drawnLines[3].points, squares);
    EXPECT_EQ(drawnLines[3].pen, (Pen{kGray, 1, true}));
    EXPECT_TRUE(std::holds_alternative<Polyline>(scene.items[11])) << "the root sign ends the panel";
}

TEST_F(SceneTest, TextsFollowTheValuesTheFigureDoesNot) {
    const auto figure = lines(paint());
    const struct {
        const char* name;
        double X, Y;
        std::vector<std::u8string_view> shown;
    } rows[] = {
        {"after angle a 30", 173.20508075688772, 100, {u8"a = 30°", u8"b = 60°", u8"X = 173.21", u8"Z = 200.0"}},
        {"X = 0", 0, 100, {u8"a = 90°", u8"b = 0°", u8"Z=100"}},
        {"both legs 0",
         0,
         0,
         {u8"Z=0", u8"a=Sin(0/0)*0", u8"a=Sin(udefinert)*0", u8"a=-1°", u8"b = 91°", u8"Z = 0.0", u8"b=c-a"}},
        {"huge leg", 1e200, 100, {u8"Z=   ∞+10000", u8"X = 1E+200", u8"Z=∞", u8"Z = ∞", u8"a=0°"}},
        {"negative leg", -200, 100, {u8"Z²=-200²+100²", u8"X = -200"}},
    };
    for (const auto& row : rows) {
        quantities().X = row.X;
        quantities().Y = row.Y;
        const Scene scene = paint();
        for (const auto text : row.shown)
            EXPECT_TRUE(hasText(scene, utf8(text))) << row.name << ": " << utf8(text);
        const auto drawn = lines(scene);
        ASSERT_EQ(drawn.size(), figure.size()) << row.name;
        for (std::size_t i = 1; i < drawn.size(); ++i)
            EXPECT_EQ(drawn[i].points, figure[i].points) << row.name << ": the figure never moves";
    }
}

TEST(RotatedText, TurnedTahomaOnAClearBackgroundCutTo255) {
    const Text text = RotatedText(90, 200, 210, std::string(300, 'x'));
    EXPECT_EQ(text.topLeft, (Point{200, 210}));
    EXPECT_EQ(text.angle, 90);
    EXPECT_EQ(text.utf8, std::string(255, 'x'));
    EXPECT_EQ(text.font, (Font{"Tahoma", 0, 20, false, false})) << "a 20-pixel cell";
    EXPECT_EQ(text.background, TextBackground::Clear);

    // Cut as the program's own text, then UTF-8: 255 letters "æ" of the ANSI code page on Windows, 127 of
    // UTF-8's two bytes each elsewhere.
    std::string ae;
    platform::textFromUtf8("\xC3\xA6", ae);
    std::string cut;
    for (int i = 0; i < (ae.size() == 1 ? 255 : 127); ++i)
        cut += "\xC3\xA6";
    std::string letters;
    for (int i = 0; i < 300; ++i)
        letters += ae;
    EXPECT_EQ(RotatedText(0, 0, 0, letters).utf8, cut);
}
