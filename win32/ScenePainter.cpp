#include "ScenePainter.h"

namespace trekant {

namespace {

COLORREF colorOf(Rgb rgb) {
    return RGB(rgb.red, rgb.green, rgb.blue);
}

winui::UniqueFont makeFont(HDC dc, const Font& font, int angle) {
    // A point size is turned into the character height for this device (negative: without the
    // leading); a cell height is the height of the whole cell (positive).
    const int height =
        font.pointSize != 0 ? -MulDiv(font.pointSize, GetDeviceCaps(dc, LOGPIXELSY), 72) : font.cellHeight;
    // Turned text needs an outline font, and the angles counted the same way on every device.
    const DWORD precision = angle != 0 ? OUT_TT_PRECIS : OUT_DEFAULT_PRECIS;
    const DWORD clipping = angle != 0 ? CLIP_DEFAULT_PRECIS | CLIP_LH_ANGLES : CLIP_DEFAULT_PRECIS;
    return winui::UniqueFont(CreateFontW(height, 0, angle * 10, angle * 10, font.bold ? FW_BOLD : FW_NORMAL, FALSE,
                                         font.underline, FALSE, DEFAULT_CHARSET, precision, clipping, DEFAULT_QUALITY,
                                         DEFAULT_PITCH, winui::FromUtf8(font.face).c_str()));
}

HPEN makePen(const Pen& pen) {
    if (!pen.roundCaps) {
        return CreatePen(PS_SOLID, pen.width, colorOf(pen.color));
    }
    LOGBRUSH brush{BS_SOLID, colorOf(pen.color), 0};
    return ExtCreatePen(PS_GEOMETRIC | PS_SOLID | PS_ENDCAP_ROUND | PS_JOIN_ROUND, DWORD(pen.width), &brush, 0,
                        nullptr);
}

} // namespace

HFONT GdiFonts::get(const Font& font, int angle) {
    for (const auto& [key, handle] : m_fonts) {
        if (key.first == font && key.second == angle) {
            return handle.get();
        }
    }
    m_fonts.emplace_back(std::make_pair(font, angle), makeFont(m_dc, font, angle));
    return m_fonts.back().second.get();
}

SIZE GdiMeasure::extent(const Font& font, std::string_view utf8) {
    const std::wstring text = winui::FromUtf8(utf8);
    HGDIOBJ old = SelectObject(m_dc, m_fonts.get(font, 0));
    SIZE size{};
    GetTextExtentPoint32W(m_dc, text.c_str(), int(text.size()), &size);
    SelectObject(m_dc, old);
    return size;
}

int GdiMeasure::advance(const Font& font, std::string_view utf8) {
    return extent(font, utf8).cx;
}

int GdiMeasure::height(const Font& font, std::string_view utf8) {
    return extent(font, utf8).cy;
}

void PaintScene(HDC dc, const Scene& scene, GdiFonts& fonts) {
    const int saved = SaveDC(dc);
    SetTextAlign(dc, TA_LEFT | TA_TOP | TA_NOUPDATECP);
    SetBkColor(dc, colorOf(kWhite));
    for (const SceneItem& item : scene.items) {
        if (const auto* line = std::get_if<Polyline>(&item)) {
            std::vector<POINT> points;
            points.reserve(line->points.size());
            for (const Point& point : line->points) {
                points.push_back(POINT{point.x, point.y});
            }
            HPEN pen = makePen(line->pen);
            HGDIOBJ old = SelectObject(dc, pen);
            ::Polyline(dc, points.data(), int(points.size()));
            SelectObject(dc, old);
            DeleteObject(pen);
        } else if (const auto* text = std::get_if<Text>(&item)) {
            const std::wstring wide = winui::FromUtf8(text->utf8);
            SelectObject(dc, fonts.get(text->font, text->angle));
            SetTextColor(dc, colorOf(text->color));
            SetBkMode(dc, text->background == TextBackground::Opaque ? OPAQUE : TRANSPARENT);
            TextOutW(dc, text->topLeft.x, text->topLeft.y, wide.c_str(), int(wide.size()));
        }
    }
    RestoreDC(dc, saved);
}

} // namespace trekant
