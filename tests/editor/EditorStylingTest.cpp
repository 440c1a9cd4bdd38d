#include "EditorFixture.h"

#include "platform/SettingsKeys.h"

#include <QSignalSpy>

#include <cmath>

using namespace pelorin;
using EditorStyling = test::EditorFixture;
using EditorCanvas = test::EditorFixture;

// A burst of changes (a slider dragged) is written once, 400 ms after it; the style survives a
// restart, all but the shadow's opacity. A stored background is used only when it decodes, and
// undecodable bytes are left as they were; a damaged or hand-edited number comes back within its
// slider's range, so it cannot push the card out of reach.
TEST_F(EditorStyling, StyleIsWrittenOnceAndComesBackOnlyWhenValid)
{
    QSignalSpy writes(&settings.store(), &SettingsStore::changed);
    StylingConfiguration s = editor->styling();
    s.shadow.opacity = 0.8;
    s.shadow.radius = 12;
    s.dimming = {true, 0.3};
    s.background = BackgroundStyle::preset(BackgroundPreset::neonPink);
    for (int radius = 20; radius <= 30; ++radius) {
        s.cornerRadius = radius;
        editor->setStyling(s);
        QTest::qWait(20);
    }
    editor->setPadding(48);
    const BrowserChromeSettings chrome{true, BrowserChromeStyle::light, true, QStringLiteral("pelorin.app")};
    editor->setBrowserChrome(chrome);
    EXPECT_EQ(writes.count(), 0) << "nothing is written inside the 400 ms window";
    QTest::qWait(450);
    int cornerWrites = 0;
    for (const QList<QVariant>& write : writes)
        cornerWrites += write.at(0).toString() == QLatin1String(SettingsKeys::lastCornerRadius);
    EXPECT_EQ(cornerWrites, 1);
    restart();
    s.shadow.opacity = 0.5;
    s.padding = 48;
    EXPECT_EQ(editor->styling(), s);
    EXPECT_EQ(editor->browserChrome(), chrome);
    EXPECT_TRUE(editor->stylingIsDirty());

    struct Case { const char* json; BackgroundStyle expected; };
    const Case cases[] = {
        {R"({"wallpaper":{}})", BackgroundStyle::wallpaper()},
        {R"({"preset":{"_0":"sunset"}})", BackgroundStyle::preset(BackgroundPreset::sunset)},
        {R"({"preset":{"_0":"aurora"}})", BackgroundStyle::preset(BackgroundPreset::oceanBreeze)},
        {R"({"preset":{"_0":"sunset"},"wallpaper":{}})", BackgroundStyle::preset(BackgroundPreset::oceanBreeze)},
        {R"({"solidColor":{"_0":{"red":1,"green":1,"blue":1}}})", BackgroundStyle::preset(BackgroundPreset::oceanBreeze)},
        {"garbage", BackgroundStyle::preset(BackgroundPreset::oceanBreeze)},
    };
    settings.store().setValue(QLatin1String(SettingsKeys::lastCornerRadius), 80);
    settings.store().setValue(QLatin1String(SettingsKeys::lastFramePadding), QString(QStringLiteral("9").repeated(300)));
    settings.store().setValue(QLatin1String(SettingsKeys::lastShadowRadius), -5);
    settings.store().setValue(QLatin1String(SettingsKeys::lastDimmingAmount), 7.5);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.json);
        settings.store().setValue(QLatin1String(SettingsKeys::lastBackground), QByteArray(c.json));
        restart();
        EXPECT_EQ(editor->styling().background, c.expected);
        EXPECT_EQ(settings.store().bytesValue(QLatin1String(SettingsKeys::lastBackground)), QByteArray(c.json));
    }
    EXPECT_EQ(editor->styling().cornerRadius, 50);
    EXPECT_EQ(editor->styling().padding, 400);
    EXPECT_EQ(editor->styling().shadow.radius, 0);
    EXPECT_EQ(editor->styling().dimming.amount, 1);
}

