#include "ui/CanvasInputLayer.h"

#include "core/ViewState.h"
#include "editor/EditorViewModel.h"

#include <QApplication>
#include <QCursor>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QNativeGestureEvent>
#include <QWheelEvent>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace pelorin {

using namespace CanvasLimits;

namespace {

Qt::KeyboardModifier modifierOfKey(int key)
{
    switch (key) {
    case Qt::Key_Control:
        return Qt::ControlModifier;
    case Qt::Key_Shift:
        return Qt::ShiftModifier;
    case Qt::Key_Alt:
        return Qt::AltModifier;
    case Qt::Key_Meta:
        return Qt::MetaModifier;
    default:
        return Qt::NoModifier;
    }
}

} // namespace

CanvasInputLayer::CanvasInputLayer(EditorViewModel& editor, QWidget* canvas)
    : QObject(canvas)
    , m_editor(&editor)
    , m_canvas(canvas)
{
    // One application-wide filter sees the events of the canvas and of every widget that is
    // or will be placed in it, before they are delivered; it also sees the modifier keys,
    // which change the cursor whichever widget has the keyboard focus.
    if (qApp)
        qApp->installEventFilter(this);
    connect(&editor, &EditorViewModel::selectedToolChanged, this,
            [this] { updateCursor(QGuiApplication::keyboardModifiers()); });
    connect(&editor, &EditorViewModel::documentChanged, this,
            [this] { updateCursor(QGuiApplication::keyboardModifiers()); });
}

CanvasInputLayer::~CanvasInputLayer()
{
    if (qApp)
        qApp->removeEventFilter(this);
}

bool CanvasInputLayer::hasDocument() const
{
    return m_editor && m_editor->hasDocument();
}

bool CanvasInputLayer::eventFilter(QObject* watched, QEvent* event)
{
    // The application-wide filter sees every object's events: keys only matter for the
    // cursor, and pointer events only when they are aimed at the canvas or a widget in it.
    const auto inCanvas = [&] {
        return watched->isWidgetType()
            && (watched == m_canvas || m_canvas->isAncestorOf(static_cast<QWidget*>(watched)));
    };
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
        if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Space)
            return handleSpaceKey(watched, static_cast<QKeyEvent*>(event));
        handleModifierKey(event);
        return false;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
        return inCanvas() && handlePress(static_cast<QMouseEvent*>(event));
    case QEvent::MouseMove:
        return inCanvas() && handleMove(static_cast<QMouseEvent*>(event));
    case QEvent::MouseButtonRelease:
        return inCanvas() && handleRelease(static_cast<QMouseEvent*>(event));
    case QEvent::Wheel:
        return inCanvas() && handleWheel(static_cast<QWheelEvent*>(event));
    case QEvent::NativeGesture:
        return inCanvas() && handleGesture(static_cast<QNativeGestureEvent*>(event));
    case QEvent::Enter:
        if (watched == m_canvas)
            updateCursor(QGuiApplication::keyboardModifiers());
        return false;
    case QEvent::Leave:
        if (watched == m_canvas && !m_panning)
            m_canvas->setCursor(Qt::ArrowCursor);
        return false;
    default:
        return false;
    }
}

bool CanvasInputLayer::handlePress(QMouseEvent* event)
{
    if (!hasDocument())
        return false;
    // A second button during a gesture belongs to that gesture.
    if (m_gestureButton != Qt::NoButton)
        return true;
    const Qt::KeyboardModifiers modifiers = event->modifiers();
    const QPointF location = event->globalPosition();
    switch (event->button()) {
    case Qt::RightButton:
    case Qt::MiddleButton:
        m_panning = true;
        break;
    case Qt::LeftButton:
        if (modifiers & Qt::ControlModifier) {
            if (m_editor->isAnalyzing() || m_editor->showComponentOverlay()) {
                m_panning = true;
            } else {
                m_rotating = true;
                m_editor->beginRotationGesture();
            }
        } else if (modifiers & Qt::ShiftModifier) {
            if (m_shiftPressClaim && m_shiftPressClaim(m_canvas->mapFromGlobal(location)))
                return false;
            m_zooming = true;
        } else if ((modifiers & Qt::AltModifier) || m_spaceHeld) {
            m_panning = true;
        } else {
            return false; // plain clicks belong to the layers below
        }
        break;
    default:
        return false;
    }
    m_gestureButton = event->button();
    m_lastLocation = location;
    updateCursor(modifiers);
    return true;
}

