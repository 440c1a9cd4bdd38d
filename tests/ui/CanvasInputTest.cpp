#include "UiFixture.h"

#include "ui/CanvasInputLayer.h"

#include <QNativeGestureEvent>
#include <QPointingDevice>
#include <QWheelEvent>

#include <cmath>

namespace pelorin::test {
namespace {

constexpr double pi = 3.14159265358979323846;

class CanvasInput : public CanvasFixture {
protected:
    CanvasInput()
    {
        open();
        probe = new PointerProbe(canvas.get());
    }

    QPointF centre() const { return QPointF(canvasSize.width() / 2.0, canvasSize.height() / 2.0); }
    QSizeF offset() const { return editor->canvasTransform().canvasOffset; }
    double zoom() const { return editor->canvasTransform().zoomLevel; }
    Qt::CursorShape cursor() const { return canvas->cursor().shape(); }

    void wheel(QPoint pixelDelta, QPoint angleDelta)
    {
        const QPointF at = centre();
        QWidget* target = canvas->childAt(at.toPoint());
        if (!target)
            target = canvas.get();
        QWheelEvent event(target->mapFrom(canvas.get(), at), canvas->mapToGlobal(at), pixelDelta, angleDelta, Qt::NoButton, {},
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(target, &event);
    }
    void pointerOverTheCanvas()
    {
        QCursor::setPos(canvas->mapToGlobal(centre().toPoint()));
        ASSERT_TRUE(waitUntil([&] { return canvas->rect().contains(canvas->mapFromGlobal(QCursor::pos())); }));
    }

    PointerProbe* probe = nullptr;
};

// Only navigation gestures move the card; plain drags reach the layer below. Drags move in
// two equal steps; drag-zooming multiplies once per step.
TEST_F(CanvasInput, NavigationDragsMoveTheCard)
{
    const struct {
        const char* name;
        Qt::MouseButton button;
        Qt::KeyboardModifiers modifiers;
        QPointF delta;
        QSizeF offset;
        double zoomFactor;
        bool reachesLayerBelow;
    } cases[] = {
        {"plain left drag", Qt::LeftButton, {}, {40, 30}, {0, 0}, 1.0, true},
        {"Alt+left drag pans", Qt::LeftButton, Qt::AltModifier, {40, 30}, {40, 30}, 1.0, false},
        {"right drag pans", Qt::RightButton, {}, {-60, 20}, {-60, 20}, 1.0, false},
        {"middle drag pans", Qt::MiddleButton, {}, {10, -50}, {10, -50}, 1.0, false},
        {"Shift+drag up zooms in", Qt::LeftButton, Qt::ShiftModifier, {0, -40}, {0, 0}, 1.1 * 1.1, false},
        {"Shift+drag down zooms out", Qt::LeftButton, Qt::ShiftModifier, {25, 40}, {0, 0}, 0.9 * 0.9, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        editor->setCanvasOffset(QSizeF(0, 0));
        editor->setZoomLevel(1.0);
        probe->presses = 0;
        Pointer(canvas.get()).drag(centre(), centre() + c.delta, c.button, c.modifiers, 2);
        EXPECT_NEAR(offset().width(), c.offset.width(), 1e-9);
        EXPECT_NEAR(offset().height(), c.offset.height(), 1e-9);
        EXPECT_NEAR(zoom(), c.zoomFactor, 1e-9);
        EXPECT_FALSE(editor->sceneState().isPerspective);
        EXPECT_EQ(probe->presses > 0, c.reachesLayerBelow);
        EXPECT_FALSE(canvas->inputLayer()->isPanning() || canvas->inputLayer()->isZooming());
    }
    // A modifier pressed during a plain drag does not steal it.
    editor->setCanvasOffset(QSizeF(0, 0));
    probe->releases = 0;
    Pointer pointer(canvas.get());
    pointer.press(centre());
    pointer.move(centre() + QPointF(20, 0));
    QTest::mouseRelease(pointer.window(), Qt::LeftButton, Qt::AltModifier, pointer.toWindow(centre() + QPointF(40, 0)));
    EXPECT_EQ(offset(), QSizeF(0, 0));
    EXPECT_EQ(probe->releases, 1);
    // With the components shown, Ctrl+drag pans instead of tilting.
    editor->setShowComponentOverlay(true);
    Pointer(canvas.get()).drag(centre(), centre() + QPointF(50, 10), Qt::LeftButton, Qt::ControlModifier);
    EXPECT_EQ(offset(), QSizeF(50, 10));
    EXPECT_FALSE(editor->sceneState().isPerspective);
    EXPECT_EQ(editor->rotationTargets().yaw, 0.f);
}

// Ctrl+drag tilts the card; small tilts snap back flat on release.
TEST_F(CanvasInput, CtrlDragTiltsTheCard)
{
    const struct {
        const char* name;
        QPointF delta;
        bool staysTilted;
    } cases[] = {{"below the snap threshold", {4, -2}, false}, {"yaw beyond it", {20, 0}, true}, {"pitch beyond it", {0, -12}, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        editor->resetAllStyling();
        Pointer(canvas.get()).drag(centre(), centre() + c.delta, Qt::LeftButton, Qt::ControlModifier);
        const SceneState scene = editor->sceneState();
        EXPECT_EQ(scene.isPerspective, c.staysTilted);
        EXPECT_FALSE(editor->isRotatingGesture());
        // Dragging down tips the top edge towards the viewer.
        EXPECT_NEAR(scene.yaw, c.staysTilted ? c.delta.x() * pi / 600 : 0, 1e-5);
        EXPECT_NEAR(scene.pitch, c.staysTilted ? c.delta.y() * pi / 600 : 0, 1e-5);
        waitForFrame();
        EXPECT_NEAR(canvas->displayedYaw(), scene.yaw, 1e-6);
    }
}

// The vertical extent of the red card in one column of the canvas's pixels.
int cardHeightAt(const QImage& frame, int x)
{
    int count = 0;
    for (int y = 0; y < frame.height(); ++y) {
        const QColor c = frame.pixelColor(x, y);
        count += c.red() > 150 && c.green() < 90 && c.blue() < 110;
    }
    return count;
}

TEST_F(CanvasInput, TiltedCardIsDrawnInPerspective)
{
    // A turn to the right takes the card's right edge away from the viewer: it looks shorter.
    Pointer(canvas.get()).drag(centre(), centre() + QPointF(60, 0), Qt::LeftButton, Qt::ControlModifier);
    waitForFrame();
    const QImage frame = canvas->grabFramebuffer();
    int left = -1, right = -1;
    for (int x = 0; x < frame.width(); ++x) {
        if (cardHeightAt(frame, x) > 100) {
            left = left < 0 ? x : left;
            right = x;
        }
    }
    ASSERT_GT(right - left, 200);
    EXPECT_GT(cardHeightAt(frame, left + 30), cardHeightAt(frame, right - 30) + 20);
}

TEST_F(CanvasInput, WheelAndPinchScaleTheZoomAboutThePanPoint)
{
    const struct {
        const char* name;
        QPoint pixelDelta;
        QPoint angleDelta;
        double factor;
    } cases[] = {
        {"precise up 10", {0, 10}, {0, 120}, std::pow(1.005, 10)},
        {"precise down 10", {0, -10}, {0, -120}, 1 / std::pow(1.005, 10)},
        {"ten line notches down", {}, {0, -1200}, 1 / std::pow(1.05, 10)},
        {"one line notch up", {}, {0, 120}, 1.05},
        {"half a notch from a fine wheel", {}, {0, 60}, std::pow(1.05, 0.5)},
        {"horizontal only is ignored", {}, {120, 0}, 1.0},
        {"clamped at the maximum", {0, 1000}, {0, 120}, 4.0},
        {"clamped at the minimum", {}, {0, -12000}, 0.25},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        editor->setCanvasOffset(QSizeF(30, -20));
        editor->setZoomLevel(1.0);
        wheel(c.pixelDelta, c.angleDelta);
        EXPECT_NEAR(zoom(), c.factor, 1e-9);
        EXPECT_EQ(offset(), QSizeF(30, -20));
    }
    editor->setZoomLevel(1.0);
    const QPointF at = centre();
    QNativeGestureEvent pinch(Qt::ZoomNativeGesture, QPointingDevice::primaryPointingDevice(), 2, at, at, canvas->mapToGlobal(at), 0.2,
                              QPointF());
    QApplication::sendEvent(canvas.get(), &pinch);
    EXPECT_NEAR(zoom(), 1.2, 1e-9);

    // Without a document nothing is claimed.
    editor->setZoomLevel(1.0);
    editor->setCanvasOffset(QSizeF(0, 0));
    editor->clearDocument();
    Pointer(canvas.get()).drag(centre(), centre() + QPointF(30, 30), Qt::LeftButton, Qt::AltModifier);
    wheel({0, 10}, {0, 120});
    EXPECT_EQ(offset(), QSizeF(0, 0));
    EXPECT_EQ(zoom(), 1.0);
}

TEST_F(CanvasInput, CursorFollowsModifiersToolAndPanning)
{
    const struct {
        const char* name;
        Qt::KeyboardModifiers modifiers;
        bool toolSelected;
        Qt::CursorShape expected;
    } cases[] = {
        {"plain", {}, false, Qt::ArrowCursor},
        {"alt", Qt::AltModifier, false, Qt::OpenHandCursor},
        {"alt wins over a tool", Qt::AltModifier, true, Qt::OpenHandCursor},
        {"tool", {}, true, Qt::DragCopyCursor},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        editor->setSelectedTool(c.toolSelected ? std::optional(AnnotationTool::arrow) : std::nullopt);
        canvas->inputLayer()->updateCursor(c.modifiers);
        EXPECT_EQ(cursor(), c.expected);
    }
    editor->setSelectedTool(std::nullopt);
    pointerOverTheCanvas();
    QTest::keyPress(canvas.get(), Qt::Key_Alt);
    EXPECT_EQ(cursor(), Qt::OpenHandCursor);
    QTest::keyRelease(canvas.get(), Qt::Key_Alt, Qt::AltModifier);
    EXPECT_EQ(cursor(), Qt::ArrowCursor);
    Pointer pointer(canvas.get());
    pointer.press(centre(), Qt::RightButton);
    EXPECT_EQ(cursor(), Qt::ClosedHandCursor);
    pointer.release(centre(), Qt::RightButton);
    EXPECT_EQ(cursor(), Qt::ArrowCursor);
}

// Alt+drag moves windows under most Linux window managers; Space+drag pans as in image editors.
TEST_F(CanvasInput, SpaceDragPans)
{
    pointerOverTheCanvas();
    QTest::keyPress(canvas.get(), Qt::Key_Space);
    EXPECT_EQ(cursor(), Qt::OpenHandCursor);
    Pointer(canvas.get()).drag(centre(), centre() + QPointF(30, -20), Qt::LeftButton, {}, 2);
    QTest::keyRelease(canvas.get(), Qt::Key_Space);
    EXPECT_EQ(offset(), QSizeF(30, -20));
    EXPECT_EQ(probe->presses, 0);
    EXPECT_EQ(cursor(), Qt::ArrowCursor);
    Pointer(canvas.get()).drag(centre(), centre() + QPointF(30, 30), Qt::LeftButton, {}, 2); // released: a plain drag
    EXPECT_EQ(offset(), QSizeF(30, -20));
}

} // namespace
} // namespace pelorin::test
