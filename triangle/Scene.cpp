#include "Scene.h"

#include "Felles.h"
#include "TriangleModel.h"
#include "platform.h"

#include <cmath>

namespace trekant {

namespace {

// The signs of the panel and labels, in UTF-8 whatever the compiler's execution character set.
std::string utf8(std::u8string_view text) {
    return std::string(text.begin(), text.end());
}
const std::string kSquared = utf8(u8"²");
const std::string kDegree = utf8(u8"°");

// Number text of the panel and labels. Values no number text can hold are shown as a pupil reads
// them: an infinity as the sign for infinity, anything undefined as "udefinert".
std::string t(double v) {
    if (std::isnan(v))
        return "udefinert";
    if (std::isinf(v))
        return utf8(v < 0 ? u8"-∞" : u8"∞");
    return felles::TallTilTekst(0, 0, v);
}

void write(Scene& scene, int x, int y, std::string text, const Font& font) {
    scene.items.emplace_back(Text{{x, y}, std::move(text), font});
}

} // namespace

Font PanelFont(bool underline) {
    return Font{"Verdana", 12, 0, false, underline};
}

Font LabelFont() {
    return Font{"Courier New", 10, 0, true, false};
}

Font RotatedFont() {
    return Font{"Tahoma", 0, 20, false, false};
}

Scene BuildScene(Geometry& geometry, TextMeasure& measure) {
    Scene scene;
    scene.items.reserve(21);
    TegnFormler(scene, geometry, measure);
    TegnFigur(scene, geometry);
    return scene;
}

void TegnFormler(Scene& scene, Geometry& geometry, TextMeasure& measure) {
    UtledVerdier();
    const Quantities& q = quantities();

    const Font underline = PanelFont(true);
    const Font plain = PanelFont(false);
    const int w = measure.advance(underline, "W");
    const int h = measure.height(underline, "W");
    geometry.tegnbredde = w;
    geometry.linjehoyde = h;

    const int L = geometry.formelVenstre;
    const int T = geometry.formelTopp;
    write(scene, L, T, "Pytagoras:", underline);
    write(scene, L, T + h, "Z" + kSquared + "=X" + kSquared + "+Y" + kSquared, plain);
    write(scene, L, T + 2 * h, "Z" + kSquared + "=" + t(q.X) + kSquared + "+" + t(q.Y) + kSquared, plain);
    write(scene, L, T + 3 * h, "Z=   " + t(q.X * q.X) + "+" + t(q.Y * q.Y), plain);
    write(scene, L, T + 4 * h, "Z=" + t(q.Z), plain);
    write(scene, L, T + 6 * h, "Vinkler:", underline);
    write(scene, L, T + 7 * h, "a=Sin(Y/Z)*Y", plain);
    write(scene, L, T + 8 * h, "a=Sin(" + t(q.Y) + "/" + t(q.Z) + ")*" + t(q.Y), plain);
    // Y / Z has no value when Z is 0 (both legs 0): say so instead of a number.
    const std::string ratio = q.Z == 0 ? std::string("udefinert") : t(q.Y / q.Z);
    write(scene, L, T + 9 * h, "a=Sin(" + ratio + ")*" + t(q.Y), plain);
    write(scene, L, T + 10 * h, "a=" + t(q.a) + kDegree, plain);
    write(scene, L, T + 12 * h, "b=c-a", plain);

    TegnRottegn(scene, geometry);
}

void TegnRottegn(Scene& scene, Geometry& geometry) {
    const int w = geometry.tegnbredde;
    const int h = geometry.linjehoyde;
    // Half the character width down from the line's top, not half the line height.
    const int x0 = geometry.formelVenstre + w + w / 2;
    const int y0 = geometry.formelTopp + 3 * h + w / 2;
    geometry.rotpunkt = {x0, y0};
    scene.items.emplace_back(Polyline{Pen{kBlack, 1},
                                      {{x0, y0},
                                       {x0 + w / 2, y0 + h / 2},
                                       {x0 + w - w / 4, y0 - h / 2 + h / 10},
                                       {x0 + 8 * w, y0 - h / 2 + h / 10}}});
}

void TegnFigur(Scene& scene, const Geometry& geometry) {
    const Quantities& q = quantities();
    const int w = geometry.tegnbredde;
    const int h = geometry.linjehoyde;
    const Point A = geometry.hjorneA, B = geometry.hjorneB, C = geometry.hjorneC;
    const int x1 = A.x, y1 = A.y, x2 = B.x, y2 = B.y, x3 = C.x, y3 = C.y;

    const Pen outline{kNavy, geometry.tykkRamme == 1 ? 2 : 1, true};
    scene.items.emplace_back(Polyline{outline, {A, B, C, A}});
    scene.items.emplace_back(Polyline{Pen{kNavy, 1, true}, {{x3 - h, y3}, {x3 - h, y3 - h}, {x3, y3 - h}}});
    // The squares on X (below), Y (to the right) and Z (above and left), in one stroke from corner A.
    scene.items.emplace_back(Polyline{Pen{kGray, 1, true},
                                      {A,
                                       {x1, y1 + (x3 - x1)},
                                       {x3, y1 + (x3 - x1)},
                                       {x3, y3},
                                       {x3 + (y3 - y2), y3},
                                       {x3 + (y3 - y2), y2},
                                       {x2, y2},
                                       {x1, y2 - (y1 - y2)},
                                       {x1 - (x2 - x1), y2},
                                       {x1, y1}}});

    const Font font = LabelFont();
    write(scene, x1 - 6 * w, y1 + h, "a = " + t(q.a) + kDegree, font);
    write(scene, x2, y2 - 3 * h, "b = " + t(q.b) + kDegree, font);
    write(scene, x3 + 2 * w, y3 + h / 2, "c = 90" + kDegree, font);
    write(scene, (x1 + x3) / 2 - 2 * w, y3 + h / 2, "X = " + t(q.X), font);
    write(scene, x3 + 2 * w, (y2 + y3) / 2, "Y = " + t(q.Y), font);
    const std::string z = std::isfinite(q.Z) ? felles::TallTilTekst(0, 1, q.Z) : t(q.Z);
    write(scene, (x1 + x3) / 2 - 3 * w, (y2 + y3) / 2 - 3 * h, "Z = " + z, font);
}

Text RotatedText(int angle, int x, int y, std::string_view text) {
    // Cut before it becomes UTF-8: 255 letters of the code page may take more bytes in UTF-8.
    std::string utf8;
    platform::utf8FromText(felles::CutText(text), utf8);
    return Text{{x, y}, utf8, RotatedFont(), kBlack, angle, TextBackground::Clear};
}

} // namespace trekant
