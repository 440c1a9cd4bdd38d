#pragma once

#include "editor/ClipboardService.h"

#include <QImage>
#include <QWidget>

namespace pelorin {

class Pasteboard;

// A shot pinned to the screen: a frameless window above the others, showing the image at its
// point size. Dragging moves it, the wheel zooms, Ctrl+wheel changes its opacity; the
// right-click menu copies, saves or closes it, and so does Escape. It deletes itself on close.
class PinWindow : public QWidget {
    Q_OBJECT
public:
    PinWindow(QImage image, Pasteboard& pasteboard);

    double zoom() const { return m_zoom; }

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void setZoom(double zoom);
    void saveAs();

    QImage m_image;
    ClipboardService m_clipboard;
    double m_zoom = 1.0;
    QPoint m_grab; // where the drag took hold, in the window
};

} // namespace pelorin
