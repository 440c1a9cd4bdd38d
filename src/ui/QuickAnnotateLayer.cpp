// The quick chain of the annotation overlay: one click outlines a detected element, a second
// places an arrow pointing at it and a label to type into.
#include "ui/AnnotationOverlayView.h"

#include "core/AppConstants.h"
#include "editor/EditorViewModel.h"
#include "render/AnnotationPainter.h"
#include "ui/UiStyle.h"

#include <QPainter>

#include <cmath>

namespace pelorin {

namespace {

constexpr double labelGap = 12;
constexpr double labelShiftLeft = 80;

} // namespace

std::optional<QRectF> AnnotationOverlayView::hoveredQuickElement(QPointF point) const
{
    std::optional<QRectF> best;
    for (const QRectF& element : m_editor.quickAnnotationElements()) {
        if (!element.contains(point))
            continue;
        if (!best || element.width() * element.height() < best->width() * best->height())
            best = element;
    }
    return best;
}

QString AnnotationOverlayView::quickStatusText() const
{
    if (m_editor.isDetectingElements())
        return QStringLiteral("Detecting elements…");
    if (m_editor.quickAnnotationElements().empty())
        return QStringLiteral("No elements detected in this screenshot");
    if (!m_quickPhase.rectId)
        return QStringLiteral("Click an outlined element to annotate it");
    return QStringLiteral("Click to place the arrow and label — Esc cancels the arrow");
}

void AnnotationOverlayView::setQuickPhase(QuickPhase phase)
{
    m_quickPhase = phase;
    if (!phase.rectId) {
        m_editor.setQuickChainEscapeHandler({});
    } else {
        // Esc first takes back the waiting arrow; the outlined rectangle stays.
        m_editor.setQuickChainEscapeHandler([self = QPointer<AnnotationOverlayView>(this)] {
            if (self)
                self->setQuickPhase({});
            return true;
        });
    }
    update();
}

void AnnotationOverlayView::quickClick(QPointF doc)
{
    if (m_quickPhase.rectId) {
        const QuickPhase phase = m_quickPhase;
        landQuickArrow(*phase.rectId, phase.rectBounds, doc);
        return;
    }
    const std::optional<QRectF> element = m_editor.isDetectingElements() ? std::nullopt : hoveredQuickElement(doc);
    if (!element) {
        m_editor.setSelectedAnnotationId({});
        return;
    }
    ShapeAnnotation outline = m_editor.makeShapeAnnotation(*element);
    outline.shapeType = ShapeType::rectangle;
    m_editor.addAnnotation(outline, true);
    setQuickPhase({outline.id, *element});
}

void AnnotationOverlayView::landQuickArrow(const QUuid& rectId, const QRectF& rectBounds, QPointF tail)
{
    setQuickPhase({});
    const QPointF centre = rectBounds.center();
    const QPointF d = tail - centre;
    const double len = std::max(std::hypot(d.x(), d.y()), 0.001);
    QPointF label = tail + d / len * labelGap;
    if (d.x() < -0.3 * len)
        label.rx() -= labelShiftLeft;
    if (d.y() < -0.3 * len) {
        const double size = m_editor.annotationDefaults().number(AnnotationDefaultKeys::textFontSize,
                                                                 AppConstants::defaultTextSize);
        label.ry() -= size * 1.25 + 16;
    }
    const TextAnnotation text = m_editor.makeTextAnnotation(label);
    // The arrow, its label and the typing of it undo as one step.
    m_editor.beginAnnotationEditRun(text.id);
    m_editor.addAnnotation(text, true);

    ArrowAnnotation arrow = m_editor.makeArrowAnnotation(tail, centre);
    if (arrow.style == ArrowStyle::line)
        arrow.style = ArrowStyle::single;
    arrow.startAttachment = ArrowAttachment{text.id, {0.5, 0.5}};
    arrow.endAttachment = ArrowAttachment{rectId, {0.5, 0.5}};
    m_editor.addAnnotation(arrow, true);

    m_editor.setSelectedAnnotationId(text.id);
    m_quickChainTextId = text.id;
    beginTextEdit(text.id, QString());
}

void AnnotationOverlayView::paintQuickLayer(QPainter& painter, const CanvasMapping& map) const
{
    painter.save();
    painter.setBrush(Qt::NoBrush);
    QColor faint = Theme::accent();
    faint.setAlphaF(0.25f);
    painter.setPen(QPen(faint, 1));
    const std::vector<QRectF> elements =
        m_editor.isDetectingElements() ? std::vector<QRectF>{} : m_editor.quickAnnotationElements();
    for (const QRectF& element : elements)
        painter.drawRoundedRect(map.toView(element), 3, 3);

    if (m_quickHoverPoint) {
        if (!m_quickPhase.rectId) {
            if (const std::optional<QRectF> hovered = hoveredQuickElement(*m_quickHoverPoint)) {
                painter.setPen(QPen(Theme::accent(), 2));
                painter.drawRoundedRect(map.toView(*hovered), 3, 3);
            }
        } else {
            // The arrow the next click makes, drawn back from the pointer to the outline.
            const QRectF& b = m_quickPhase.rectBounds;
            const double w = m_editor.annotationDefaults().number(AnnotationDefaultKeys::arrowStrokeWidth,
                                                                  AppConstants::defaultArrowWidth);
            ArrowAnnotation preview;
            preview.position = *m_quickHoverPoint;
            preview.endPoint = attachedPoint(*m_quickHoverPoint, b.center(), b, w * 0.5 + 4);
            preview.strokeWidth = w;
            preview.style = ArrowStyle::single;
            preview.color = m_editor.annotationColor();
            painter.translate(map.origin);
            paintArrowAnnotation(painter, preview, map.zoom);
            painter.resetTransform();
        }
    }

    // The status line, centred at the top of the canvas.
    const QString status = quickStatusText();
    QFont font = uiFont(12, QFont::Medium);
    painter.setFont(font);
    const QFontMetricsF metrics(font);
    const QSizeF pill(metrics.horizontalAdvance(status) + 28, metrics.height() + 14);
    const QRectF box(QPointF((width() - pill.width()) / 2, 14), pill);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(20, 20, 24, 215));
    painter.drawRoundedRect(box, box.height() / 2, box.height() / 2);
    painter.setPen(Qt::white);
    painter.drawText(box, Qt::AlignCenter, status);
    painter.restore();
}

} // namespace pelorin
