#include "ui/ExportFrameView.h"

#include "editor/EditorViewModel.h"
#include "ui/Glyphs.h"
#include "ui/UiStyle.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace pelorin {

using namespace ExportFrameLimits;

namespace {

constexpr double tagIconSize = 9;
constexpr double tagSpacing = 4;
constexpr double tagPadX = 8;
constexpr double tagPadY = 4;
constexpr double dragThreshold = 1;

QFont tagFont()
{
    return uiFont(10, QFont::Medium);
}

// Digits of equal width, so the size does not jitter while it changes during a drag.
double digitAdvance(const QFontMetricsF& metrics)
{
    double widest = 0;
    for (char c = '0'; c <= '9'; ++c)
        widest = std::max(widest, metrics.horizontalAdvance(QLatin1Char(c)));
    return widest;
}

double tabularWidth(const QString& text, const QFontMetricsF& metrics)
{
    const double digit = digitAdvance(metrics);
    double width = 0;
    for (const QChar c : text)
        width += c.isDigit() ? digit : metrics.horizontalAdvance(c);
    return width;
}

void drawTabular(QPainter& painter, QPointF baseline, const QString& text, const QFontMetricsF& metrics)
{
    const double digit = digitAdvance(metrics);
    double x = baseline.x();
    for (const QChar c : text) {
        const double advance = c.isDigit() ? digit : metrics.horizontalAdvance(c);
        const double inset = c.isDigit() ? (digit - metrics.horizontalAdvance(c)) / 2 : 0;
        painter.drawText(QPointF(x + inset, baseline.y()), QString(c));
        x += advance;
    }
}

QString tagText(QSize pixels)
{
    return QStringLiteral("%1 × %2").arg(pixels.width()).arg(pixels.height());
}

Qt::CursorShape cursorFor(HandlePosition p)
{
    switch (p) {
    case HandlePosition::topLeft:
    case HandlePosition::bottomRight:
        return Qt::SizeFDiagCursor;
    case HandlePosition::topRight:
    case HandlePosition::bottomLeft:
        return Qt::SizeBDiagCursor;
    case HandlePosition::top:
    case HandlePosition::bottom:
        return Qt::SizeVerCursor;
    case HandlePosition::left:
    case HandlePosition::right:
        return Qt::SizeHorCursor;
    }
    return Qt::ArrowCursor;
}

// The darkening outside the frame; it never takes the pointer.
class ExportFrameScrim : public QWidget {
public:
    ExportFrameScrim(QWidget* parent, const ExportFrameView* view)
        : QWidget(parent)
        , m_view(view)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_NoSystemBackground);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        QPainterPath path;
        path.setFillRule(Qt::OddEvenFill);
        path.addRect(QRectF(rect()));
        path.addRect(m_view->frame());
        painter.fillPath(path, QColor::fromRgbF(0, 0, 0, 0.32f));
    }

private:
    const ExportFrameView* m_view;
};

} // namespace

ExportFrameView::ExportFrameView(EditorViewModel& editor, QWidget* canvas)
    : QWidget(canvas)
    , m_editor(editor)
{
    m_scrim = new ExportFrameScrim(canvas, this);
    // The scrim lies right under the frame's own drawing.
    m_scrim->stackUnder(this);
    setAttribute(Qt::WA_NoSystemBackground);
    setMouseTracking(true);
    for (auto signal : {&EditorViewModel::exportFrameRectChanged, &EditorViewModel::canvasTransformChanged,
                        &EditorViewModel::documentChanged, &EditorViewModel::stylingChanged})
        connect(&m_editor, signal, this, &ExportFrameView::relayout);
    relayout();
}

QRectF ExportFrameView::frame() const
{
    if (m_draft)
        return *m_draft;
    if (const std::optional<QRectF>& stored = m_editor.exportFrameRect())
        return *stored;
    return m_editor.derivedExportFrame(viewport());
}

