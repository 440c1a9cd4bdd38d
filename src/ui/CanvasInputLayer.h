#pragma once

#include <QObject>
#include <QPointF>
#include <QPointer>

#include <functional>

class QKeyEvent;
class QMouseEvent;
class QNativeGestureEvent;
class QWheelEvent;
class QWidget;

namespace pelorin {

class EditorViewModel;

// Navigation on the canvas: zoom, pan and tilt. It sees the events of the canvas and of every
// widget inside it before they are delivered and takes only the events that belong to navigation (right and middle drags, the wheel,
// pinches, and left drags with Ctrl, Shift, Alt or Space held); everything else, plain left
// clicks and drags above all, goes on to the widgets below as if it were not there. Most
// Linux window managers take Alt+drag for moving windows, so Space+drag pans too.
class CanvasInputLayer : public QObject {
    Q_OBJECT
public:
    CanvasInputLayer(EditorViewModel& editor, QWidget* canvas);
    ~CanvasInputLayer() override;

    bool isPanning() const { return m_panning; }
    bool isRotating() const { return m_rotating; }
    bool isZooming() const { return m_zooming; }
    // Recomputes the canvas's cursor for these modifier keys.
    void updateCursor(Qt::KeyboardModifiers modifiers);
    // Asked on a Shift+left press (canvas coordinates): true leaves the press to the layers
    // below (Shift+click adds to the selection, Shift draws straight pen lines) instead of
    // starting a drag zoom.
    void setShiftPressClaim(std::function<bool(QPointF)> claim) { m_shiftPressClaim = std::move(claim); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool hasDocument() const;
    bool handlePress(QMouseEvent* event);
    bool handleMove(QMouseEvent* event);
    bool handleRelease(QMouseEvent* event);
    bool handleWheel(QWheelEvent* event);
    bool handleGesture(QNativeGestureEvent* event);
    bool handleModifierKey(QEvent* event);
    // Space held over the canvas (and not typing) turns left drags into panning.
    bool handleSpaceKey(QObject* watched, QKeyEvent* event);
    void zoomBy(double factor);
    void endGesture(Qt::KeyboardModifiers modifiers);

    QPointer<EditorViewModel> m_editor;
    QWidget* m_canvas;
    bool m_panning = false;
    bool m_rotating = false;
    bool m_zooming = false;
    bool m_spaceHeld = false;
    // The button whose press started the current gesture.
    Qt::MouseButton m_gestureButton = Qt::NoButton;
    QPointF m_lastLocation; // global position of the last handled pointer event
    std::function<bool(QPointF)> m_shiftPressClaim;
};

} // namespace pelorin
