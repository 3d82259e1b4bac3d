// The picture of the triangle window as plain data. One paint derives Z, a and b from X and Y and
// builds every line and text it draws, in drawing order, asking the toolkit only to measure text.
// A face draws the items with its own painter; nothing here knows a toolkit.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace trekant {

struct Point {
    int x = 0;
    int y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

struct Rgb {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};
inline constexpr Rgb kBlack{0, 0, 0};
inline constexpr Rgb kWhite{255, 255, 255};
inline constexpr Rgb kNavy{0, 0, 128};
inline constexpr Rgb kGray{128, 128, 128};

// A font asked for by its face name; where the face is missing, the system substitutes a look-alike.
struct Font {
    std::string face;
    int pointSize = 0;  // the size in points, or 0 when cellHeight gives it
    int cellHeight = 0; // the height of the character cell (ascent plus descent) in pixels
    bool bold = false;
    bool underline = false;
    friend bool operator==(const Font&, const Font&) = default;
};

struct Pen {
    Rgb color;
    int width = 1;
    bool roundCaps = false; // round caps and joins
    friend bool operator==(const Pen&, const Pen&) = default;
};

// Straight lines through the points, in order.
struct Polyline {
    Pen pen;
    std::vector<Point> points;
};

enum class TextBackground {
    Opaque, // on the window's white, as the panel and the labels are written
    Clear,  // what is under the text stays (the rotated label)
};

struct Text {
    Point topLeft;    // the top-left corner of the text's cell, before any rotation
    std::string utf8; // UTF-8 on every system: each painter converts
    Font font;
    Rgb color = kBlack;
    int angle = 0; // degrees, counter-clockwise about topLeft
    TextBackground background = TextBackground::Opaque;
};

using SceneItem = std::variant<Polyline, Text>;

struct Scene {
    std::vector<SceneItem> items; // in the order they are drawn
};

// What the layout needs of the toolkit: measures in pixels of a text in a font.
class TextMeasure {
public:
    virtual ~TextMeasure() = default;
    virtual int advance(const Font& font, std::string_view utf8) = 0; // the width
    virtual int height(const Font& font, std::string_view utf8) = 0;  // the height of its line
};

// The window's drawing geometry: the fixed corners and panel, and what the last paint measured.
struct Geometry {
    Point hjorneA{250, 420};
    Point hjorneB{450, 220};
    Point hjorneC{450, 420};
    int linjehoyde = 20; // height of "W" in the panel font, measured at every paint
    int tegnbredde = 15; // width of "W" in the panel font, measured at every paint
    int formelVenstre = 700;
    int formelTopp = 100;
    int tykkRamme = 1;
    Point rotpunkt{1, 1}; // start of the root sign, placed at every paint
};

// The fonts of the paint: the panel (Verdana 12 pt), the labels (Courier New 10 pt bold) and the
// rotated text (Tahoma with a 20-pixel cell).
Font PanelFont(bool underline);
Font LabelFont();
Font RotatedFont();

// One whole paint, as PytagorasBoxPaint draws it: TegnFormler (the derivation step UtledVerdier, the
// measure of "W", the panel rows and the root sign), then TegnFigur (outline, right-angle mark,
// squares, labels). The measured sizes and the root sign's start are kept in geometry.
Scene BuildScene(Geometry& geometry, TextMeasure& measure);
void TegnFormler(Scene& scene, Geometry& geometry, TextMeasure& measure);
void TegnRottegn(Scene& scene, Geometry& geometry);
void TegnFigur(Scene& scene, const Geometry& geometry);

// What printrotated writes: text, a text of the program's own (the ANSI code page on Windows) cut there to
// 255 bytes, turned counter-clockwise by angle degrees about its top-left corner (x, y), in RotatedFont, on a
// clear background.
Text RotatedText(int angle, int x, int y, std::string_view text);

} // namespace trekant
