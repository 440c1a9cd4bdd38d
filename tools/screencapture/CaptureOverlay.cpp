#include "CaptureOverlay.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QtMath>

namespace {

const QColor accent(122, 104, 246);

} // namespace

CaptureOverlay::CaptureOverlay(QScreen* screen, QImage frozen, bool windowMode, QList<QRect> windows)
    : QWidget(nullptr, Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::BypassWindowManagerHint | Qt::Tool)
    , m_frozen(std::move(frozen))
    , m_windowMode(windowMode)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setCursor(windowMode ? Qt::PointingHandCursor : Qt::CrossCursor);
    setMouseTracking(true);
    setGeometry(screen->geometry());
    for (const QRect& window : windows) {
        const QRect local = window.translated(-screen->geometry().topLeft()) & rect();
        if (!local.isEmpty())
            m_windows.append(local);
    }
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
    const QRect bright = m_windowMode ? m_hovered : m_selection;
    // Everything but the chosen area is dimmed, so the choice reads at a glance.
    QRegion dim(rect());
    if (!bright.isEmpty())
        dim -= bright;
    painter.setClipRegion(dim);
    painter.fillRect(rect(), QColor(0, 0, 0, 110));
    painter.setClipping(false);
    if (!bright.isEmpty()) {
        painter.setPen(QPen(accent, 2));
        painter.drawRect(bright.adjusted(0, 0, -1, -1));
        if (!m_windowMode) {
            const qreal ratio = m_frozen.width() / qreal(std::max(1, width()));
            const QString size = QStringLiteral("%1 × %2").arg(qRound(bright.width() * ratio)).arg(qRound(bright.height() * ratio));
            const QRect tag = painter.fontMetrics().boundingRect(size).adjusted(-6, -3, 6, 3);
            QRect placed = tag.translated(bright.left() - tag.left(), bright.bottom() + 6 - tag.top());
            if (placed.bottom() > height())
                placed.moveBottom(bright.top() - 6);
            painter.fillRect(placed, QColor(0, 0, 0, 180));
            painter.setPen(Qt::white);
            painter.drawText(placed, Qt::AlignCenter, size);
        }
    }
}

void CaptureOverlay::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        if (event->button() == Qt::RightButton)
            Q_EMIT cancelled();
        return;
    }
    if (m_windowMode) {
        const QRect window = windowAt(event->position().toPoint());
        if (!window.isEmpty())
            finish(window);
        return;
    }
    m_dragging = true;
    m_anchor = event->position().toPoint();
    m_selection = QRect(m_anchor, QSize(0, 0));
}

void CaptureOverlay::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint at = event->position().toPoint();
    if (m_windowMode) {
        const QRect window = windowAt(at);
        if (window != m_hovered) {
            m_hovered = window;
            update();
        }
        return;
    }
    if (m_dragging) {
        m_selection = QRect(m_anchor, at).normalized().adjusted(0, 0, -1, -1) & rect();
        update();
    }
}

void CaptureOverlay::mouseReleaseEvent(QMouseEvent* event)
{
    if (m_windowMode || !m_dragging || event->button() != Qt::LeftButton)
        return;
    m_dragging = false;
    // A click without a drag is no selection: keep waiting rather than capture a pixel.
    if (m_selection.width() < 3 || m_selection.height() < 3) {
        m_selection = {};
        update();
        return;
    }
    finish(m_selection);
}

void CaptureOverlay::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape)
        Q_EMIT cancelled();
}

void CaptureOverlay::finish(const QRect& logical)
{
    const qreal ratio = m_frozen.width() / qreal(std::max(1, width()));
    const QRect pixels = QRect(QPoint(qFloor(logical.left() * ratio), qFloor(logical.top() * ratio)),
                               QPoint(qCeil((logical.right() + 1) * ratio) - 1, qCeil((logical.bottom() + 1) * ratio) - 1))
        & m_frozen.rect();
    QImage picture = m_frozen.copy(pixels);
    picture.setDevicePixelRatio(ratio);
    Q_EMIT chosen(picture);
}
