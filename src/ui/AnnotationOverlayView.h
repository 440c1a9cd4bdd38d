#pragma once

#include "core/Annotation.h"
#include "ui/AnnotationViews.h"

#include <QPointer>
#include <QTextEdit>
#include <QWidget>

#include <memory>
#include <optional>
#include <vector>

namespace pelorin {

class EditorViewModel;

// The field that replaces a text annotation while it is typed into. Shift+Return breaks the
// line; Return, Esc and leaving the field end the edit.
class AnnotationTextField : public QTextEdit {
    Q_OBJECT
public:
    explicit AnnotationTextField(QWidget* parent);

Q_SIGNALS:
    void submitted();
    void escapePressed();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
};

// The editing layer over the flat card: paints the annotations (with the export's own
// routines, so the canvas shows what is exported), the selection marks, handles and the
// previews of annotations being dragged out, and turns presses, drags, double clicks and keys
// into editor operations. It is absent while the card is tilted.
class AnnotationOverlayView : public QWidget {
    Q_OBJECT
public:
    struct QuickPhase {
        std::optional<QUuid> rectId; // none: idle
        QRectF rectBounds;
    };

    AnnotationOverlayView(EditorViewModel& editor, QWidget* canvas);
    ~AnnotationOverlayView() override;

    // The card counts as rotated: the annotations are then shown on the tilted card instead.
    static bool cardIsRotated(const EditorViewModel& editor);

    // Takes the pointer and shows anything only while a document is open on a flat card.
    bool isPresent() const;
    CanvasMapping mapping() const;
    QPointF toView(QPointF doc) const { return mapping().toView(doc); }

    QUuid editingTextId() const { return m_editingTextId; }
    AnnotationTextField* textField() const { return m_field; }
    void beginTextEdit(const QUuid& id, const QString& text);
    // Ends the edit: the text is stored, or removed when only white space is left; with
    // `escapeDiscardsChainText` the label of the last quick chain is removed instead.
    void commitActiveTextEdit(bool escapeDiscardsChainText);

    const QuickPhase& quickPhase() const { return m_quickPhase; }
    std::optional<QPointF> quickHoverPoint() const { return m_quickHoverPoint; }
    // The smallest offered element containing `point`; the earlier one among equal areas.
    std::optional<QRectF> hoveredQuickElement(QPointF point) const;
    QString quickStatusText() const;
    bool isDragging() const { return m_drag.has_value(); }
    // Whether a Shift+press at `viewPoint` is this layer's (adding to the selection, or a
    // straight pen line) rather than the canvas's drag zoom.
    bool takesShiftPress(QPointF viewPoint) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    // A press that may become a drag of an annotation (or one of its handles) or a new one.
    struct Drag {
        QPointF startView;
        QPointF startDoc;
        QPointF currentDoc;
        bool started = false;
        std::shared_ptr<AnnotationView> view; // none: dragging out a new annotation or a rubber band
        int role = AnnotationView::body;
        bool group = false;          // moves every selected annotation
        std::vector<QPointF> points; // the pointer's path, for the pen and the highlighter
        bool straight = false;       // Shift held: a straight pen line, a level highlighter band
    };

    void refresh();
    void rebuildViews();
    std::shared_ptr<AnnotationView> viewAt(QPointF doc, int* role) const;
    void handleTap(QPointF doc);
    void finishDrag(QPointF doc);
    void createAnnotation(AnnotationTool tool, QPointF start, QPointF end);
    std::optional<Annotation> creationPreview() const;
    std::optional<StrokeAnnotation> strokePreview() const;
    std::optional<QRectF> rubberBand() const;
    std::optional<Annotation> liveAnnotation() const;
    void reportLive(const std::optional<Annotation>& live);
    void placeTextField();
    void paintQuickLayer(QPainter& painter, const CanvasMapping& map) const;
    void quickClick(QPointF doc);
    void landQuickArrow(const QUuid& rectId, const QRectF& rectBounds, QPointF tail);
    void setQuickPhase(QuickPhase phase);

    EditorViewModel& m_editor;
    std::vector<std::shared_ptr<AnnotationView>> m_views; // drawing order, arrows resolved
    std::optional<Drag> m_drag;
    QUuid m_editingTextId;
    AnnotationTextField* m_field = nullptr;
    bool m_committing = false;
    QuickPhase m_quickPhase;
    std::optional<QPointF> m_quickHoverPoint;
    QUuid m_quickChainTextId;
};

} // namespace pelorin
