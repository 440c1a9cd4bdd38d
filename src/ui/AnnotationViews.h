#pragma once

#include "core/Annotation.h"

#include <QPainterPath>
#include <QPointF>
#include <QRectF>

#include <memory>
#include <optional>
#include <vector>

class QPainter;

namespace pelorin {

class EditorViewModel;

// Where the card lies in the canvas: document points ↔ canvas (view) points.
struct CanvasMapping {
    QPointF origin; // the card's top-left corner in the canvas
    double zoom = 1;
    QPointF toView(QPointF doc) const { return origin + doc * zoom; }
    QPointF toDocument(QPointF view) const { return (view - origin) / zoom; }
    QRectF toView(const QRectF& doc) const { return {toView(doc.topLeft()), doc.size() * zoom}; }
};

// A grab point of a selected annotation. `role` names the handle: a ShapeHandlePosition for
// shapes and redactions (whose corners share the first four values), arrowStart/arrowEnd for arrows.
struct AnnotationHandle {
    int role = 0;
    QPointF centre; // document points
    double size = 10; // canvas points across: handles keep their size at every zoom
};

// The interactive side of one annotation on the canvas: its hot area, its handles and what a
// drag of the body or of a handle does to it. The annotation itself is painted by the same
// routines as the export, so what the canvas shows is what the exported image holds; a view
// adds only the selection marks on top.
class AnnotationView {
public:
    static constexpr int body = -1;
    static constexpr int arrowStart = 100;
    static constexpr int arrowEnd = 101;

    virtual ~AnnotationView() = default;
    // The view for an annotation's kind; `drawn` is the annotation with arrows resolved.
    static std::unique_ptr<AnnotationView> make(const Annotation& drawn);

    const Annotation& annotation() const { return m_annotation; }
    QUuid id() const { return annotationId(m_annotation); }

    // Whether a press at `point` (document points) takes hold of the annotation.
    virtual bool hits(QPointF point) const = 0;
    virtual std::vector<AnnotationHandle> handles() const { return {}; }
    // Canvas points the pointer must travel before a press becomes a drag.
    virtual double dragThreshold() const { return 3; }
    // The annotation as it looks while `role` is dragged by `translation` (document points).
    virtual Annotation dragged(int role, QPointF translation, const EditorViewModel& editor) const = 0;
    // What is written back when the drag ends.
    virtual Annotation committed(int role, QPointF translation, const EditorViewModel& editor) const
    {
        return dragged(role, translation, editor);
    }
    // The rectangle attached arrows follow while this annotation is dragged.
    virtual std::optional<QRectF> liveRect(const Annotation&) const { return std::nullopt; }
    // Selection marks over an annotation that the painter has already drawn.
    virtual void paintSelection(QPainter& painter, const Annotation& shown, const CanvasMapping& map) const;

protected:
    explicit AnnotationView(const Annotation& annotation)
        : m_annotation(annotation)
    {
    }
    Annotation m_annotation;
};

class TextAnnotationView : public AnnotationView {
public:
    explicit TextAnnotationView(const TextAnnotation& text)
        : AnnotationView(text)
    {
    }
    bool hits(QPointF point) const override;
    double dragThreshold() const override { return 1; }
    Annotation dragged(int role, QPointF translation, const EditorViewModel& editor) const override;
    std::optional<QRectF> liveRect(const Annotation& shown) const override;
    void paintSelection(QPainter& painter, const Annotation& shown, const CanvasMapping& map) const override;
};

class ArrowAnnotationView : public AnnotationView {
public:
    explicit ArrowAnnotationView(const ArrowAnnotation& drawn)
        : AnnotationView(drawn)
    {
    }
    bool hits(QPointF point) const override;
    std::vector<AnnotationHandle> handles() const override;
    Annotation dragged(int role, QPointF translation, const EditorViewModel& editor) const override;
    Annotation committed(int role, QPointF translation, const EditorViewModel& editor) const override;
    // Where a dragged end would attach: the highlight shown while it is dragged.
    std::optional<QRectF> attachHighlight(int role, QPointF translation, const EditorViewModel& editor) const;
};

class ShapeAnnotationView : public AnnotationView {
public:
    explicit ShapeAnnotationView(const ShapeAnnotation& shape)
        : AnnotationView(shape)
    {
    }
    bool hits(QPointF point) const override;
    std::vector<AnnotationHandle> handles() const override;
    Annotation dragged(int role, QPointF translation, const EditorViewModel& editor) const override;
    std::optional<QRectF> liveRect(const Annotation& shown) const override;
};

class RedactAnnotationView : public AnnotationView {
public:
    explicit RedactAnnotationView(const RedactAnnotation& redact)
        : AnnotationView(redact)
    {
    }
    bool hits(QPointF point) const override;
    std::vector<AnnotationHandle> handles() const override;
    Annotation dragged(int role, QPointF translation, const EditorViewModel& editor) const override;
    std::optional<QRectF> liveRect(const Annotation& shown) const override;
    void paintSelection(QPainter& painter, const Annotation& shown, const CanvasMapping& map) const override;
};

class StrokeAnnotationView : public AnnotationView {
public:
    explicit StrokeAnnotationView(const StrokeAnnotation& stroke)
        : AnnotationView(stroke)
    {
    }
    bool hits(QPointF point) const override;
    std::vector<AnnotationHandle> handles() const override;
    // A handle scales the line with its box.
    Annotation dragged(int role, QPointF translation, const EditorViewModel& editor) const override;
    std::optional<QRectF> liveRect(const Annotation& shown) const override;
    void paintSelection(QPainter& painter, const Annotation& shown, const CanvasMapping& map) const override;
};

class StepAnnotationView : public AnnotationView {
public:
    explicit StepAnnotationView(const StepAnnotation& step)
        : AnnotationView(step)
    {
    }
    bool hits(QPointF point) const override;
    std::vector<AnnotationHandle> handles() const override;
    // A corner handle changes the diameter; the opposite corner stays.
    Annotation dragged(int role, QPointF translation, const EditorViewModel& editor) const override;
    std::optional<QRectF> liveRect(const Annotation& shown) const override;
    void paintSelection(QPainter& painter, const Annotation& shown, const CanvasMapping& map) const override;
};

// The mark around one member of a selection of several (no handles: those belong to a
// single selection).
void paintGroupSelectionMark(QPainter& painter, const Annotation& shown, const CanvasMapping& map);

// A rectangle after `handle` was dragged by `t`, raised to the 20-point minimum (the
// position is not corrected: a top or left handle dragged past the minimum moves the box).
QRectF resizedRect(const QRectF& rect, ShapeHandlePosition handle, QPointF t);

// The hot area of a shape: the inside when filled, else a band along its outline.
QPainterPath shapeHitArea(const ShapeAnnotation& shape);

} // namespace pelorin
