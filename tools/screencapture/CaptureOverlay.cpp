#include "CaptureOverlay.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QtMath>

#include <algorithm>

namespace {

const QColor accent(122, 104, 246);
const QColor labelBackground(0, 0, 0, 190);

// The magnifier shows this many pixels across, each this many points wide: an odd count, so
// one pixel sits in the middle under the crosshair.
constexpr int magnifiedPixels = 15;
constexpr int magnifiedZoom = 8;

QSize labelSize(const QPainter& painter, const QString& text)
{
    return QSize(painter.fontMetrics().horizontalAdvance(text) + 16, painter.fontMetrics().height() + 8);
}

// A dark rounded label with one line of white text, its top-left at `at`.
QRect drawLabel(QPainter& painter, QPoint at, const QString& text)
{
    const QRect placed(at, labelSize(painter, text));
    painter.setPen(Qt::NoPen);
    painter.setBrush(labelBackground);
    painter.drawRoundedRect(placed, 5, 5);
    painter.setPen(Qt::white);
    painter.drawText(placed, Qt::AlignCenter, text);
    return placed;
}

} // namespace

CaptureOverlay::CaptureOverlay(QRect desktop, QPoint position, QList<QRect> monitors, QImage frozen, Options options, QList<QRect> windows,
                               QPoint pointer)
    : QWidget(nullptr, Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::BypassWindowManagerHint | Qt::Tool)
    , m_frozen(std::move(frozen))
    , m_desktop(desktop)
    , m_options(options)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setCursor(options.windowMode ? Qt::PointingHandCursor : Qt::CrossCursor);
    setMouseTracking(true);
    setGeometry(QRect(position, desktop.size()));
    for (const QRect& monitor : monitors)
        m_monitors.append(monitor.translated(-desktop.topLeft()));
    for (const QRect& window : windows) {
        const QRect local = window.translated(-desktop.topLeft()) & rect();
        if (!local.isEmpty())
            m_windows.append(local);
    }
    pointer -= desktop.topLeft();
    if (rect().contains(pointer))
        m_pointer = pointer;
}

qreal CaptureOverlay::ratio() const
{
    return m_frozen.width() / qreal(std::max(1, width()));
}

QRect CaptureOverlay::windowAt(QPoint local) const
{
    for (const QRect& window : m_windows)
        if (window.contains(local))
            return window;
    return {};
}

void CaptureOverlay::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.drawImage(rect(), m_frozen);
    const QRect bright = m_options.windowMode ? m_hovered : m_selection;
    // Everything but the chosen area is dimmed, so the choice reads at a glance.
    QRegion dim(rect());
    if (!bright.isEmpty())
        dim -= bright;
    painter.setClipRegion(dim);
    painter.fillRect(rect(), QColor(0, 0, 0, 110));
    painter.setClipping(false);
    if (!bright.isEmpty()) {
        painter.setPen(QPen(accent, 2));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(bright.adjusted(0, 0, -1, -1));
        paintSizeReadout(painter, bright);
    }
    if (!m_options.windowMode && m_options.magnifier && m_drag != Drag::Move)
        paintMagnifier(painter);
    paintHint(painter);
}

// The size in pixels, as the file will have it, beside the selection: under it, or above it
// when the screen ends, or inside it when neither fits.
void CaptureOverlay::paintSizeReadout(QPainter& painter, const QRect& bright)
{
    const QString text = QStringLiteral("%1 × %2").arg(qRound(bright.width() * ratio())).arg(qRound(bright.height() * ratio()));
    const QSize size = labelSize(painter, text);
    QPoint at(bright.left(), bright.bottom() + 6);
    if (at.y() + size.height() > height())
        at.setY(bright.top() - 6 - size.height());
    if (at.y() < 0)
        at.setY(bright.top() + 6);
    at.setX(std::clamp(at.x(), 0, std::max(0, width() - size.width())));
    drawLabel(painter, at, text);
}

