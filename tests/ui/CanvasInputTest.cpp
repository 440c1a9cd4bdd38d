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

    void wheel(QPoint pixelDelta, QPoint angleDelta, Qt::KeyboardModifiers modifiers = {})
    {
        const QPointF at = centre();
        QWidget* target = canvas->childAt(at.toPoint());
        if (!target)
            target = canvas.get();
        QWheelEvent event(target->mapFrom(canvas.get(), at), canvas->mapToGlobal(at), pixelDelta, angleDelta,
                          Qt::NoButton, modifiers, Qt::NoScrollPhase, false);
        QApplication::sendEvent(target, &event);
    }

    PointerProbe* probe = nullptr;
};

struct DragCase {
    const char* name;
    friend void PrintTo(const DragCase& c, std::ostream* os) { *os << c.name; }
    Qt::MouseButton button;
    Qt::KeyboardModifiers modifiers;
    QPointF delta;
    QSizeF expectedOffset;
    double expectedZoomFactor;
    bool reachesLayerBelow;
};

class NavigationDrags : public CanvasInput, public ::testing::WithParamInterface<DragCase> {};

TEST_P(NavigationDrags, MoveTheCardOnlyForNavigationGestures)
{
    const DragCase& c = GetParam();
    const double zoomBefore = editor->canvasTransform().zoomLevel;
    Pointer pointer(canvas.get());
    pointer.drag(centre(), centre() + c.delta, c.button, c.modifiers, 2);

    EXPECT_NEAR(editor->canvasTransform().canvasOffset.width(), c.expectedOffset.width(), 1e-9);
    EXPECT_NEAR(editor->canvasTransform().canvasOffset.height(), c.expectedOffset.height(), 1e-9);
    EXPECT_NEAR(editor->canvasTransform().zoomLevel, zoomBefore * c.expectedZoomFactor, 1e-9);
    EXPECT_FALSE(editor->sceneState().isPerspective);
    EXPECT_EQ(probe->presses > 0, c.reachesLayerBelow);
    EXPECT_FALSE(canvas->inputLayer()->isPanning());
    EXPECT_FALSE(canvas->inputLayer()->isZooming());
}

// Drags move in two equal steps; drag-zooming multiplies once per step.
INSTANTIATE_TEST_SUITE_P(
    Canvas, NavigationDrags,
    ::testing::Values(
        DragCase{"plainLeftDrag", Qt::LeftButton, {}, {40, 30}, {0, 0}, 1.0, true},
        DragCase{"altLeftDragPans", Qt::LeftButton, Qt::AltModifier, {40, 30}, {40, 30}, 1.0, false},
        DragCase{"rightDragPans", Qt::RightButton, {}, {-60, 20}, {-60, 20}, 1.0, false},
        DragCase{"middleDragPans", Qt::MiddleButton, {}, {10, -50}, {10, -50}, 1.0, false},
        DragCase{"shiftDragUpZoomsIn", Qt::LeftButton, Qt::ShiftModifier, {0, -40}, {0, 0}, 1.1 * 1.1, false},
        DragCase{"shiftDragDownZoomsOut", Qt::LeftButton, Qt::ShiftModifier, {25, 40}, {0, 0}, 0.9 * 0.9, false}),
    caseName<DragCase>);

TEST_F(CanvasInput, ModifierPressedDuringAPlainDragDoesNotStealIt)
{
    Pointer pointer(canvas.get());
    pointer.press(centre());
    pointer.move(centre() + QPointF(20, 0));
    QTest::mouseRelease(pointer.window(), Qt::LeftButton, Qt::AltModifier, pointer.toWindow(centre() + QPointF(40, 0)));
    EXPECT_EQ(editor->canvasTransform().canvasOffset, QSizeF(0, 0));
    EXPECT_EQ(probe->releases, 1);
}

TEST_F(CanvasInput, CtrlDragWhileComponentsShowPansInsteadOfRotating)
{
    editor->setShowComponentOverlay(true);
    Pointer(canvas.get()).drag(centre(), centre() + QPointF(50, 10), Qt::LeftButton, Qt::ControlModifier);
    EXPECT_EQ(editor->canvasTransform().canvasOffset, QSizeF(50, 10));
    EXPECT_FALSE(editor->sceneState().isPerspective);
    EXPECT_EQ(editor->rotationTargets().yaw, 0.f);
}

struct TiltCase {
    const char* name;
    friend void PrintTo(const TiltCase& c, std::ostream* os) { *os << c.name; }
    QPointF delta;
    bool staysTilted;
};

class CtrlDragTilt : public CanvasInput, public ::testing::WithParamInterface<TiltCase> {};

TEST_P(CtrlDragTilt, SmallTiltsSnapBackFlatOnRelease)
{
    const TiltCase& c = GetParam();
    Pointer(canvas.get()).drag(centre(), centre() + c.delta, Qt::LeftButton, Qt::ControlModifier);
    const double expectedYaw = c.delta.x() * pi / 600;
    const double expectedPitch = c.delta.y() * pi / 600; // dragging down tips the top edge towards the viewer
    const SceneState scene = editor->sceneState();
    EXPECT_EQ(scene.isPerspective, c.staysTilted);
    EXPECT_FALSE(editor->isRotatingGesture());
    if (c.staysTilted) {
        EXPECT_NEAR(scene.yaw, expectedYaw, 1e-5);
        EXPECT_NEAR(scene.pitch, expectedPitch, 1e-5);
    } else {
        EXPECT_EQ(scene.yaw, 0.f);
        EXPECT_EQ(scene.pitch, 0.f);
    }
    waitForFrame();
    EXPECT_NEAR(canvas->displayedYaw(), scene.yaw, 1e-6);
}

