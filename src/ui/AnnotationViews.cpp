#include "ui/AnnotationViews.h"

#include "core/AppConstants.h"
#include "editor/EditorViewModel.h"
#include "render/AnnotationPainter.h"

#include <QPainter>
#include <QPainterPathStroker>

#include <algorithm>

namespace pelorin {

namespace {

constexpr double minimumSide = 20;
constexpr double resizeHandleSize = 10;
constexpr double arrowHandleSize = 12;

QRectF frameOf(const Annotation& annotation)
{
    return boundingRect(annotation, 1);
}

// A shape or a redaction moved by its body, or resized by the handle `role`.
template <class Boxed>
Boxed movedOrResized(Boxed box, int role, QPointF translation)
{
    const QRectF frame(box.position, box.size);
    const QRectF r = role == AnnotationView::body ? frame.translated(translation)
                                                  : resizedRect(frame, ShapeHandlePosition(role), translation);
    box.position = r.topLeft();
    box.size = r.size();
    return box;
}

std::vector<AnnotationHandle> rectHandles(const QRectF& r, bool withEdges)
{
    const double cx = r.center().x();
    const double cy = r.center().y();
    std::vector<AnnotationHandle> handles{
        {int(ShapeHandlePosition::topLeft), r.topLeft(), resizeHandleSize},
        {int(ShapeHandlePosition::topRight), r.topRight(), resizeHandleSize},
        {int(ShapeHandlePosition::bottomLeft), r.bottomLeft(), resizeHandleSize},
        {int(ShapeHandlePosition::bottomRight), r.bottomRight(), resizeHandleSize},
    };
    if (withEdges) {
        handles.push_back({int(ShapeHandlePosition::top), {cx, r.top()}, resizeHandleSize});
        handles.push_back({int(ShapeHandlePosition::bottom), {cx, r.bottom()}, resizeHandleSize});
        handles.push_back({int(ShapeHandlePosition::left), {r.left(), cy}, resizeHandleSize});
        handles.push_back({int(ShapeHandlePosition::right), {r.right(), cy}, resizeHandleSize});
    }
    return handles;
}

void paintHandles(QPainter& painter, const std::vector<AnnotationHandle>& handles, const CanvasMapping& map)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Theme::accent(), 1.5));
    painter.setBrush(Qt::white);
    for (const AnnotationHandle& handle : handles) {
        const double r = handle.size / 2;
        painter.drawEllipse(map.toView(handle.centre), r, r);
    }
    painter.restore();
}

void paintOutline(QPainter& painter, const QRectF& viewRect, double radius)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Theme::accent(), 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(viewRect, radius, radius);
    painter.restore();
}

} // namespace

std::unique_ptr<AnnotationView> AnnotationView::make(const Annotation& drawn)
{
    return std::visit(
        [](const auto& a) -> std::unique_ptr<AnnotationView> {
            using A = std::decay_t<decltype(a)>;
            if constexpr (std::is_same_v<A, TextAnnotation>)
                return std::make_unique<TextAnnotationView>(a);
            else if constexpr (std::is_same_v<A, ArrowAnnotation>)
                return std::make_unique<ArrowAnnotationView>(a);
            else if constexpr (std::is_same_v<A, ShapeAnnotation>)
                return std::make_unique<ShapeAnnotationView>(a);
            else if constexpr (std::is_same_v<A, RedactAnnotation>)
                return std::make_unique<RedactAnnotationView>(a);
            else if constexpr (std::is_same_v<A, StrokeAnnotation>)
                return std::make_unique<StrokeAnnotationView>(a);
            else
                return std::make_unique<StepAnnotationView>(a);
        },
        drawn);
}

void AnnotationView::paintSelection(QPainter& painter, const Annotation& shown, const CanvasMapping& map) const
{
    paintHandles(painter, AnnotationView::make(shown)->handles(), map);
}

QRectF resizedRect(const QRectF& rect, ShapeHandlePosition handle, QPointF t)
{
    QPointF p = rect.topLeft();
    QSizeF s = rect.size();
    switch (handle) {
    case ShapeHandlePosition::topLeft:
        p += t;
        s -= QSizeF(t.x(), t.y());
        break;
    case ShapeHandlePosition::topRight:
        p.ry() += t.y();
        s += QSizeF(t.x(), -t.y());
        break;
    case ShapeHandlePosition::bottomLeft:
        p.rx() += t.x();
        s += QSizeF(-t.x(), t.y());
        break;
    case ShapeHandlePosition::bottomRight:
        s += QSizeF(t.x(), t.y());
        break;
    case ShapeHandlePosition::top:
        p.ry() += t.y();
        s.rheight() -= t.y();
        break;
    case ShapeHandlePosition::bottom:
        s.rheight() += t.y();
        break;
    case ShapeHandlePosition::left:
        p.rx() += t.x();
        s.rwidth() -= t.x();
        break;
    case ShapeHandlePosition::right:
        s.rwidth() += t.x();
        break;
    }
    return {p, QSizeF(std::max(s.width(), minimumSide), std::max(s.height(), minimumSide))};
}