QSize ExportFrameView::outputPixelSize() const
{
    // Without a frame of the user's, what the canvas cuts off of the card is exported too.
    if (!m_draft)
        if (const std::optional<QSizeF> uncut = m_editor.uncutExportSize(viewport()))
            return pelorin::outputPixelSize(QRectF(QPointF(0, 0), *uncut), m_editor.exportScale(*uncut));
    return pelorin::outputPixelSize(frame(), m_editor.exportScale(viewport()));
}

QRectF ExportFrameView::tagRect() const
{
    const QFontMetricsF metrics(tagFont());
    const double textWidth = tabularWidth(tagText(outputPixelSize()), metrics);
    const double width = tagIconSize + tagSpacing + textWidth + 2 * tagPadX;
    const double height = std::max(tagIconSize, metrics.ascent() + metrics.descent()) + 2 * tagPadY;
    const QPointF centre = tagCenter(frame(), viewport());
    return {centre.x() - width / 2, centre.y() - height / 2, width, height};
}

std::optional<HandlePosition> ExportFrameView::handleAt(QPointF point) const
{
    const QRectF current = frame();
    const double reach = handleSize / 2 + handleHitGrowth;
    // Later handles are drawn over earlier ones, so they are asked first.
    for (auto it = allHandlePositions.rbegin(); it != allHandlePositions.rend(); ++it) {
        const QPointF d = point - handlePoint(current, *it);
        if (std::hypot(d.x(), d.y()) <= reach)
            return *it;
    }
    return std::nullopt;
}

bool ExportFrameView::moveAreaContains(QPointF point) const
{
    if (tagRect().contains(point))
        return true;
    for (const QRectF& band : borderBand(frame(), borderHitWidth)) {
        if (band.contains(point))
            return true;
    }
    return false;
}

QRegion ExportFrameView::hitRegion() const
{
    QRegion region;
    for (const QRectF& band : borderBand(frame(), borderHitWidth))
        region += band.toAlignedRect();
    const double reach = handleSize / 2 + handleHitGrowth;
    for (HandlePosition p : allHandlePositions) {
        const QPointF c = handlePoint(frame(), p);
        region += QRegion(QRectF(c.x() - reach, c.y() - reach, 2 * reach, 2 * reach).toAlignedRect(), QRegion::Ellipse);
    }
    region += tagRect().adjusted(-1, -1, 1, 1).toAlignedRect();
    return region;
}

void ExportFrameView::relayout()
{
    if (!m_editor.hasDocument()) {
        hide();
        m_scrim->hide();
        return;
    }
    const QRectF now = frame();
    setMask(hitRegion());
    if (isHidden()) {
        show();
        m_scrim->show();
        update();
        m_scrim->update();
    } else {
        repaintAround(m_shownFrame, now);
    }
    const bool moved = now != m_shownFrame;
    m_shownFrame = now;
    if (moved)
        Q_EMIT frameMoved();
}

void ExportFrameView::repaintAround(const QRectF& before, const QRectF& after)
{
    // Only the neighbourhood of the frame and its tag changes; the rest stays as it is.
    const QRectF both = before.united(after);
    const double reach = borderHitWidth;
    update(both.adjusted(-reach, -reach, reach, reach + 40).toAlignedRect());
    m_scrim->update(both.adjusted(-2, -2, 2, 2).toAlignedRect());
}