INSTANTIATE_TEST_SUITE_P(Canvas, CtrlDragTilt,
                         ::testing::Values(TiltCase{"belowSnapThreshold", {4, -2}, false},
                                           TiltCase{"yawBeyondThreshold", {20, 0}, true},
                                           TiltCase{"pitchBeyondThreshold", {0, -12}, true}),
                         caseName<TiltCase>);

// The vertical extent of the red card in one column of the canvas's pixels.
int cardHeightAt(const QImage& frame, int x)
{
    int count = 0;
    for (int y = 0; y < frame.height(); ++y) {
        const QColor c = frame.pixelColor(x, y);
        if (c.red() > 150 && c.green() < 90 && c.blue() < 110)
            ++count;
    }
    return count;
}

TEST_F(CanvasInput, TiltedCardIsDrawnInPerspective)
{
    // A turn to the right takes the card's right edge away from the viewer: it looks shorter.
    Pointer(canvas.get()).drag(centre(), centre() + QPointF(60, 0), Qt::LeftButton, Qt::ControlModifier);
    waitForFrame();
    const QImage frame = canvas->grabFramebuffer();
    int left = -1;
    int right = -1;
    for (int x = 0; x < frame.width(); ++x) {
        if (cardHeightAt(frame, x) > 100) {
            if (left < 0)
                left = x;
            right = x;
        }
    }
    ASSERT_GT(right - left, 200);
    EXPECT_GT(cardHeightAt(frame, left + 30), cardHeightAt(frame, right - 30) + 20);
}

TEST_F(CanvasInput, WheelScalesTheZoomAboutThePanPoint)
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
        EXPECT_NEAR(editor->canvasTransform().zoomLevel, c.factor, 1e-9);
        EXPECT_EQ(editor->canvasTransform().canvasOffset, QSizeF(30, -20));
    }
}

TEST_F(CanvasInput, PinchZoomsByTheMagnification)
{
    editor->setZoomLevel(1.0);
    const QPointF at = centre();
    QNativeGestureEvent pinch(Qt::ZoomNativeGesture, QPointingDevice::primaryPointingDevice(), 2, at, at,
                              canvas->mapToGlobal(at), 0.2, QPointF());
    QApplication::sendEvent(canvas.get(), &pinch);
    EXPECT_NEAR(editor->canvasTransform().zoomLevel, 1.2, 1e-9);
}

TEST_F(CanvasInput, WithoutADocumentNothingIsClaimed)
{
    editor->clearDocument();
    Pointer(canvas.get()).drag(centre(), centre() + QPointF(30, 30), Qt::LeftButton, Qt::AltModifier);
    wheel({0, 10}, {0, 120});
    EXPECT_EQ(editor->canvasTransform().canvasOffset, QSizeF(0, 0));
    EXPECT_EQ(editor->canvasTransform().zoomLevel, 1.0);
}

TEST_F(CanvasInput, CursorFollowsModifiersAndTool)
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
        EXPECT_EQ(canvas->cursor().shape(), c.expected);
    }
}

TEST_F(CanvasInput, HoldingAltOverTheCanvasShowsAnOpenHand)
{
    QCursor::setPos(canvas->mapToGlobal(centre().toPoint()));
    ASSERT_TRUE(waitUntil([&] { return canvas->rect().contains(canvas->mapFromGlobal(QCursor::pos())); }));
    QTest::keyPress(canvas.get(), Qt::Key_Alt);
    EXPECT_EQ(canvas->cursor().shape(), Qt::OpenHandCursor);
    QTest::keyRelease(canvas.get(), Qt::Key_Alt, Qt::AltModifier);
    EXPECT_EQ(canvas->cursor().shape(), Qt::ArrowCursor);
}

// Alt+drag moves windows under most Linux window managers; Space+drag pans as in image editors.
TEST_F(CanvasInput, SpaceDragPans)
{
    QCursor::setPos(canvas->mapToGlobal(centre().toPoint()));
    ASSERT_TRUE(waitUntil([&] { return canvas->rect().contains(canvas->mapFromGlobal(QCursor::pos())); }));
    QTest::keyPress(canvas.get(), Qt::Key_Space);
    EXPECT_EQ(canvas->cursor().shape(), Qt::OpenHandCursor);
    Pointer(canvas.get()).drag(centre(), centre() + QPointF(30, -20), Qt::LeftButton, {}, 2);
    QTest::keyRelease(canvas.get(), Qt::Key_Space);
    EXPECT_EQ(editor->canvasTransform().canvasOffset, QSizeF(30, -20));
    EXPECT_EQ(probe->presses, 0);
    EXPECT_EQ(canvas->cursor().shape(), Qt::ArrowCursor);
    Pointer(canvas.get()).drag(centre(), centre() + QPointF(30, 30), Qt::LeftButton, {}, 2); // released: a plain drag
    EXPECT_EQ(editor->canvasTransform().canvasOffset, QSizeF(30, -20));
}

TEST_F(CanvasInput, PanningShowsAClosedHand)
{
    Pointer pointer(canvas.get());
    pointer.press(centre(), Qt::RightButton);
    EXPECT_EQ(canvas->cursor().shape(), Qt::ClosedHandCursor);
    pointer.release(centre(), Qt::RightButton);
    EXPECT_EQ(canvas->cursor().shape(), Qt::ArrowCursor);
}

} // namespace
} // namespace pelorin::test