QPainterPath shapeHitArea(const ShapeAnnotation& shape)
{
    const QPainterPath outline = shapePath(shape, 1);
    if (shape.fillColor)
        return outline;
    QPainterPathStroker band;
    band.setWidth(std::max(shape.strokeWidth + 16, 22.0));
    return band.createStroke(outline);
}

// --- Text

bool TextAnnotationView::hits(QPointF point) const
{
    return frameOf(m_annotation).contains(point);
}

Annotation TextAnnotationView::dragged(int, QPointF translation, const EditorViewModel&) const
{
    Annotation moved = m_annotation;
    setAnnotationPosition(moved, annotationPosition(moved) + translation);
    return moved;
}

std::optional<QRectF> TextAnnotationView::liveRect(const Annotation& shown) const
{
    return frameOf(shown);
}

void TextAnnotationView::paintSelection(QPainter& painter, const Annotation& shown, const CanvasMapping& map) const
{
    const auto& text = std::get<TextAnnotation>(shown);
    const QRectF box = map.toView(frameOf(shown)).adjusted(-2, -2, 2, 2);
    paintOutline(painter, box, text.padding * map.zoom / 2);
}

// --- Arrow

bool ArrowAnnotationView::hits(QPointF point) const
{
    const auto& arrow = std::get<ArrowAnnotation>(m_annotation);
    // The shaft stroked invisibly with its width plus 20.
    return distanceFromPointToLine(point, arrow.position, arrow.endPoint) <= (arrow.strokeWidth + 20) / 2;
}

std::vector<AnnotationHandle> ArrowAnnotationView::handles() const
{
    const auto& arrow = std::get<ArrowAnnotation>(m_annotation);
    return {{arrowStart, arrow.position, arrowHandleSize}, {arrowEnd, arrow.endPoint, arrowHandleSize}};
}

Annotation ArrowAnnotationView::dragged(int role, QPointF translation, const EditorViewModel&) const
{
    // Drawn where the pointer puts it; attachments are decided when the drag ends.
    ArrowAnnotation arrow = std::get<ArrowAnnotation>(m_annotation);
    if (role != arrowEnd) {
        arrow.position += translation;
        arrow.startAttachment.reset();
    }
    if (role != arrowStart) {
        arrow.endPoint += translation;
        arrow.endAttachment.reset();
    }
    return arrow;
}

Annotation ArrowAnnotationView::committed(int role, QPointF translation, const EditorViewModel& editor) const
{
    // The stored record, not the resolved one this view shows: the editor resolves it again.
    const std::optional<Annotation> stored = [&]() -> std::optional<Annotation> {
        for (const Annotation& a : editor.document()->annotations)
            if (annotationId(a) == id())
                return a;
        return std::nullopt;
    }();
    const auto& arrow = stored ? std::get<ArrowAnnotation>(*stored) : std::get<ArrowAnnotation>(m_annotation);
    if (role == body)
        return editor.arrowMovedBy(arrow, translation);
    return editor.arrowWithMovedEnd(arrow, role == arrowStart, translation);
}

std::optional<QRectF> ArrowAnnotationView::attachHighlight(int role, QPointF translation,
                                                           const EditorViewModel& editor) const
{
    if (role != arrowStart && role != arrowEnd)
        return std::nullopt;
    const Annotation preview = committed(role, translation, editor);
    const auto& arrow = std::get<ArrowAnnotation>(preview);
    const auto& attachment = role == arrowStart ? arrow.startAttachment : arrow.endAttachment;
    if (!attachment)
        return std::nullopt;
    return editor.attachmentBounds(attachment->targetId);
}

// --- Shape

bool ShapeAnnotationView::hits(QPointF point) const
{
    return shapeHitArea(std::get<ShapeAnnotation>(m_annotation)).contains(point);
}

std::vector<AnnotationHandle> ShapeAnnotationView::handles() const
{
    return rectHandles(frameOf(m_annotation), true);
}

Annotation ShapeAnnotationView::dragged(int role, QPointF translation, const EditorViewModel&) const
{
    return movedOrResized(std::get<ShapeAnnotation>(m_annotation), role, translation);
}

std::optional<QRectF> ShapeAnnotationView::liveRect(const Annotation& shown) const
{
    return frameOf(shown);
}

