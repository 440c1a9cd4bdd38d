#pragma once

#include "ui/ExportFrameGeometry.h"

#include <QPointer>
#include <QWidget>

#include <optional>

namespace pelorin {

class EditorViewModel;

// The export frame over the canvas: the scrim outside it, its outlines, the move band, the
// eight resize handles and the tag with the exported size. Only the band, the handles and the
// tag take the pointer (the widget's mask is exactly those areas), so presses inside the frame
// reach whatever lies below. A drag changes a draft that only this view shows; the editor's
// frame is set when the drag ends.
class ExportFrameView : public QWidget {
    Q_OBJECT
public:
    ExportFrameView(EditorViewModel& editor, QWidget* canvas);

    // The draft while dragging, else the stored frame, else the default frame.
    QRectF frame() const;
    QSize outputPixelSize() const;
    QRectF tagRect() const;
    bool isDragging() const { return m_draft.has_value(); }

    // Follows the editor's frame, zoom, pan and document.
    void relayout();

Q_SIGNALS:
    // The shown frame (or its tag) moved.
    void frameMoved();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    enum class DragKind { none, move, resize };

    QSizeF viewport() const { return QSizeF(size()); }
    std::optional<HandlePosition> handleAt(QPointF point) const;
    bool moveAreaContains(QPointF point) const;
    QRegion hitRegion() const;
    void updateHoverCursor(QPointF point);
    void commit();
    void repaintAround(const QRectF& before, const QRectF& after);

    EditorViewModel& m_editor;
    QPointer<QWidget> m_scrim;
    std::optional<QRectF> m_draft;
    std::optional<QRectF> m_anchor;
    DragKind m_dragKind = DragKind::none;
    HandlePosition m_dragHandle = HandlePosition::topLeft;
    QPointF m_pressPosition;
    QRectF m_shownFrame;
};

} // namespace pelorin
