// The triangle window's scene drawn with QPainter, and text measured for its layout.
#pragma once

#include "Scene.h"

#include <QFont>
#include <QFontMetrics>
#include <QPoint>
#include <QRect>
#include <QString>

#include <optional>
#include <string_view>
#include <vector>

class QPainter;
class QPaintDevice;

namespace trekant {

// A scene font as Qt makes it. A cell height becomes the pixel size whose cell is that high; Qt's
// pixel size is the em size.
QFont ToQFont(const Font& font, const QPaintDevice* device);

// Measures in the fonts of the device the scene is painted on.
class QtTextMeasure : public TextMeasure {
public:
    explicit QtTextMeasure(const QPaintDevice* device) : m_device(device) {}
    int advance(const Font& font, std::string_view utf8) override;
    int height(const Font& font, std::string_view utf8) override;

private:
    // The layout asks twice of one font: it is made once.
    const QFontMetrics& metricsOf(const Font& font);

    const QPaintDevice* m_device;
    Font m_font;
    std::optional<QFontMetrics> m_metrics;
};

// One text the painter wrote: top-left corner, text, and the box it covers.
struct DrawnText {
    QPoint pos;
    QString text;
    QRect bounds;
};

DrawnText PaintText(QPainter& canvas, const Text& text);
// Every item in order; the texts written are appended to drawn.
void PaintScene(QPainter& canvas, const Scene& scene, std::vector<DrawnText>& drawn);

} // namespace trekant