bool CanvasInputLayer::handleMove(QMouseEvent* event)
{
    // Only drags this layer started are its own; a drag that began below stays there even if
    // a modifier key goes down on the way.
    if (m_gestureButton == Qt::NoButton)
        return false;
    if (!m_editor)
        return true;
    const QPointF location = event->globalPosition();
    // Qt's y axis points down: dy > 0 is a drag towards the bottom of the screen.
    const double dx = location.x() - m_lastLocation.x();
    const double dy = location.y() - m_lastLocation.y();
    m_lastLocation = location;
    if (m_rotating) {
        // Dragging right turns yaw positive; dragging up turns pitch negative.
        m_editor->rotateBy(float(dx * rotationRate), float(dy * rotationRate));
    } else if (m_zooming) {
        // Dragging up zooms in.
        m_editor->setZoomLevel(std::clamp(m_editor->canvasTransform().zoomLevel * (1 - dy * dragZoomRate), minZoom, maxZoom));
    } else if (m_panning) {
        // The card follows the pointer.
        const QSizeF offset = m_editor->canvasTransform().canvasOffset;
        m_editor->setCanvasOffset(QSizeF(offset.width() + dx, offset.height() + dy));
    }
    return true;
}

bool CanvasInputLayer::handleRelease(QMouseEvent* event)
{
    if (m_gestureButton == Qt::NoButton)
        return false;
    if (event->button() != m_gestureButton)
        return true;
    endGesture(event->modifiers());
    return true;
}

void CanvasInputLayer::endGesture(Qt::KeyboardModifiers modifiers)
{
    if (m_rotating && m_editor)
        m_editor->endRotationGesture();
    m_panning = m_rotating = m_zooming = false;
    m_gestureButton = Qt::NoButton;
    updateCursor(modifiers);
}

bool CanvasInputLayer::handleWheel(QWheelEvent* event)
{
    if (!hasDocument())
        return false;
    // Touchpads report precise pixel deltas; wheels report notches of 120 eighths of a degree.
    const bool precise = !event->pixelDelta().isNull();
    const double d = precise ? event->pixelDelta().y() : event->angleDelta().y() / 120.0;
    if (d == 0)
        return true;
    const double factor = std::pow(precise ? preciseScrollBase : lineScrollBase, std::fabs(d));
    zoomBy(d < 0 ? 1 / factor : factor);
    return true;
}

bool CanvasInputLayer::handleGesture(QNativeGestureEvent* event)
{
    if (!hasDocument() || event->gestureType() != Qt::ZoomNativeGesture)
        return false;
    zoomBy(1 + event->value());
    return true;
}

void CanvasInputLayer::zoomBy(double factor)
{
    // About the pan point, not about the pointer: the offset stays.
    m_editor->setZoomLevel(std::clamp(m_editor->canvasTransform().zoomLevel * factor, minZoom, maxZoom));
}

bool CanvasInputLayer::handleModifierKey(QEvent* event)
{
    const auto* key = static_cast<QKeyEvent*>(event);
    const Qt::KeyboardModifier changed = modifierOfKey(key->key());
    if (changed == Qt::NoModifier || !m_canvas->isVisible()
        || !m_canvas->rect().contains(m_canvas->mapFromGlobal(QCursor::pos())))
        return false;
    // The event's own modifiers are those from before the key changed.
    Qt::KeyboardModifiers modifiers = key->modifiers();
    if (event->type() == QEvent::KeyPress)
        modifiers |= changed;
    else
        modifiers &= ~changed;
    updateCursor(modifiers);
    return false;
}

bool CanvasInputLayer::handleSpaceKey(QObject* watched, QKeyEvent* event)
{
    if (event->isAutoRepeat())
        return m_spaceHeld; // held down: the repeats type nothing either
    if (event->type() == QEvent::KeyRelease) {
        if (!m_spaceHeld)
            return false;
        m_spaceHeld = false;
        updateCursor(event->modifiers());
        return true;
    }
    // A space typed into a text field, or with the pointer elsewhere, is just a space.
    const bool typing = watched->inherits("QLineEdit") || watched->inherits("QTextEdit")
        || watched->inherits("QPlainTextEdit") || watched->inherits("QAbstractSpinBox");
    const bool sameWindow = watched->isWidgetType() && static_cast<QWidget*>(watched)->window() == m_canvas->window();
    if (typing || !sameWindow || !hasDocument() || !m_canvas->isVisible()
        || !m_canvas->rect().contains(m_canvas->mapFromGlobal(QCursor::pos())))
        return false;
    m_spaceHeld = true;
    updateCursor(event->modifiers());
    return true;
}

void CanvasInputLayer::updateCursor(Qt::KeyboardModifiers modifiers)
{
    Qt::CursorShape shape = Qt::ArrowCursor;
    if (m_panning)
        shape = Qt::ClosedHandCursor;
    else if (!hasDocument())
        shape = Qt::ArrowCursor;
    else if ((modifiers & Qt::AltModifier) || m_spaceHeld)
        shape = Qt::OpenHandCursor;
    else if (m_editor->selectedTool())
        shape = Qt::DragCopyCursor;
    m_canvas->setCursor(shape);
}

} // namespace pelorin