// The pixels under the pointer, enlarged, with a crosshair on the middle one and its colour.
void CaptureOverlay::paintMagnifier(QPainter& painter)
{
    if (!rect().contains(m_pointer))
        return;
    const QPoint pixel(std::min(m_frozen.width() - 1, int(m_pointer.x() * ratio())),
                       std::min(m_frozen.height() - 1, int(m_pointer.y() * ratio())));
    const int half = magnifiedPixels / 2;
    QImage patch(magnifiedPixels, magnifiedPixels, QImage::Format_RGB32);
    patch.fill(Qt::black); // beyond the desktop's edge
    {
        // Pixel for pixel: the painter would shrink a picture that carries the screen's scale.
        QImage pixels = m_frozen;
        pixels.setDevicePixelRatio(1);
        QPainter copy(&patch);
        copy.drawImage(QPoint(0, 0), pixels, QRect(pixel - QPoint(half, half), QSize(magnifiedPixels, magnifiedPixels)));
    }
    const int side = magnifiedPixels * magnifiedZoom;
    const QColor colour = m_frozen.pixelColor(pixel);
    const QString caption = QStringLiteral("%1   %2, %3").arg(colour.name().toUpper()).arg(pixel.x()).arg(pixel.y());
    const QSize captionSize = labelSize(painter, caption);
    const QSize whole(std::max(side, captionSize.width()), side + 4 + captionSize.height());

    // Down and to the right of the pointer, flipped where the monitor ends.
    QRect monitor = rect();
    for (const QRect& m : m_monitors)
        if (m.contains(m_pointer))
            monitor = m;
    QPoint at = m_pointer + QPoint(24, 24);
    if (at.x() + whole.width() > monitor.right())
        at.setX(m_pointer.x() - 24 - whole.width());
    if (at.y() + whole.height() > monitor.bottom())
        at.setY(m_pointer.y() - 24 - whole.height());

    const QRect lens(at, QSize(side, side));
    QPainterPath round;
    round.addRoundedRect(lens, 6, 6);
    painter.save();
    painter.setClipPath(round);
    painter.drawImage(lens, patch); // nearest pixels, as the painter scales without smoothing
    const QRect middle(lens.topLeft() + QPoint(half, half) * magnifiedZoom, QSize(magnifiedZoom, magnifiedZoom));
    painter.setPen(QPen(QColor(255, 255, 255, 90), 1));
    painter.drawLine(lens.left(), middle.center().y(), middle.left() - 1, middle.center().y());
    painter.drawLine(middle.right() + 1, middle.center().y(), lens.right(), middle.center().y());
    painter.drawLine(middle.center().x(), lens.top(), middle.center().x(), middle.top() - 1);
    painter.drawLine(middle.center().x(), middle.bottom() + 1, middle.center().x(), lens.bottom());
    painter.restore();
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(colour.lightness() > 128 ? Qt::black : Qt::white, 1));
    painter.drawRect(middle.adjusted(0, 0, -1, -1));
    painter.setPen(QPen(accent, 2));
    painter.drawRoundedRect(lens, 6, 6);
    const QRect label = drawLabel(painter, lens.bottomLeft() + QPoint(0, 5), caption);
    // A swatch of the colour at the label's end is quicker to read than the number.
    painter.fillRect(QRect(label.right() + 4, label.top(), label.height(), label.height()), colour);
}

void CaptureOverlay::paintHint(QPainter& painter)
{
    QString text;
    if (m_options.windowMode)
        text = QStringLiteral("Click a window to capture it  ·  Space for a region  ·  Esc to cancel");
    else if (m_selection.isEmpty() || m_drag == Drag::Select)
        text = QStringLiteral("Drag to select a region  ·  Space for a window  ·  Esc to cancel");
    else
        text = QStringLiteral("Enter or double-click to capture  ·  arrows move, Shift+arrows resize (Alt: 10 px)  ·  Esc to cancel");
    QRect monitor = m_monitors.value(0, rect());
    for (const QRect& m : m_monitors)
        if (m.contains(m_pointer))
            monitor = m;
    const QSize size = labelSize(painter, text);
    QPoint at(monitor.center().x() - size.width() / 2, monitor.top() + 16);
    // Out of the way of a selection that reaches the top of the monitor.
    const QRect bright = m_options.windowMode ? m_hovered : m_selection;
    if (bright.intersects(QRect(at, size)))
        at.setY(monitor.bottom() - 16 - size.height());
    drawLabel(painter, at, text);
}

