#include "EditorFixture.h"

#include "core/CaptureRegion.h"
#include "platform/SettingsKeys.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QSignalSpy>
#include <QUrl>

using namespace pelorin;
using EditorDocument = test::EditorFixture;
using EditorStyling = test::EditorFixture;
using EditorCanvas = test::EditorFixture;

// A drop on the tray icon opens URLs only and becomes the last screenshot, which reopens without being
// written again; a bad file keeps the open document. The scale is the bitmap's own, a file's resolution
// (144 dpi opens at half its pixel size), the screen's when there is no bitmap.
TEST_F(EditorDocument, FilesAndTrayRequestsOpenWhatTheyCan)
{
    EXPECT_DOUBLE_EQ(ScreenshotDocument::create(solidImage({1440, 900}), std::nullopt, SourceType::file, 2).imageScale, 1);
    EXPECT_DOUBLE_EQ(ScreenshotDocument::create(QImage(), std::nullopt, SourceType::file, 3).imageScale, 3);
    notifications.post(Notifications::openDroppedFile, QStringLiteral("/not/a/url/object.png"));
    EXPECT_FALSE(editor->hasDocument());
    EXPECT_EQ(host.shown, 0);
    notifications.post(Notifications::openLastScreenshot);
    EXPECT_FALSE(editor->hasDocument());
    EXPECT_EQ(host.shown, 1);
    EXPECT_EQ(editor->errorMessage(), QStringLiteral("No recent screenshot to open."));
    // Read off the GUI thread: the window shows with the picture in it.
    QImage hidpi = solidImage({2880, 1800});
    hidpi.setDotsPerMeterX(5669);
    hidpi.setDotsPerMeterY(5669);
    const QString file = dir.filePath(QStringLiteral("hidpi.png"));
    ASSERT_TRUE(hidpi.save(file, "PNG"));
    notifications.post(Notifications::openDroppedFile, QUrl::fromLocalFile(file));
    ASSERT_TRUE(test::waitUntil([&] { return host.shown == 2; }));
    ASSERT_TRUE(editor->hasDocument());
    EXPECT_EQ(editor->document()->imagePointSize(), QSizeF(1440, 900));
    EXPECT_EQ(editor->document()->sourceType, SourceType::file);
    editor->pendingLastScreenshotSave().waitForFinished();
    ASSERT_TRUE(QFileInfo::exists(lastScreenshotPath()));
    const QDateTime written = QFileInfo(lastScreenshotPath()).lastModified();

    QTest::qWait(20);
    editor->clearDocument();
    notifications.post(Notifications::openLastScreenshot);
    ASSERT_TRUE(editor->hasDocument());
    EXPECT_EQ(editor->document()->sourceType, SourceType::screenCapture);
    EXPECT_EQ(editor->document()->image.size(), QSize(2880, 1800));
    EXPECT_FALSE(editor->document()->originalURL);
    EXPECT_EQ(host.shown, 3);
    editor->pendingLastScreenshotSave().waitForFinished();
    EXPECT_EQ(QFileInfo(lastScreenshotPath()).lastModified(), written);

    const QUuid openId = editor->document()->id;
    for (const char* name : {"bomb.png", "truncated.png", "not-an-image.png", "does-not-exist.png"}) {
        editor->clearErrorMessage();
        editor->loadImage(QUrl::fromLocalFile(QStringLiteral(PELORIN_TEST_DATA "/") + QLatin1String(name)));
        EXPECT_EQ(editor->errorMessage(), QStringLiteral("Failed to load image from ") + QLatin1String(name));
        ASSERT_TRUE(editor->hasDocument()) << name;
        EXPECT_EQ(editor->document()->id, openId) << name;
    }
}