// --- Redaction

bool RedactAnnotationView::hits(QPointF point) const
{
    return frameOf(m_annotation).contains(point);
}

std::vector<AnnotationHandle> RedactAnnotationView::handles() const
{
    return rectHandles(frameOf(m_annotation), false);
}

Annotation RedactAnnotationView::dragged(int role, QPointF translation, const EditorViewModel&) const
{
    // The four corners of a redaction are the first four handle positions of a shape.
    return movedOrResized(std::get<RedactAnnotation>(m_annotation), role, translation);
}

std::optional<QRectF> RedactAnnotationView::liveRect(const Annotation& shown) const
{
    return frameOf(shown);
}

void RedactAnnotationView::paintSelection(QPainter& painter, const Annotation& shown, const CanvasMapping& map) const
{
    const auto& redact = std::get<RedactAnnotation>(shown);
    const double radius = redact.cornerRadius * map.zoom + 2;
    paintOutline(painter, map.toView(frameOf(shown)).adjusted(-2, -2, 2, 2), radius);
    AnnotationView::paintSelection(painter, shown, map);
}

// --- Pen and highlighter

bool StrokeAnnotationView::hits(QPointF point) const
{
    return hitTest(m_annotation, point, 1);
}

std::vector<AnnotationHandle> StrokeAnnotationView::handles() const
{
    return rectHandles(strokeBox(std::get<StrokeAnnotation>(m_annotation)), false);
}

Annotation StrokeAnnotationView::dragged(int role, QPointF translation, const EditorViewModel&) const
{
    const auto& stroke = std::get<StrokeAnnotation>(m_annotation);
    const QRectF box = strokeBox(stroke);
    if (role == body)
        return strokeFittedTo(stroke, box.translated(translation));
    return strokeFittedTo(stroke, resizedRect(box, ShapeHandlePosition(role), translation));
}

std::optional<QRectF> StrokeAnnotationView::liveRect(const Annotation& shown) const
{
    return frameOf(shown);
}

void StrokeAnnotationView::paintSelection(QPainter& painter, const Annotation& shown, const CanvasMapping& map) const
{
    paintOutline(painter, map.toView(frameOf(shown)).adjusted(-2, -2, 2, 2), 4);
    AnnotationView::paintSelection(painter, shown, map);
}

// --- Numbered step

bool StepAnnotationView::hits(QPointF point) const
{
    return hitTest(m_annotation, point, 1);
}

std::vector<AnnotationHandle> StepAnnotationView::handles() const
{
    return rectHandles(frameOf(m_annotation), false);
}

Annotation StepAnnotationView::dragged(int role, QPointF translation, const EditorViewModel&) const
{
    StepAnnotation step = std::get<StepAnnotation>(m_annotation);
    const QRectF frame = frameOf(m_annotation);
    if (role == body) {
        step.position += translation;
        return step;
    }
    const auto handle = ShapeHandlePosition(role);
    const QRectF r = resizedRect(frame, handle, translation);
    step.size = std::max(r.width(), r.height());
    switch (handle) {
    case ShapeHandlePosition::topLeft:
        step.position = frame.bottomRight() - QPointF(step.size, step.size);
        break;
    case ShapeHandlePosition::topRight:
        step.position = QPointF(frame.left(), frame.bottom() - step.size);
        break;
    case ShapeHandlePosition::bottomLeft:
        step.position = QPointF(frame.right() - step.size, frame.top());
        break;
    default:
        step.position = frame.topLeft();
        break;
    }
    return step;
}

std::optional<QRectF> StepAnnotationView::liveRect(const Annotation& shown) const
{
    return frameOf(shown);
}

void StepAnnotationView::paintSelection(QPainter& painter, const Annotation& shown, const CanvasMapping& map) const
{
    const QRectF box = map.toView(frameOf(shown)).adjusted(-2, -2, 2, 2);
    paintOutline(painter, box, box.width() / 2);
    AnnotationView::paintSelection(painter, shown, map);
}

void paintGroupSelectionMark(QPainter& painter, const Annotation& shown, const CanvasMapping& map)
{
    QRectF frame = frameOf(shown);
    if (const auto* arrow = std::get_if<ArrowAnnotation>(&shown)) {
        // The box of an arrow is padded for its heads; the mark hugs the line instead.
        const double pad = arrow->strokeWidth / 2 + 2;
        frame = QRectF(arrow->position, arrow->endPoint).normalized().adjusted(-pad, -pad, pad, pad);
    }
    paintOutline(painter, map.toView(frame).adjusted(-2, -2, 2, 2), 4);
}

} // namespace pelorin
