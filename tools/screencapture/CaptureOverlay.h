#pragma once

#include <QImage>
#include <QList>
#include <QRect>
#include <QWidget>

#include <functional>

// A frozen picture of one screen, full-screen over it: the user drags a region, or in window
// mode clicks one of the highlighted windows. Escape cancels.
class CaptureOverlay : public QWidget {
    Q_OBJECT
public:
    // `frozen` is the screen's picture in device pixels; `windows` are in global logical
    // coordinates, front-most first (window mode only).
    CaptureOverlay(QScreen* screen, QImage frozen, bool windowMode, QList<QRect> windows);

Q_SIGNALS:
    // The chosen area of this screen's picture, in device pixels.
    void chosen(const QImage& image);
    void cancelled();

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QRect windowAt(QPoint local) const;
    void finish(const QRect& logical);

    QImage m_frozen;
    bool m_windowMode;
    QList<QRect> m_windows; // local logical coordinates
    QPoint m_anchor;
    QRect m_selection;
    QRect m_hovered;
    bool m_dragging = false;
};