TEST_F(EditorStyling, DirtinessFollowsEveryStyleDimension)
{
    struct Case { const char* name; std::function<void(EditorViewModel&)> change; bool dirty; };
    const std::vector<Case> cases{
        {"yaw below the threshold", [](EditorViewModel& e) { e.setSceneState({0.0005f, 0, false}); }, false},
        {"yaw at the threshold", [](EditorViewModel& e) { e.setSceneState({0.001f, 0, false}); }, true},
        {"pitch negative", [](EditorViewModel& e) { e.setSceneState({0, -0.002f, false}); }, true},
        {"perspective alone", [](EditorViewModel& e) { e.setSceneState({0, 0, true}); }, true},
        {"url text", [](EditorViewModel& e) { BrowserChromeSettings b; b.urlText = QStringLiteral("x"); e.setBrowserChrome(b); }, true},
        {"no address bar", [](EditorViewModel& e) { BrowserChromeSettings b; b.showsAddressBar = false; e.setBrowserChrome(b); }, true},
        {"shadow offset x", [](EditorViewModel& e) { StylingConfiguration s; s.shadow.offsetX = 5; e.setStyling(s); }, true},
    };
    for (const Case& c : cases) {
        editor->resetAllStyling();
        c.change(*editor);
        EXPECT_EQ(editor->stylingIsDirty(), c.dirty) << c.name;
    }
}

