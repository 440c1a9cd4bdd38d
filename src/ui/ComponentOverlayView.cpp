#include "ui/ComponentOverlayView.h"

#include "editor/EditorViewModel.h"
#include "ui/AnnotationOverlayView.h"
#include "ui/UiStyle.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QRegion>

namespace pelorin {

namespace {

constexpr double boxCornerRadius = 3;
constexpr double tagLift = 18;
// Clicks this close outside a box's outline still count as on it.
constexpr int hitSlop = 3;

} // namespace

ComponentOverlayView::ComponentOverlayView(EditorViewModel& editor, QWidget* canvas)
    : QWidget(canvas)
    , m_editor(editor)
{
    setAttribute(Qt::WA_NoSystemBackground);
    for (auto signal : {&EditorViewModel::detectedComponentsChanged, &EditorViewModel::showComponentOverlayChanged,
                        &EditorViewModel::canvasTransformChanged, &EditorViewModel::documentChanged,
                        &EditorViewModel::sceneStateChanged, &EditorViewModel::isRotatingGestureChanged})
        connect(&m_editor, signal, this, &ComponentOverlayView::refresh);
    refresh();
}

QColor ComponentOverlayView::boxColor()
{
    return QColor(10, 132, 255);
}

QRectF ComponentOverlayView::boxRect(const DetectedComponent& c) const
{
    const std::optional<QRectF> card = m_editor.cardRect(QSizeF(size()));
    if (!card)
        return {};
    const double zoom = m_editor.canvasTransform().zoomLevel;
    return {card->x() + c.x1 * zoom, card->y() + c.y1 * zoom, (c.x2 - c.x1) * zoom, (c.y2 - c.y1) * zoom};
}

QFont ComponentOverlayView::tagFont()
{
    return uiFont(9, QFont::Medium);
}

QRectF ComponentOverlayView::tagRect(const DetectedComponent& c) const
{
    const QRectF box = boxRect(c);
    const QFontMetricsF metrics(tagFont());
    // Padded 4 across and 2 down, lifted so it sits just above the box's top edge.
    return {box.left(), box.top() - tagLift, metrics.horizontalAdvance(c.label) + 8, metrics.height() + 4};
}

void ComponentOverlayView::refresh()
{
    const bool shows = m_editor.showComponentOverlay() && m_editor.hasDocument() && !AnnotationOverlayView::cardIsRotated(m_editor);
    if (shows) {
        // The mask is where the view takes clicks and where it can draw: the boxes and tags.
        QRegion hits;
        for (const DetectedComponent& c : m_editor.detectedComponents()) {
            hits += boxRect(c).toAlignedRect().adjusted(-hitSlop, -hitSlop, hitSlop, hitSlop);
            if (c.isHighlighted)
                hits += tagRect(c).toAlignedRect().adjusted(-1, -1, 1, 1);
        }
        // An empty mask would mean "no mask": the whole canvas would stop taking clicks.
        setMask(hits.isEmpty() ? QRegion(-2, -2, 1, 1) : hits);
        update();
    }
    setVisible(shows);
}

void ComponentOverlayView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    refresh();
}

void ComponentOverlayView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor blue = boxColor();
    for (const DetectedComponent& c : m_editor.detectedComponents()) {
        const QRectF box = boxRect(c);
        QColor outline = blue;
        outline.setAlphaF(c.isHighlighted ? 1.0f : 0.5f);
        painter.setPen(QPen(outline, c.isHighlighted ? 2.5 : 1.5));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(box, boxCornerRadius, boxCornerRadius);
    }
    painter.setFont(tagFont());
    for (const DetectedComponent& c : m_editor.detectedComponents()) {
        if (!c.isHighlighted)
            continue;
        const QRectF tag = tagRect(c);
        painter.setPen(Qt::NoPen);
        painter.setBrush(blue);
        painter.drawRoundedRect(tag, boxCornerRadius, boxCornerRadius);
        painter.setPen(Qt::white);
        painter.drawText(tag, Qt::AlignCenter, c.label);
    }
}

void ComponentOverlayView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    const QPointF at = event->position();
    const auto& components = m_editor.detectedComponents();
    // The box drawn last is on top.
    for (auto it = components.rbegin(); it != components.rend(); ++it) {
        if (boxRect(*it).adjusted(-hitSlop, -hitSlop, hitSlop, hitSlop).contains(at)) {
            m_editor.toggleComponentHighlight(it->id);
            event->accept();
            return;
        }
    }
    event->ignore();
}

} // namespace pelorin
