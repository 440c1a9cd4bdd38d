#include "render/AnnotationPainter.h"

#include "core/Fonts.h"
#include "render/RedactionPixels.h"

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
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    if (text.backgroundColor) {
        // The plate spans the padded box, its corners rounded by half the padding.
        const double radius = text.padding * scale / 2;
        QPainterPath plate;
        plate.addRoundedRect(boundingRect(text, scale), radius, radius);
        painter.fillPath(plate, *text.backgroundColor);
    }
    if (glyphs.isEmpty()) {
        painter.restore();
        return;
    }
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

void paintRedactAnnotation(QPainter& painter, const RedactAnnotation& redact, double scale, const QImage* screenshot)
{
    const QRectF frame(redact.position, redact.size);
    QPainterPath path;
    path.addRoundedRect(QRectF(frame.topLeft() * scale, frame.size() * scale), redact.cornerRadius * scale,
                        redact.cornerRadius * scale);
    const std::optional<RedactionPixels> pixels =
        screenshot ? redactionPixels(*screenshot, frame, redact.redactStyle) : std::nullopt;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    // The fill stays under the pixels wherever the redaction reaches past the screenshot:
    // the raster never shows what is below a redaction.
    if (!pixels || pixels->rect != frame.normalized())
        painter.fillPath(path, redact.color);
    if (pixels) {
        painter.setClipPath(path, Qt::IntersectClip);
        painter.setRenderHint(QPainter::SmoothPixmapTransform, pixels->smooth);
        painter.drawImage(QRectF(pixels->rect.topLeft() * scale, pixels->rect.size() * scale), pixels->image);
    }
    painter.restore();
}

QPainterPath strokeLine(const StrokeAnnotation& stroke, double scale)
{
    QPainterPath path;
    const auto& pts = stroke.points;
    if (pts.empty())
        return path;
    const auto at = [&](std::size_t i) { return (stroke.position + pts[i]) * scale; };
    path.moveTo(at(0));
    if (pts.size() == 1) {
        path.lineTo(at(0));
        return path;
    }
    for (std::size_t i = 1; i + 1 < pts.size(); ++i)
        path.quadTo(at(i), (at(i) + at(i + 1)) / 2);
    path.lineTo(at(pts.size() - 1));
    return path;
}

void paintStrokeAnnotation(QPainter& painter, const StrokeAnnotation& stroke, double scale)
{
    if (stroke.points.empty())
        return;
    const bool highlighter = stroke.kind == StrokeKind::highlighter;
    QColor color = stroke.color;
    if (highlighter)
        color.setAlphaF(float(color.alphaF() * highlighterOpacity));
    // One stroke of the whole path: where the band crosses itself it is not darker.
    const QPen pen(color, stroke.strokeWidth * scale, Qt::SolidLine, highlighter ? Qt::SquareCap : Qt::RoundCap,
                   Qt::RoundJoin);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const QPainterPath line = strokeLine(stroke, scale);
    if (stroke.points.size() == 1 || line.length() < 1e-6) {
        painter.setPen(pen);
        painter.drawPoint(line.pointAtPercent(0));
    } else {
        painter.strokePath(line, pen);
    }
    painter.restore();
}

QColor stepDigitColor(const QColor& fill)
{
    // Relative luminance of sRGB, near enough for choosing between black and white.
    const double luminance = 0.2126 * fill.redF() + 0.7152 * fill.greenF() + 0.0722 * fill.blueF();
    return luminance > 0.6 ? QColor(28, 28, 30) : QColor(Qt::white);
}

void paintStepAnnotation(QPainter& painter, const StepAnnotation& step, double scale)
{
    const QRectF circle(step.position * scale, QSizeF(step.size, step.size) * scale);
    const QString digits = QString::number(step.number);
    // The number fills about half the circle; longer numbers get smaller.
    const double fontSize = step.size * scale * (digits.size() <= 1 ? 0.55 : digits.size() == 2 ? 0.48 : 0.38);
    const QFont font(textFont(TextDesign::standard, FontWeight::bold, false, fontSize), pointResolutionDevice());
    QPainterPath glyphs;
    glyphs.addText(QPointF(0, 0), font, digits);
    const QRectF ink = glyphs.boundingRect();
    // Centred on the glyphs' ink, not on the font's line box, so every digit sits in the middle.
    glyphs.translate(circle.center() - ink.center());

    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(step.color);
    painter.drawEllipse(circle);
    painter.fillPath(glyphs, stepDigitColor(step.color));
    painter.restore();
}

void paintAnnotation(QPainter& painter, const Annotation& annotation, double scale, const QImage* screenshot)
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
            else if constexpr (std::is_same_v<A, RedactAnnotation>)
                paintRedactAnnotation(painter, a, scale, screenshot);
            else if constexpr (std::is_same_v<A, StrokeAnnotation>)
                paintStrokeAnnotation(painter, a, scale);
            else
                paintStepAnnotation(painter, a, scale);
        },
        annotation);
}

} // namespace pelorin
