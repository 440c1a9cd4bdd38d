#include "core/Annotation.h"
#include "core/DimHoles.h"
#include "core/Fonts.h"

#include <QStringList>

#include <algorithm>
#include <cmath>

namespace pelorin {

namespace {

double length(QPointF v)
{
    return std::hypot(v.x(), v.y());
}

// Arrows are thin: the box around them is grown so that their heads and a comfortable grab
// margin fall inside it.
double arrowPadding(const ArrowAnnotation& arrow)
{
    return std::max(arrow.strokeWidth * 4, 10.0);
}

// Unfilled shapes are hot only on a band this wide inside their edge, so that clicks in their
// middle reach what lies underneath.
double shapeHitBand(const ShapeAnnotation& shape, double scale)
{
    return shape.strokeWidth * scale + 10;
}

QPointF anchorPoint(const QRectF& bounds, QPointF anchor)
{
    return {bounds.left() + anchor.x() * bounds.width(), bounds.top() + anchor.y() * bounds.height()};
}

} // namespace

QFont font(const TextAnnotation& text, double scale)
{
    return textFont(text.design, text.fontWeight, text.isItalic, text.fontSize * scale);
}

QFont displayFont(const TextAnnotation& text)
{
    return font(text, 1);
}

QRectF boundingRect(const TextAnnotation& text, double scale)
{
    const QFontMetricsF metrics = pointMetrics(font(text, scale));
    // An empty text still has one (empty) line.
    const QStringList lines = text.text.split(u'\n');
    double width = 0;
    for (const QString& line : lines)
        width = std::max(width, metrics.horizontalAdvance(line));
    const double padding = text.padding * scale;
    return {text.position.x() * scale - padding, text.position.y() * scale - padding, width + 2 * padding,
            double(lines.size()) * lineHeight(metrics) + 2 * padding};
}

QRectF boundingRect(const ArrowAnnotation& arrow, double scale)
{
    // The stored points, not the resolved ones: resolving needs the whole list.
    const double pad = arrowPadding(arrow) * scale;
    const QPointF a = arrow.position * scale;
    const QPointF b = arrow.endPoint * scale;
    return QRectF(QPointF(std::min(a.x(), b.x()) - pad, std::min(a.y(), b.y()) - pad),
                  QPointF(std::max(a.x(), b.x()) + pad, std::max(a.y(), b.y()) + pad));
}

QRectF boundingRect(const ShapeAnnotation& shape, double scale)
{
    return {shape.position * scale, shape.size * scale};
}

QRectF boundingRect(const RedactAnnotation& redact, double scale)
{
    return {redact.position * scale, redact.size * scale};
}

QRectF strokeBox(const StrokeAnnotation& stroke)
{
    if (stroke.points.empty())
        return {stroke.position, QSizeF(0, 0)};
    double right = 0;
    double bottom = 0;
    for (const QPointF& p : stroke.points) {
        right = std::max(right, p.x());
        bottom = std::max(bottom, p.y());
    }
    return {stroke.position, QSizeF(right, bottom)};
}

StrokeAnnotation strokeFittedTo(StrokeAnnotation stroke, const QRectF& box)
{
    const QRectF from = strokeBox(stroke);
    const double sx = from.width() > 1e-6 ? box.width() / from.width() : 1;
    const double sy = from.height() > 1e-6 ? box.height() / from.height() : 1;
    for (QPointF& p : stroke.points)
        p = QPointF(p.x() * sx, p.y() * sy);
    stroke.position = box.topLeft();
    return stroke;
}

int nextStepNumber(const std::vector<Annotation>& annotations)
{
    int highest = 0;
    for (const Annotation& a : annotations) {
        if (const auto* step = std::get_if<StepAnnotation>(&a))
            highest = std::max(highest, step->number);
    }
    return highest + 1;
}

QRectF boundingRect(const StrokeAnnotation& stroke, double scale)
{
    const double half = stroke.strokeWidth / 2;
    const QRectF box = strokeBox(stroke).adjusted(-half, -half, half, half);
    return {box.topLeft() * scale, box.size() * scale};
}

QRectF boundingRect(const StepAnnotation& step, double scale)
{
    return {step.position * scale, QSizeF(step.size, step.size) * scale};
}

QRectF boundingRect(const Annotation& annotation, double scale)
{
    return std::visit([scale](const auto& a) { return boundingRect(a, scale); }, annotation);
}

bool hitTest(const Annotation& annotation, QPointF point, double scale)
{
    if (const auto* arrow = std::get_if<ArrowAnnotation>(&annotation))
        return distanceFromPointToLine(point, arrow->position * scale, arrow->endPoint * scale)
            <= arrow->strokeWidth * scale + 10;

    if (const auto* stroke = std::get_if<StrokeAnnotation>(&annotation)) {
        // Near the line itself, not anywhere in its box: a circled area stays clickable.
        const double reach = stroke->strokeWidth * scale / 2 + 6;
        const auto& pts = stroke->points;
        for (std::size_t i = 0; i < pts.size(); ++i) {
            const QPointF a = (stroke->position + pts[i]) * scale;
            const QPointF b = (stroke->position + pts[std::min(i + 1, pts.size() - 1)]) * scale;
            if (distanceFromPointToLine(point, a, b) <= reach)
                return true;
        }
        return false;
    }
    if (const auto* step = std::get_if<StepAnnotation>(&annotation)) {
        const QRectF box = boundingRect(*step, scale);
        return length(point - box.center()) <= box.width() / 2;
    }
    const QRectF bounds = boundingRect(annotation, scale).normalized();
    if (!bounds.contains(point))
        return false;
    const auto* shape = std::get_if<ShapeAnnotation>(&annotation);
    if (!shape || shape->fillColor)
        return true;
    const double band = shapeHitBand(*shape, scale);
    const QRectF inner = bounds.adjusted(band, band, -band, -band);
    // A shape too small to have an inside is hot everywhere. (QRectF::contains would treat
    // the inverted inner rectangle as a normal one.)
    return inner.isEmpty() || !inner.contains(point);
}

double distanceFromPointToLine(QPointF point, QPointF lineStart, QPointF lineEnd)
{
    const QPointF d = lineEnd - lineStart;
    const double lengthSquared = QPointF::dotProduct(d, d);
    if (lengthSquared == 0)
        return length(point - lineStart);
    const double t = std::clamp(QPointF::dotProduct(point - lineStart, d) / lengthSquared, 0.0, 1.0);
    return length(point - (lineStart + t * d));
}

QPointF attachedPoint(QPointF from, QPointF toward, const QRectF& targetBounds, double gap)
{
    const QPointF d = toward - from;
    const double len = length(d);
    if (len <= 0.001 || targetBounds.contains(from))
        return toward;
    // Where the ray enters the rectangle: the later of its entries into the x and y slabs.
    double t = 0;
    if (std::abs(d.x()) > 1e-6)
        t = std::max(0.0, std::min((targetBounds.left() - from.x()) / d.x(), (targetBounds.right() - from.x()) / d.x()));
    if (std::abs(d.y()) > 1e-6)
        t = std::max(t, std::min((targetBounds.top() - from.y()) / d.y(), (targetBounds.bottom() - from.y()) / d.y()));
    const double back = std::min(len * t * 0.5, gap);
    return from + d * t - (d / len) * back;
}

ArrowEndpoints resolvedEndpoints(const ArrowAnnotation& arrow, const TargetBounds& boundsFor)
{
    const auto targetBounds = [&boundsFor](const std::optional<ArrowAttachment>& attachment) -> std::optional<QRectF> {
        if (!attachment || !boundsFor)
            return std::nullopt;
        return boundsFor(attachment->targetId);
    };
    const std::optional<QRectF> startBounds = targetBounds(arrow.startAttachment);
    const std::optional<QRectF> endBounds = targetBounds(arrow.endAttachment);
    const QPointF startReference = startBounds ? anchorPoint(*startBounds, arrow.startAttachment->anchor) : arrow.position;
    const QPointF endReference = endBounds ? anchorPoint(*endBounds, arrow.endAttachment->anchor) : arrow.endPoint;

    // Stop a little short of the target's edge so the head does not touch it.
    const double gap = arrow.strokeWidth * 0.5 + 4;
    return {startBounds ? attachedPoint(endReference, startReference, *startBounds, gap) : arrow.position,
            endBounds ? attachedPoint(startReference, endReference, *endBounds, gap) : arrow.endPoint};
}

std::vector<Annotation> resolvingAttachments(std::vector<Annotation> annotations)
{
    const std::vector<Annotation> original = annotations;
    // Arrows are never targets: an arrow tied to an arrow would depend on that arrow's own
    // resolution, and could form a cycle.
    const TargetBounds boundsFor = [&original](const QUuid& id) -> std::optional<QRectF> {
        for (const Annotation& a : original) {
            if (!std::holds_alternative<ArrowAnnotation>(a) && annotationId(a) == id)
                return boundingRect(a, 1);
        }
        return std::nullopt;
    };
    for (Annotation& annotation : annotations) {
        if (auto* arrow = std::get_if<ArrowAnnotation>(&annotation)) {
            const ArrowEndpoints ends = resolvedEndpoints(*arrow, boundsFor);
            arrow->position = ends.start;
            arrow->endPoint = ends.end;
        }
    }
    return annotations;
}

ArrowEndpoints shaftEndpoints(QPointF start, QPointF end, double headSize, bool atStart, bool atEnd)
{
    const double len = length(end - start);
    if (len <= 0.001)
        return {start, end};
    // The depth of a head whose sides run 30° off the shaft: headSize × cos 30°.
    const double headDepth = headSize * 0.8660254037844387;
    double insetStart = atStart ? headDepth : 0;
    double insetEnd = atEnd ? headDepth : 0;
    // On a short arrow the heads would overlap; shrink both insets so some shaft remains.
    const double limit = len * 0.95;
    if (insetStart + insetEnd > limit) {
        const double factor = limit / (insetStart + insetEnd);
        insetStart *= factor;
        insetEnd *= factor;
    }
    const QPointF unit = (end - start) / len;
    return {start + unit * insetStart, end - unit * insetEnd};
}

DimHoleSpec dimHoleForShape(const ShapeAnnotation& shape)
{
    const QRectF rect(shape.position, shape.size);
    switch (shape.shapeType) {
    case ShapeType::rectangle:
        return {rect, 0, false};
    case ShapeType::roundedRectangle:
        return {rect, shape.cornerRadius, false};
    case ShapeType::ellipse:
        return {rect, 0, true};
    case ShapeType::circle: {
        const double d = std::min(rect.width(), rect.height());
        return {QRectF(rect.x() + (rect.width() - d) / 2, rect.y() + (rect.height() - d) / 2, d, d), 0, true};
    }
    }
    return {rect, 0, false};
}

} // namespace pelorin
