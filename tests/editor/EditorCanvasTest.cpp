#include "EditorFixture.h"

#include <cmath>

using namespace pelorin;

namespace {
class EditorCanvas : public test::EditorFixture {};
} // namespace

TEST_F(EditorCanvas, ZoomStepsStopAtTheLimits)
{
    const double expected[] = {1.25, 1.5625, 1.953125, 2.44140625, 3.0517578125, 3.814697265625, 4.0, 4.0};
    for (double zoom : expected) {
        editor->zoomIn();
        EXPECT_DOUBLE_EQ(editor->canvasTransform().zoomLevel, zoom);
    }
    for (int i = 0; i < 20; ++i)
        editor->zoomOut();
    EXPECT_DOUBLE_EQ(editor->canvasTransform().zoomLevel, 0.25);
}

TEST_F(EditorCanvas, FitWaitsForTheViewportThenFitsThePaddedImage)
{
    editor->setCanvasOffset(QSizeF(30, -12));
    editor->loadImage(solidImage({2880, 1800}, 2.0), SourceType::screenCapture, false);
    EXPECT_DOUBLE_EQ(editor->canvasTransform().zoomLevel, 1.0);
    EXPECT_TRUE(editor->needsZoomToFit());
    EXPECT_EQ(editor->canvasTransform().canvasOffset, QSizeF(0, 0));

    editor->setPadding(30);
    editor->updateViewportSize(QSizeF(1000, 800));
    EXPECT_FALSE(editor->needsZoomToFit());
    // min(1000 × 0.85 ÷ 1500, 800 × 0.85 ÷ 960)
    EXPECT_DOUBLE_EQ(editor->canvasTransform().zoomLevel, std::min(850.0 / 1500.0, 680.0 / 960.0));
}

TEST_F(EditorCanvas, PaddingOnlyEverZoomsOut)
{
    editor->updateViewportSize(QSizeF(1000, 800));
    editor->loadImage(solidImage({500, 400}), SourceType::clipboard, false);
    editor->setZoomLevel(1.5);
    editor->setPadding(100); // 700 × 600 at 1.5 no longer fits in 97 %
    EXPECT_DOUBLE_EQ(editor->canvasTransform().zoomLevel, std::min(970.0 / 700.0, 776.0 / 600.0));
    const double fitted = editor->canvasTransform().zoomLevel;
    editor->setPadding(0);
    EXPECT_DOUBLE_EQ(editor->canvasTransform().zoomLevel, fitted);
}

TEST_F(EditorCanvas, SmallRotationsSnapBackFlat)
{
    struct Case {
        float yaw, pitch;
        bool staysTilted;
    };
    const Case cases[] = {{0.02f, -0.01f, false}, {0.03f, 0.0f, true}, {0.0f, -0.03f, true}};
    for (const Case& c : cases) {
        editor->resetAllStyling();
        editor->beginRotationGesture();
        EXPECT_TRUE(editor->isRotatingGesture());
        EXPECT_TRUE(editor->sceneState().isPerspective);
        editor->rotateBy(c.yaw, c.pitch);
        EXPECT_EQ(editor->sceneState().yaw, 0) << "the scene follows only at the end";
        editor->endRotationGesture();
        EXPECT_FALSE(editor->isRotatingGesture());
        EXPECT_EQ(editor->sceneState().isPerspective, c.staysTilted) << c.yaw;
        EXPECT_EQ(editor->sceneState().yaw, c.staysTilted ? c.yaw : 0.0f);
    }
}

// Tilts are limited; reset keeps the perspective, the projection toggle drops it; a saved tilt
// comes back once, clamped.
TEST_F(EditorCanvas, TiltsAreLimitedResetAndRestored)
{
    editor->beginRotationGesture();
    editor->rotateBy(3.0f, -3.0f);
    editor->endRotationGesture();
    EXPECT_FLOAT_EQ(editor->sceneState().yaw, CanvasLimits::yawLimit);
    EXPECT_FLOAT_EQ(editor->sceneState().pitch, -CanvasLimits::pitchLimit);
    editor->resetRotation();
    EXPECT_EQ(editor->sceneState(), (SceneState{0, 0, true}));
    EXPECT_EQ(editor->rotationTargets().yaw, 0);
    editor->rotateBy(0.4f, 0);
    editor->toggleProjection();
    EXPECT_EQ(editor->sceneState(), SceneState{});
    EXPECT_EQ(editor->rotationTargets().yaw, 0);

    editor->restorePreAnnotateSceneState(); // nothing saved: nothing happens
    EXPECT_EQ(editor->sceneState(), SceneState{});
    editor->setPreAnnotateSceneState(SceneState{2.0f, 0.3f, true});
    editor->restorePreAnnotateSceneState();
    EXPECT_EQ(editor->sceneState(), (SceneState{2.0f, 0.3f, true}));
    EXPECT_FLOAT_EQ(editor->rotationTargets().yaw, CanvasLimits::yawLimit);
    EXPECT_FALSE(editor->preAnnotateSceneState());
}
