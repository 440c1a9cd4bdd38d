#include "render/AnnotationPainter.h"

#include "core/Fonts.h"

#include <QPainter>
#include <QPainterPath>

#include <cmath>
#include <numbers>

namespace pelorin {

double arrowHeadSize(double strokeWidth)
{
    return std::max(strokeWidth * 4, 10.0);
}

void paintTextAnnotation(QPainter& painter, const TextAnnotation& text, double scale)
{
    // Glyph paths take the font's resolution from the device it was made for: use the same
    // 72-dpi device as measuring, so one point is one unit in both.
    const QFont textFont(font(text, scale), pointResolutionDevice());
    const double lineStep = lineHeight(pointMetrics(textFont));
    const QStringList lines = text.text.split(u'\n');

    // One path for the whole text so the outline and the fill cover exactly the same glyphs.
    QPainterPath glyphs;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (lines[i].isEmpty())
            continue; // still takes its line height
        const QPointF baseline(text.position.x() * scale,
                               text.position.y() * scale + text.fontSize * scale + static_cast<double>(i) * lineStep);
        glyphs.addText(baseline, textFont, lines[i]);
    }
    if (glyphs.isEmpty())
        return;

    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    if (text.strokeWidth > 0 && text.fontSize > 0) {
        // Centred on the glyph outlines, so strokeWidth of it shows outside each glyph.
        QPen outline(text.strokeColor, 2 * text.strokeWidth * scale, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
        painter.strokePath(glyphs, outline);
    }
    painter.fillPath(glyphs, text.color);
    painter.restore();
}

namespace {

void fillHead(QPainter& painter, QPointF tip, QPointF tail, double headSize, const QColor& color)
{
    const double theta = std::atan2(tip.y() - tail.y(), tip.x() - tail.x());
    constexpr double spread = std::numbers::pi / 6;
    const QPointF left = tip - headSize * QPointF(std::cos(theta - spread), std::sin(theta - spread));
    const QPointF right = tip - headSize * QPointF(std::cos(theta + spread), std::sin(theta + spread));
    QPainterPath head;
    head.setFillRule(Qt::WindingFill);
    head.moveTo(tip);
    head.lineTo(left);
    head.lineTo(right);
    head.closeSubpath();
    painter.fillPath(head, color);
}

} // namespace

void paintArrowAnnotation(QPainter& painter, const ArrowAnnotation& arrow, double scale)
{
    const QPointF a = arrow.position * scale;
    const QPointF b = arrow.endPoint * scale;
    const double h = arrowHeadSize(arrow.strokeWidth) * scale;
    const bool headAtStart = arrow.style == ArrowStyle::double_;
    const bool headAtEnd = arrow.style != ArrowStyle::line;

    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const ArrowEndpoints shaft = shaftEndpoints(a, b, h, headAtStart, headAtEnd);
    painter.setPen(QPen(arrow.color, arrow.strokeWidth * scale, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    // A zero-length line draws nothing in Qt; a point with a round cap gives the same dot.
    if (shaft.start == shaft.end)
        painter.drawPoint(shaft.start);
    else
        painter.drawLine(shaft.start, shaft.end);
    if (headAtEnd)
        fillHead(painter, b, a, h, arrow.color);
    if (headAtStart)
        fillHead(painter, a, b, h, arrow.color);
    painter.restore();
}

QPainterPath shapePath(const ShapeAnnotation& shape, double scale)
{
    const QRectF r(shape.position * scale, shape.size * scale);
    QPainterPath path;
    switch (shape.shapeType) {
    case ShapeType::rectangle:
        path.addRect(r);
        break;
    case ShapeType::roundedRectangle:
        path.addRoundedRect(r, shape.cornerRadius * scale, shape.cornerRadius * scale);
        break;
    case ShapeType::ellipse:
        path.addEllipse(r);
        break;
    case ShapeType::circle: {
        const double d = std::min(r.width(), r.height());
        path.addEllipse(QRectF(r.x() + (r.width() - d) / 2, r.y() + (r.height() - d) / 2, d, d));
        break;
    }
    }
    return path;
}

void paintShapeAnnotation(QPainter& painter, const ShapeAnnotation& shape, double scale)
{
    QPainterPath path = shapePath(shape, scale);
    path.setFillRule(Qt::WindingFill);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    if (shape.fillColor)
        painter.fillPath(path, *shape.fillColor);
    painter.strokePath(path, QPen(shape.color, shape.strokeWidth * scale));
    painter.restore();
}

void paintRedactAnnotation(QPainter& painter, const RedactAnnotation& redact, double scale)
{
    // Every redaction style is painted as an opaque fill: the raster must never show what is below.
    QPainterPath path;
    path.addRoundedRect(QRectF(redact.position * scale, redact.size * scale), redact.cornerRadius * scale,
                        redact.cornerRadius * scale);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillPath(path, redact.color);
    painter.restore();
}

void paintAnnotation(QPainter& painter, const Annotation& annotation, double scale)
{
    std::visit(
        [&](const auto& a) {
            using A = std::decay_t<decltype(a)>;
            if constexpr (std::is_same_v<A, TextAnnotation>)
                paintTextAnnotation(painter, a, scale);
            else if constexpr (std::is_same_v<A, ArrowAnnotation>)
                paintArrowAnnotation(painter, a, scale);
            else if constexpr (std::is_same_v<A, ShapeAnnotation>)
                paintShapeAnnotation(painter, a, scale);
            else
                paintRedactAnnotation(painter, a, scale);
        },
        annotation);
}

} // namespace pelorin