void ExportFrameView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF current = frame();

    // Dark outline from 2 points outside the edge to 1 inside, then the light one inside it.
    const QRectF dark = QRectF(current.center() - QPointF(current.width() / 2 + 2, current.height() / 2 + 2),
                               QSizeF(current.width() + 4, current.height() + 4));
    painter.setPen(QPen(QColor::fromRgbF(0, 0, 0, 0.25f), 3));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(dark.adjusted(1.5, 1.5, -1.5, -1.5));
    painter.setPen(QPen(QColor::fromRgbF(1, 1, 1, 0.85f), 1.5));
    painter.drawRect(current.adjusted(0.75, 0.75, -0.75, -0.75));

    for (HandlePosition p : allHandlePositions) {
        const QPointF c = handlePoint(current, p);
        const QRectF circle(c.x() - handleSize / 2, c.y() - handleSize / 2, handleSize, handleSize);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Qt::white);
        painter.drawEllipse(circle);
        painter.setPen(QPen(QColor::fromRgbF(0, 0, 0, 0.35f), 1));
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(circle.adjusted(0.5, 0.5, -0.5, -0.5));
    }

    const QRectF tag = tagRect();
    QPainterPath capsule;
    capsule.addRoundedRect(tag, tag.height() / 2, tag.height() / 2);
    painter.fillPath(capsule, QColor::fromRgbF(0, 0, 0, 0.55f));
    painter.setPen(QPen(QColor::fromRgbF(1, 1, 1, 0.18f), 1));
    const QRectF inner = tag.adjusted(0.5, 0.5, -0.5, -0.5);
    painter.drawRoundedRect(inner, inner.height() / 2, inner.height() / 2);
    const QColor content = QColor::fromRgbF(1, 1, 1, 0.9f);
    const QRectF icon(tag.left() + tagPadX, tag.center().y() - tagIconSize / 2, tagIconSize, tagIconSize);
    paintGlyph(painter, Glyph::cameraViewfinder, icon, content, 1.1);
    const QFont font = tagFont();
    const QFontMetricsF metrics(font);
    painter.setFont(font);
    painter.setPen(content);
    const double baseline = tag.center().y() + (metrics.ascent() - metrics.descent()) / 2;
    drawTabular(painter, QPointF(icon.right() + tagSpacing, baseline), tagText(outputPixelSize()), metrics);
}

void ExportFrameView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    const QPointF at = event->position();
    // The tag is drawn last, so it wins over a handle it covers.
    if (tagRect().contains(at)) {
        m_dragKind = DragKind::move;
    } else if (const std::optional<HandlePosition> handle = handleAt(at)) {
        m_dragKind = DragKind::resize;
        m_dragHandle = *handle;
    } else if (moveAreaContains(at)) {
        m_dragKind = DragKind::move;
    } else {
        event->ignore();
        return;
    }
    m_pressPosition = at;
    m_anchor.reset();
    if (m_dragKind == DragKind::move)
        setCursor(Qt::ClosedHandCursor);
    event->accept();
}

void ExportFrameView::mouseMoveEvent(QMouseEvent* event)
{
    const QPointF at = event->position();
    if (m_dragKind == DragKind::none) {
        updateHoverCursor(at);
        return;
    }
    const QPointF delta = at - m_pressPosition;
    if (!m_anchor) {
        if (std::hypot(delta.x(), delta.y()) < dragThreshold)
            return;
        m_anchor = frame();
    }
    m_draft = m_dragKind == DragKind::move ? movedFrame(*m_anchor, delta, viewport())
                                           : resizedFrame(*m_anchor, m_dragHandle, delta, viewport());
    relayout();
}

void ExportFrameView::mouseReleaseEvent(QMouseEvent* event)
{
    if (m_dragKind == DragKind::none) {
        event->ignore();
        return;
    }
    commit();
    updateHoverCursor(event->position());
}

void ExportFrameView::commit()
{
    const std::optional<QRectF> draft = m_draft;
    m_draft.reset();
    m_anchor.reset();
    m_dragKind = DragKind::none;
    if (draft)
        m_editor.setExportFrameRect(*draft);
    relayout();
}

void ExportFrameView::updateHoverCursor(QPointF point)
{
    if (tagRect().contains(point))
        setCursor(Qt::OpenHandCursor);
    else if (const std::optional<HandlePosition> handle = handleAt(point))
        setCursor(cursorFor(*handle));
    else
        setCursor(Qt::OpenHandCursor);
}

void ExportFrameView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    m_scrim->setGeometry(geometry());
    relayout();
}

} // namespace pelorin
