// The triangle window's scene drawn with GDI, and text measured the same way, so that the layout the
// scene asks for is what the painter then draws.
#pragma once

#include "Scene.h"
#include "WinUi.h"

#include <windows.h>

#include <utility>
#include <vector>

namespace trekant {

// The GDI fonts of one paint, each made once: a scene asks for a handful.
class GdiFonts {
public:
    explicit GdiFonts(HDC dc) : m_dc(dc) {}
    HFONT get(const Font& font, int angle);

private:
    HDC m_dc;
    std::vector<std::pair<std::pair<Font, int>, winui::UniqueFont>> m_fonts;
};

// Measures on a device context, in the fonts the painter will use.
class GdiMeasure : public TextMeasure {
public:
    GdiMeasure(HDC dc, GdiFonts& fonts) : m_dc(dc), m_fonts(fonts) {}
    int advance(const Font& font, std::string_view utf8) override;
    int height(const Font& font, std::string_view utf8) override;

private:
    SIZE extent(const Font& font, std::string_view utf8);
    HDC m_dc;
    GdiFonts& m_fonts;
};

// Draws the items in order: lines with their pens, texts in their fonts and angles. The device
// context's objects and modes are as they were afterwards.
void PaintScene(HDC dc, const Scene& scene, GdiFonts& fonts);

} // namespace trekant