void CaptureOverlay::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        if (event->button() == Qt::RightButton)
            Q_EMIT cancelled();
        return;
    }
    const QPoint at = event->position().toPoint();
    if (m_options.windowMode) {
        const QRect window = windowAt(at);
        if (!window.isEmpty())
            finish(window);
        return;
    }
    if (m_selection.contains(at)) { // drag the selection about
        m_drag = Drag::Move;
        m_moveOffset = at - m_selection.topLeft();
        return;
    }
    m_drag = Drag::Select;
    m_anchor = at;
    m_selection = QRect(m_anchor, QSize(0, 0));
    update();
}

void CaptureOverlay::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint at = event->position().toPoint();
    m_pointer = at;
    if (m_options.windowMode) {
        m_hovered = windowAt(at);
    } else if (m_drag == Drag::Select) {
        m_selection = QRect(m_anchor, at).normalized().adjusted(0, 0, -1, -1) & rect();
    } else if (m_drag == Drag::Move) {
        const QPoint topLeft = at - m_moveOffset;
        m_selection.moveTopLeft(QPoint(std::clamp(topLeft.x(), 0, width() - m_selection.width()),
                                       std::clamp(topLeft.y(), 0, height() - m_selection.height())));
    }
    update();
}

void CaptureOverlay::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || m_drag == Drag::None)
        return;
    // A click without a drag is no selection: keep waiting rather than capture a pixel.
    if (m_drag == Drag::Select && (m_selection.width() < 3 || m_selection.height() < 3))
        m_selection = {};
    m_drag = Drag::None;
    update();
}

void CaptureOverlay::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const QPoint at = event->position().toPoint();
    if (m_options.windowMode)
        mousePressEvent(event);
    else if (m_selection.contains(at))
        finish(m_selection);
}

void CaptureOverlay::keyPressEvent(QKeyEvent* event)
{
    const int key = event->key();
    if (key == Qt::Key_Escape) {
        Q_EMIT cancelled();
        return;
    }
    if (key == Qt::Key_Space) {
        m_options.windowMode = !m_options.windowMode;
        m_drag = Drag::None;
        m_hovered = windowAt(m_pointer);
        setCursor(m_options.windowMode ? Qt::PointingHandCursor : Qt::CrossCursor);
        update();
        return;
    }
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        const QRect chosen = m_options.windowMode ? m_hovered : m_selection;
        if (!chosen.isEmpty())
            finish(chosen);
        return;
    }
    if (m_options.windowMode || m_selection.isEmpty())
        return;
    QPoint step;
    switch (key) {
    case Qt::Key_Left: step = {-1, 0}; break;
    case Qt::Key_Right: step = {1, 0}; break;
    case Qt::Key_Up: step = {0, -1}; break;
    case Qt::Key_Down: step = {0, 1}; break;
    default: return;
    }
    if (event->modifiers() & Qt::AltModifier)
        step *= 10;
    if (event->modifiers() & Qt::ShiftModifier) { // grow or shrink from the top-left corner
        const QSize size(std::clamp(m_selection.width() + step.x(), 1, width() - m_selection.left()),
                         std::clamp(m_selection.height() + step.y(), 1, height() - m_selection.top()));
        m_selection.setSize(size);
    } else {
        const QPoint topLeft = m_selection.topLeft() + step;
        m_selection.moveTopLeft(QPoint(std::clamp(topLeft.x(), 0, width() - m_selection.width()),
                                       std::clamp(topLeft.y(), 0, height() - m_selection.height())));
    }
    update();
}

void CaptureOverlay::finish(const QRect& logical)
{
    const qreal r = ratio();
    const QRect pixels = QRect(QPoint(qFloor(logical.left() * r), qFloor(logical.top() * r)),
                               QPoint(qCeil((logical.right() + 1) * r) - 1, qCeil((logical.bottom() + 1) * r) - 1))
        & m_frozen.rect();
    QImage picture = m_frozen.copy(pixels);
    picture.setDevicePixelRatio(r);
    Q_EMIT chosen(picture, logical.translated(m_desktop.topLeft()));
}