// A closed or replaced document comes back whole, undo included. The screenshot that replaces it
// takes its style but nothing else of it, and is drawn afresh.
TEST_F(EditorDocument, ReopenClosedScreenshotBringsBackTheLastOneWhole)
{
    editor->setBackground(BackgroundPreset::forestMist);
    const struct { const char* name; std::function<void()> close; } ways[] = {
        {"closed (Esc, copy and close)", [&] { editor->closeEditorWindow(); }},
        {"replaced by a new capture", [&] { editor->loadImage(solidImage({50, 50}), SourceType::dragAndDrop, false); }},
    };
    for (const auto& way : ways) {
        SCOPED_TRACE(way.name);
        QImage pixels = solidImage({400, 300}, 2.0);
        pixels.setPixelColor(399, 299, QColor(1, 2, 3));
        editor->loadImage(pixels, SourceType::screenCapture, false);
        const QUuid id = editor->document()->id;
        const ShapeAnnotation shape = ShapeAnnotation::make(QRectF(10, 10, 40, 40), Qt::red);
        editor->addAnnotation(shape);
        editor->setPadding(48);
        editor->setExportFrameRect(QRectF(5, 5, 200, 100));
        editor->setSceneState({0.3f, 0.1f, true});
        const StyleSnapshot style = editor->styleSnapshot();
        editor->setSelectedTool(AnnotationTool::shape);
        editor->setSelectedAnnotationId(shape.id);
        editor->setShowComponentOverlay(true);
        editor->setDetectedComponents({DetectedComponent{}});
        editor->screenshotTextureDirty = editor->backgroundTextureDirty = editor->annotationTextureDirty = false;
        way.close();
        if (editor->hasDocument()) {
            EXPECT_EQ(editor->sceneState(), SceneState{}) << "a new screenshot starts flat";
            EXPECT_NE(editor->document()->id, id);
            EXPECT_TRUE(editor->document()->annotations.empty());
            EXPECT_EQ(editor->document()->styling.background, BackgroundStyle::preset(BackgroundPreset::forestMist));
            EXPECT_FALSE(editor->selectedTool());
            EXPECT_TRUE(editor->selectedAnnotationId().isNull());
            EXPECT_FALSE(editor->exportFrameRect());
            EXPECT_FALSE(editor->showComponentOverlay());
            EXPECT_TRUE(editor->detectedComponents().empty());
            EXPECT_TRUE(editor->screenshotTextureDirty && editor->backgroundTextureDirty && editor->annotationTextureDirty);
        }
        // Kept packed, not as pixels: the editor lets go of the image.
        EXPECT_TRUE(test::waitUntil([&] { return pixels.isDetached(); }));
        editor->setPadding(12); // the next screenshot's style
        host.shown = 0;

        notifications.post(Notifications::reopenClosedScreenshot);
        ASSERT_TRUE(editor->hasDocument());
        EXPECT_EQ(editor->document()->id, id);
        EXPECT_EQ(editor->document()->baseImage, pixels);
        EXPECT_EQ(editor->document()->baseImage.devicePixelRatio(), 2.0);
        EXPECT_EQ(editor->document()->annotations.size(), 1u);
        EXPECT_EQ(editor->styleSnapshot(), style);
        EXPECT_EQ(host.shown, 1) << "the editor shows it";
        editor->undoAnnotationChange(); // the padding, then the annotation
        editor->undoAnnotationChange();
        EXPECT_TRUE(editor->document()->annotations.empty()) << "its undo history came along";
        editor->closeEditorWindow();
    }
    editor->clearDocument();
    editor->reopenClosedDocument();
    EXPECT_TRUE(editor->hasDocument()) << "reopening again swaps back";
}

