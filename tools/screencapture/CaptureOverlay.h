#pragma once

#include <QImage>
#include <QList>
#include <QRect>
#include <QWidget>

// A frozen picture of the whole desktop, over every monitor at once: the user drags a region
// (and fine-tunes it with the keys), or in window mode clicks one of the highlighted windows.
// Space switches between the two; Enter or a double-click takes the region; Escape cancels.
class CaptureOverlay : public QWidget {
    Q_OBJECT
public:
    struct Options {
        bool windowMode = false;
        bool magnifier = true;
    };

    // `desktop`, `monitors`, `windows` (front-most first) and `pointer` are in desktop points,
    // `frozen` is the desktop's picture in device pixels; `position` is where Qt places the
    // desktop's corner.
    CaptureOverlay(QRect desktop, QPoint position, QList<QRect> monitors, QImage frozen, Options options, QList<QRect> windows,
                   QPoint pointer);

    // Whether the user is picking a window (Space switches) rather than dragging a region.
    bool windowMode() const { return m_options.windowMode; }

Q_SIGNALS:
    // The chosen area of the picture in device pixels, and where it lies in desktop points.
    void chosen(const QImage& image, const QRect& region);
    void cancelled();

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QRect windowAt(QPoint local) const;
    qreal ratio() const;
    void finish(const QRect& logical);
    void paintSizeReadout(QPainter& painter, const QRect& bright);
    void paintMagnifier(QPainter& painter);
    void paintHint(QPainter& painter);

    QImage m_frozen;
    QRect m_desktop;
    QList<QRect> m_monitors; // local logical coordinates
    Options m_options;
    QList<QRect> m_windows; // local logical coordinates
    QPoint m_pointer{-1, -1};
    QPoint m_anchor;
    QRect m_selection;
    QRect m_hovered;
    enum class Drag { None, Select, Move } m_drag = Drag::None;
    QPoint m_moveOffset;
};