// Style changes reach the open document and are steps of the one undo history, each undone
// and redone whole and apart from the annotations: a dragged slider is one step. A padding
// change drops the stored frame; Reset All resets the document, the frame and the tilt.
TEST_F(EditorStyling, StyleChangesReachTheDocumentAndUndoWhole)
{
    editor->loadImage(solidImage({400, 300}), SourceType::clipboard, false);
    editor->updateViewportSize({1000, 800});
    editor->addAnnotation(ShapeAnnotation::make(QRectF(10, 10, 40, 40), Qt::red));
    editor->setExportFrameRect(QRectF(10, 10, 200, 100));
    editor->setPadding(64);
    EXPECT_FALSE(editor->exportFrameRect());
    const auto documentFollows = [&] {
        EXPECT_EQ(editor->document()->styling.background, editor->styling().background);
        EXPECT_EQ(editor->document()->styling.padding, editor->styling().padding);
    };
    const struct { const char* name; std::function<void()> change; } cases[] = {
        {"padding slider dragged", [&] {
             for (int value = 1; value <= 30; ++value)
                 editor->setPadding(2 * value);
         }},
        {"wallpaper", [&] { editor->setBackgroundToWallpaper(); }},
        {"background", [&] { editor->setBackground(BackgroundPreset::charcoal); }},
        {"corners and shadow", [&] {
             StylingConfiguration s = editor->styling();
             s.cornerRadius = 3;
             s.shadow.radius = 40;
             editor->setStyling(s);
         }},
        {"browser frame", [&] { editor->setBrowserChrome({true, BrowserChromeStyle::light, true, QStringLiteral("a.b")}); }},
        {"tilt", [&] {
             editor->beginRotationGesture();
             editor->rotateBy(0.4f, 0.2f);
             editor->rotateBy(0.1f, 0.0f);
             editor->endRotationGesture();
         }},
        {"reset all", [&] { editor->resetAllStyling(); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const StyleSnapshot before = editor->styleSnapshot();
        c.change();
        const StyleSnapshot after = editor->styleSnapshot();
        ASSERT_NE(after, before);
        documentFollows();
        editor->undoAnnotationChange();
        EXPECT_EQ(editor->styleSnapshot(), before);
        documentFollows();
        EXPECT_EQ(editor->document()->annotations.size(), 1u) << "the annotation is a step of its own";
        editor->redoAnnotationChange();
        EXPECT_EQ(editor->styleSnapshot(), after);
    }
    EXPECT_EQ(editor->styleSnapshot(), StyleSnapshot{});
    EXPECT_FALSE(editor->stylingIsDirty());
}

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

// A new screenshot is fitted once the viewport is known, with its padding; a larger padding
// zooms out until the card fits again, a smaller one never zooms in.
TEST_F(EditorCanvas, FitWaitsForTheViewportAndPaddingOnlyEverZoomsOut)
{
    editor->setCanvasOffset(QSizeF(30, -12));
    editor->loadImage(solidImage({2880, 1800}, 2.0), SourceType::screenCapture, false);
    EXPECT_DOUBLE_EQ(editor->canvasTransform().zoomLevel, 1.0);
    EXPECT_TRUE(editor->needsZoomToFit());
    EXPECT_EQ(editor->canvasTransform().canvasOffset, QSizeF(0, 0));
    editor->setPadding(30);
    editor->updateViewportSize(QSizeF(1000, 800));
    EXPECT_FALSE(editor->needsZoomToFit());
    EXPECT_DOUBLE_EQ(editor->canvasTransform().zoomLevel, std::min(1000 * 0.85 / 1500, 800 * 0.85 / 960));

    editor->loadImage(solidImage({500, 400}), SourceType::clipboard, false);
    editor->setZoomLevel(1.5);
    editor->setPadding(100); // 700 × 600 at 1.5 no longer fits in 97 %
    EXPECT_DOUBLE_EQ(editor->canvasTransform().zoomLevel, std::min(970.0 / 700.0, 776.0 / 600.0));
    const double fitted = editor->canvasTransform().zoomLevel;
    editor->setPadding(0);
    EXPECT_DOUBLE_EQ(editor->canvasTransform().zoomLevel, fitted);
}

// The scene follows a tilt gesture only at its end; small tilts snap back flat, large ones
// stop at the limits. Reset keeps the perspective; the projection toggle and choosing a tool
// drop it; a saved tilt comes back once, clamped.
TEST_F(EditorCanvas, TiltsSnapStopAtTheLimitsAndAreResetFlattenedAndRestored)
{
    struct Case { float yaw, pitch; SceneState expected; };
    const Case cases[] = {
        {0.02f, -0.01f, {}},
        {0.03f, 0, {0.03f, 0, true}},
        {0, -0.03f, {0, -0.03f, true}},
        {3, -3, {CanvasLimits::yawLimit, -CanvasLimits::pitchLimit, true}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.yaw);
        editor->resetAllStyling();
        editor->beginRotationGesture();
        EXPECT_TRUE(editor->isRotatingGesture());
        EXPECT_TRUE(editor->sceneState().isPerspective);
        editor->rotateBy(c.yaw, c.pitch);
        EXPECT_EQ(editor->sceneState().yaw, 0);
        editor->endRotationGesture();
        EXPECT_FALSE(editor->isRotatingGesture());
        EXPECT_EQ(editor->sceneState(), c.expected);
    }

    editor->loadImage(solidImage({400, 300}), SourceType::clipboard, false);
    editor->setSceneState({0.3f, 0.2f, true});
    editor->resetRotation();
    EXPECT_EQ(editor->sceneState(), (SceneState{0, 0, true}));
    EXPECT_EQ(editor->rotationTargets().yaw, 0);
    editor->rotateBy(0.4f, 0);
    editor->toggleProjection();
    EXPECT_EQ(editor->sceneState(), SceneState{});
    EXPECT_EQ(editor->rotationTargets().yaw, 0);
    editor->beginRotationGesture();
    editor->rotateBy(0.4f, 0.2f);
    editor->endRotationGesture();
    ASSERT_TRUE(editor->sceneState().isPerspective);
    editor->selectTool(AnnotationTool::arrow);
    EXPECT_EQ(editor->sceneState(), SceneState{});
    EXPECT_EQ(editor->rotationTargets().yaw, 0);
    EXPECT_EQ(editor->selectedTool(), AnnotationTool::arrow);

    editor->restorePreAnnotateSceneState(); // nothing saved: nothing happens
    EXPECT_EQ(editor->sceneState(), SceneState{});
    editor->setPreAnnotateSceneState(SceneState{2.0f, 0.3f, true});
    editor->restorePreAnnotateSceneState();
    EXPECT_EQ(editor->sceneState(), (SceneState{2.0f, 0.3f, true}));
    EXPECT_FLOAT_EQ(editor->rotationTargets().yaw, CanvasLimits::yawLimit);
    EXPECT_FALSE(editor->preAnnotateSceneState());
}