// Every mode asks the tool once, with the stored choices (a message's own delay wins); the last region is
// the one stamped on these monitors. A usable capture becomes the document; a cancelled or unusable one
// changes nothing. Either way the hidden windows come back and the temporary file is removed. The debug
// capture writes the visible window to a timestamped file.
TEST_F(EditorDocument, CaptureModesReachTheToolAndOnlyAUsableCaptureBecomesTheDocument)
{
    editor->captureSelf();
    EXPECT_EQ(editor->errorMessage(), QStringLiteral("Debug capture: no visible window to capture."));
    editor->clearErrorMessage();
    host.grab = solidImage({64, 48});
    QString revealed;
    editor->setFileRevealer([&](const QString& path) { revealed = path; });
    const QDateTime now = QDateTime::currentDateTime();
    editor->captureSelf();
    EXPECT_TRUE(editor->errorMessage().isEmpty());
    const auto stamp = [](const QDateTime& at) { return at.toString(QStringLiteral("yyyy-MM-dd-HHmmss")); };
    const QString debugFile = QFileInfo(revealed).fileName();
    EXPECT_TRUE(debugFile == QStringLiteral("Pelorin-debug-%1.png").arg(stamp(now))
                || debugFile == QStringLiteral("Pelorin-debug-%1.png").arg(stamp(now.addSecs(1)))) << debugFile.toStdString();
    EXPECT_EQ(QFileInfo(revealed).path(), QDir::tempPath());
    EXPECT_EQ(QImage(revealed).size(), QSize(64, 48));
    QFile::remove(revealed);

    QList<QRect> monitors;
    for (const QScreen* screen : QGuiApplication::screens())
        monitors << screen->geometry();
    QImage stamped = solidImage({20, 20});
    stamped.setText(QLatin1String(captureRegionTextKey), QStringLiteral("10,20,30,40"));
    stamped.setText(QLatin1String(captureLayoutTextKey), screenLayoutKey(monitors));
    ASSERT_TRUE(stamped.save(dir.filePath(QStringLiteral("stamped.png"))));
    const QString writes = QStringLiteral("cp '%1' \"$out\"").arg(dir.filePath(QStringLiteral("stamped.png")));
    const auto post = [this](const QString& name, QVariantMap object = {}) {
        return [=, this] { notifications.post(name, object); };
    };
    const auto mode = [&](QVariantMap object) { return post(Notifications::triggerCapture, object); };
    // Fake tools: scripts that log their arguments (the last is the output path), then act one way.
    const QString log = dir.filePath(QStringLiteral("calls.log")), tool = dir.filePath(QStringLiteral("tool.sh"));
    const QString script = QStringLiteral("#!/bin/sh\nprintf '%s\\n' \"$@\" >> '%1'\neval out=\\${$#}\n%2\n");
    const QString region = Notifications::triggerScreenCapture, delay = QLatin1String(SettingsKeys::captureDelay);
    const QString pointer = QLatin1String(SettingsKeys::captureIncludesPointer);
    const QString magnifier = QLatin1String(SettingsKeys::captureMagnifier);
    const struct {
        const char* name;
        std::function<void()> start;
        QString body; // none: no tool where the settings point
        QVariantMap settings;
        const char* arguments;
        bool used;
        const char* error = "";
    } cases[] = {
        {"cancel", post(region), QStringLiteral("exit 1"), {}, "-i -o", false},
        {"garbage file", post(region), QStringLiteral("echo garbage > \"$out\"; exit 0"), {}, "-i -o", false},
        {"file but failure", post(region), writes + QStringLiteral("; exit 2"), {}, "-i -o", false},
        {"success without a file", post(region), QStringLiteral("exit 0"), {}, "-i -o", false},
        {"last region before there is one", [this] { editor->captureLastRegion(); }, writes, {}, "-i -o", true},
        {"a window", post(Notifications::triggerWindowCapture), writes, {}, "-i -w -o", true},
        {"last region", mode({{QStringLiteral("mode"), QStringLiteral("lastRegion")}}), writes, {}, "-R 10,20,30,40", true},
        {"full screen with the delay and the pointer", [this] { editor->captureFullScreen(); }, writes, {{delay, 3.0}, {pointer, true}},
         "-T 3 -C", true},
        {"monitor 2 with a delay of its own",
         mode({{QStringLiteral("mode"), QStringLiteral("monitor")}, {QStringLiteral("monitor"), 2}, {QStringLiteral("delay"), 1.5}}),
         writes, {{delay, 3.0}, {pointer, false}}, "-T 1.5 -D 2", true},
        {"the monitor under the pointer", mode({{QStringLiteral("mode"), QStringLiteral("monitor")}}), writes, {{delay, 0.0}}, "-m", true},
        {"a region without the magnifier", [this] { editor->captureNewScreenshot(); }, writes, {{magnifier, false}}, "-M -i -o", true},
        {"no tool", [this] { editor->captureWindow(); }, QString(), {}, "", false, "Window capture failed: "},
        {"without hiding", post(region), writes, {{QLatin1String(SettingsKeys::hideWindowDuringCapture), false}}, "-M -i -o", true},
    };
    editor->loadImage(solidImage({50, 50}), SourceType::clipboard, false);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(log);
        ASSERT_TRUE(test::writeScript(tool, script.arg(log, c.body).toUtf8()));
        settings.store().setValue(QLatin1String(SettingsKeys::captureToolPath),
                                  c.body.isNull() ? dir.filePath(QStringLiteral("no-such-tool")) : tool);
        settings.store().setValues(c.settings);
        const bool hides = settings.store().boolValue(QLatin1String(SettingsKeys::hideWindowDuringCapture), true);
        const QList<QObject*> open = hides ? QList<QObject*>{&host.editorWindow, &host.settingsWindow}
                                           : QList<QObject*>{&host.settingsWindow};
        host.visible = open;
        host.shown = 0;
        editor->clearErrorMessage();
        const QUuid before = editor->document()->id;
        c.start();
        c.start(); // ignored while the first runs
        ASSERT_TRUE(test::waitUntil([&] { return !editor->isCapturing(); }, 10000));
        const QStringList args = QString::fromUtf8(test::readBytes(log)).split(u'\n', Qt::SkipEmptyParts);
        EXPECT_EQ(args.mid(0, args.size() - 1).join(u' '), QLatin1String(c.arguments));
        if (!args.isEmpty()) {
            EXPECT_TRUE(args.last().startsWith(QDir::tempPath()) && args.last().endsWith(QLatin1String(".png")));
            EXPECT_FALSE(QFile::exists(args.last())) << "the temporary file is removed";
        }
        EXPECT_EQ(editor->document()->id != before, c.used);
        EXPECT_EQ(editor->errorMessage().left(int(strlen(c.error))), QLatin1String(c.error));
        EXPECT_EQ(editor->errorMessage().isEmpty(), !*c.error);
        EXPECT_EQ(host.visible, open);
        EXPECT_EQ(host.shown, c.used && hides ? 1 : 0) << "the editor is brought forward";
    }
    EXPECT_EQ(editor->document()->sourceType, SourceType::screenCapture);
    editor->pendingLastScreenshotSave().waitForFinished();
    EXPECT_TRUE(QFile::exists(lastScreenshotPath()));
}

