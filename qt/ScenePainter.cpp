#include "ScenePainter.h"

#include <QFontMetrics>
#include <QPainter>
#include <QTransform>
#include <QVarLengthArray>

#include <algorithm>
#include <cmath>

namespace trekant {

namespace {

QString fromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

QColor toQColor(Rgb color) {
    return QColor(color.red, color.green, color.blue);
}

void paintPolyline(QPainter& canvas, const Polyline& line) {
    QPen pen(toQColor(line.pen.color), line.pen.width);
    if (line.pen.roundCaps) {
        pen.setCapStyle(Qt::RoundCap);
        pen.setJoinStyle(Qt::RoundJoin);
    }
    canvas.setPen(pen);
    QVarLengthArray<QPoint, 16> points;
    for (const Point& p : line.points)
        points.append(QPoint(p.x, p.y));
    canvas.drawPolyline(points.constData(), int(points.size()));
}

// Writes text with its font already set on the canvas, top-left at its corner.
DrawnText paintText(QPainter& canvas, const Text& text, const QFontMetrics& metrics) {
    const QString s = fromUtf8(text.utf8);
    canvas.setPen(toQColor(text.color));
    if (text.background == TextBackground::Opaque) {
        canvas.setBackgroundMode(Qt::OpaqueMode);
        canvas.setBackground(Qt::white);
    } else {
        canvas.setBrush(Qt::NoBrush);
        canvas.setBackgroundMode(Qt::TransparentMode);
    }
    const QRect box(0, 0, metrics.horizontalAdvance(s), metrics.height());
    if (text.angle == 0) {
        canvas.drawText(text.topLeft.x, text.topLeft.y + metrics.ascent(), s);
        return {QPoint(text.topLeft.x, text.topLeft.y), s, box.translated(text.topLeft.x, text.topLeft.y)};
    }
    // The angle runs counter-clockwise; Qt's rotation with y downwards runs clockwise.
    QTransform turn;
    turn.translate(text.topLeft.x, text.topLeft.y);
    turn.rotate(-text.angle);
    canvas.save();
    canvas.setTransform(turn, true);
    canvas.drawText(0, metrics.ascent(), s);
    canvas.restore();
    return {QPoint(text.topLeft.x, text.topLeft.y), s, turn.mapRect(box)};
}

} // namespace

QFont ToQFont(const Font& font, const QPaintDevice* device) {
    QFont result(QString::fromStdString(font.face));
    if (font.cellHeight > 0) {
        result.setPixelSize(font.cellHeight);
        const int cell = QFontMetrics(result, device).height();
        if (cell > 0 && cell != font.cellHeight)
            result.setPixelSize(std::max(1, int(std::lround(double(font.cellHeight) * font.cellHeight / cell))));
    } else {
        result.setPointSize(font.pointSize);
    }
    if (font.bold)
        result.setBold(true);
    if (font.underline)
        result.setUnderline(true);
    return result;
}

const QFontMetrics& QtTextMeasure::metricsOf(const Font& font) {
    if (!m_metrics || !(m_font == font)) {
        m_font = font;
        m_metrics.emplace(ToQFont(font, m_device), m_device);
    }
    return *m_metrics;
}

int QtTextMeasure::advance(const Font& font, std::string_view utf8) {
    return metricsOf(font).horizontalAdvance(fromUtf8(utf8));
}

int QtTextMeasure::height(const Font& font, std::string_view) {
    return metricsOf(font).height();
}

DrawnText PaintText(QPainter& canvas, const Text& text) {
    const QFont font = ToQFont(text.font, canvas.device());
    canvas.save();
    canvas.setFont(font);
    const DrawnText drawn = paintText(canvas, text, QFontMetrics(font, canvas.device()));
    canvas.restore();
    return drawn;
}

void PaintScene(QPainter& canvas, const Scene& scene, std::vector<DrawnText>& drawn) {
    // A paint uses a few fonts, switching between them: each is made, with its metrics, once.
    struct FontInUse {
        const Font* font;
        QFont qfont;
        QFontMetrics metrics;
    };
    std::vector<FontInUse> fonts;
    fonts.reserve(4);
    const FontInUse* current = nullptr;
    for (const SceneItem& item : scene.items) {
        if (const auto* line = std::get_if<Polyline>(&item)) {
            paintPolyline(canvas, *line);
            continue;
        }
        const Text& text = std::get<Text>(item);
        if (current == nullptr || !(*current->font == text.font)) {
            const auto known =
                std::find_if(fonts.begin(), fonts.end(), [&](const FontInUse& f) { return *f.font == text.font; });
            if (known == fonts.end()) {
                QFont qfont = ToQFont(text.font, canvas.device());
                fonts.push_back({&text.font, qfont, QFontMetrics(qfont, canvas.device())});
                current = &fonts.back();
            } else {
                current = &*known;
            }
            canvas.setFont(current->qfont);
        }
        drawn.push_back(paintText(canvas, text, current->metrics));
    }
}

} // namespace trekant