// A dragged slider is written once, 400 ms after; the style but the shadow's opacity survives a restart.
// Undecodable stored bytes are left alone; a damaged number comes back within its slider's range.
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

// Style changes reach the document and are undo steps of their own, a dragged slider one step; padding
// drops the stored frame. The style counts as changed from a thousandth of a radian of tilt.
TEST_F(EditorStyling, StyleChangesReachTheDocumentAndUndoWholeAndMakeItDirty)
{
    struct Case { const char* name; std::function<void(EditorViewModel&)> change; bool dirty; };
    const std::vector<Case> dirtying{
        {"yaw below the threshold", [](EditorViewModel& e) { e.setSceneState({0.0005f, 0, false}); }, false},
        {"yaw at the threshold", [](EditorViewModel& e) { e.setSceneState({0.001f, 0, false}); }, true},
        {"pitch negative", [](EditorViewModel& e) { e.setSceneState({0, -0.002f, false}); }, true},
        {"perspective alone", [](EditorViewModel& e) { e.setSceneState({0, 0, true}); }, true},
        {"url text", [](EditorViewModel& e) { BrowserChromeSettings b; b.urlText = QStringLiteral("x"); e.setBrowserChrome(b); }, true},
        {"no address bar", [](EditorViewModel& e) { BrowserChromeSettings b; b.showsAddressBar = false; e.setBrowserChrome(b); }, true},
        {"shadow offset x", [](EditorViewModel& e) { StylingConfiguration s; s.shadow.offsetX = 5; e.setStyling(s); }, true},
    };
    for (const Case& c : dirtying) {
        editor->resetAllStyling();
        c.change(*editor);
        EXPECT_EQ(editor->stylingIsDirty(), c.dirty) << c.name;
    }

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

// Zoom steps and tilts stop at the limits. A new screenshot is fitted once the viewport is known; a
// larger padding zooms out until the card fits again, a smaller one never zooms in.
TEST_F(EditorCanvas, ZoomAndTiltStopAtTheLimitsAndPaddingOnlyEverZoomsOut)
{
    const double expected[] = {1.25, 1.5625, 1.953125, 2.44140625, 3.0517578125, 3.814697265625, 4.0, 4.0};
    for (double zoom : expected) {
        editor->zoomIn();
        EXPECT_DOUBLE_EQ(editor->canvasTransform().zoomLevel, zoom);
    }
    for (int i = 0; i < 20; ++i)
        editor->zoomOut();
    EXPECT_DOUBLE_EQ(editor->canvasTransform().zoomLevel, 0.25);

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

    // A tilt applies at the gesture's end; small ones snap back. Reset keeps the perspective; the
    // projection toggle and choosing a tool drop it; a saved tilt comes back once, clamped.
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
