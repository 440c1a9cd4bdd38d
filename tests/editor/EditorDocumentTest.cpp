#include "EditorFixture.h"

#include "core/CaptureRegion.h"
#include "platform/SettingsKeys.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QUrl>

using namespace pelorin;
using EditorDocument = test::EditorFixture;

// The image scale comes from the pixels per point: the bitmap's own, a file's resolution (144
// dpi opens at half its pixel size), the screen's when there is no bitmap.
TEST_F(EditorDocument, FilesOpenAtTheirPixelsPerPoint)
{
    EXPECT_DOUBLE_EQ(ScreenshotDocument::create(solidImage({1440, 900}), std::nullopt, SourceType::file, 2).imageScale, 1);
    EXPECT_DOUBLE_EQ(ScreenshotDocument::create(QImage(), std::nullopt, SourceType::file, 3).imageScale, 3);
    editor->loadImage(QUrl::fromLocalFile(writeImageFile("hidpi.png", {2880, 1800}, 5669)));
    ASSERT_TRUE(editor->hasDocument());
    EXPECT_EQ(editor->document()->imagePointSize(), QSizeF(1440, 900));
    EXPECT_EQ(editor->document()->sourceType, SourceType::file);

    // A bad file keeps the open document.
    const QUuid openId = editor->document()->id;
    for (const char* name : {"bomb.png", "truncated.png", "not-an-image.png", "does-not-exist.png"}) {
        editor->clearErrorMessage();
        editor->loadImage(QUrl::fromLocalFile(QStringLiteral(PELORIN_TEST_DATA "/") + QLatin1String(name)));
        EXPECT_EQ(editor->errorMessage(), QStringLiteral("Failed to load image from ") + QLatin1String(name));
        ASSERT_TRUE(editor->hasDocument()) << name;
        EXPECT_EQ(editor->document()->id, openId) << name;
    }
}

TEST_F(EditorDocument, StyleCarriesOverButAnnotationsSelectionAndFrameDoNot)
{
    editor->setBackground(BackgroundPreset::forestMist);
    editor->loadImage(solidImage({400, 300}), SourceType::screenCapture, false);
    const QUuid firstId = editor->document()->id;
    const ShapeAnnotation shape = ShapeAnnotation::make(QRectF(10, 10, 40, 40), Qt::red);
    editor->addAnnotation(shape);
    editor->setSelectedTool(AnnotationTool::shape);
    editor->setSelectedAnnotationId(shape.id);
    editor->setExportFrameRect(QRectF(0, 0, 150, 90));
    editor->setShowComponentOverlay(true);
    editor->setDetectedComponents({DetectedComponent{}});
    editor->setSceneState({0.3f, 0.1f, true});
    editor->screenshotTextureDirty = editor->backgroundTextureDirty = editor->annotationTextureDirty = false;

    editor->loadImage(solidImage({800, 600}), SourceType::dragAndDrop, false);
    EXPECT_EQ(editor->sceneState(), SceneState{}) << "a new screenshot starts flat";
    const auto& next = *editor->document();
    EXPECT_NE(next.id, firstId);
    EXPECT_TRUE(next.annotations.empty());
    EXPECT_EQ(next.styling.background, BackgroundStyle::preset(BackgroundPreset::forestMist));
    EXPECT_FALSE(editor->selectedTool());
    EXPECT_TRUE(editor->selectedAnnotationId().isNull());
    EXPECT_FALSE(editor->exportFrameRect());
    EXPECT_FALSE(editor->showComponentOverlay());
    EXPECT_TRUE(editor->detectedComponents().empty());
    EXPECT_TRUE(editor->screenshotTextureDirty && editor->backgroundTextureDirty && editor->annotationTextureDirty);
}

// Without a last screenshot the window shows and says so; a drop on the tray icon opens URLs
// and ignores anything else. The opened image becomes the last screenshot, which opens as a
// capture without being written again.
TEST_F(EditorDocument, TrayRequestsOpenWhatTheyCan)
{
    notifications.post(Notifications::openDroppedFile, QStringLiteral("/not/a/url/object.png"));
    EXPECT_FALSE(editor->hasDocument());
    EXPECT_EQ(host.shown, 0);
    notifications.post(Notifications::openLastScreenshot);
    EXPECT_FALSE(editor->hasDocument());
    EXPECT_EQ(host.shown, 1);
    EXPECT_EQ(editor->errorMessage(), QStringLiteral("No recent screenshot to open."));
    // Read off the GUI thread: the window shows with the picture in it.
    notifications.post(Notifications::openDroppedFile, QUrl::fromLocalFile(writeImageFile("menu.png", {320, 200})));
    ASSERT_TRUE(test::waitUntil([&] { return host.shown == 2; }));
    EXPECT_TRUE(editor->hasDocument());
    editor->pendingLastScreenshotSave().waitForFinished();
    ASSERT_TRUE(QFileInfo::exists(lastScreenshotPath()));
    const QDateTime written = QFileInfo(lastScreenshotPath()).lastModified();

    QTest::qWait(20);
    editor->clearDocument();
    notifications.post(Notifications::openLastScreenshot);
    ASSERT_TRUE(editor->hasDocument());
    EXPECT_EQ(editor->document()->sourceType, SourceType::screenCapture);
    EXPECT_EQ(editor->document()->image.size(), QSize(320, 200));
    EXPECT_FALSE(editor->document()->originalURL);
    EXPECT_EQ(host.shown, 3);
    editor->pendingLastScreenshotSave().waitForFinished();
    EXPECT_EQ(QFileInfo(lastScreenshotPath()).lastModified(), written);
}

// A closed or replaced document comes back whole: image, style, annotations, frame and undo.
TEST_F(EditorDocument, ReopenClosedScreenshotBringsBackTheLastOneWhole)
{
    const struct { const char* name; std::function<void()> close; } ways[] = {
        {"closed (Esc, copy and close)", [&] { editor->closeEditorWindow(); }},
        {"replaced by a new capture", [&] { editor->loadImage(solidImage({50, 50}), SourceType::screenCapture, false); }},
    };
    for (const auto& way : ways) {
        SCOPED_TRACE(way.name);
        QImage pixels = solidImage({400, 300}, 2.0);
        pixels.setPixelColor(399, 299, QColor(1, 2, 3));
        editor->loadImage(pixels, SourceType::screenCapture, false);
        const QUuid id = editor->document()->id;
        editor->addAnnotation(ShapeAnnotation::make(QRectF(10, 10, 40, 40), Qt::red));
        editor->setPadding(48);
        editor->setExportFrameRect(QRectF(5, 5, 200, 100));
        const StyleSnapshot style = editor->styleSnapshot();
        way.close();
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
    editor->clearErrorMessage();
}

namespace {

// Fake capture tools: shell scripts that log their arguments (the last is the output path),
// then behave one way.
class EditorCapture : public test::EditorFixture {
protected:
    void tool(const QString& body)
    {
        const QString path = dir.filePath(QStringLiteral("tool.sh"));
        const QString script = QStringLiteral("#!/bin/sh\nprintf '%s\\n' \"$@\" >> '%1'\neval out=\\${$#}\n%2\n");
        EXPECT_TRUE(test::writeScript(path, script.arg(logPath(), body).toUtf8()));
        settings.store().setValue(QLatin1String(SettingsKeys::captureToolPath), path);
    }
    QString logPath() const { return dir.filePath(QStringLiteral("calls.log")); }
    QStringList loggedArguments() const
    {
        return QString::fromUtf8(test::readBytes(logPath())).split(u'\n', Qt::SkipEmptyParts);
    }
    void finish() { ASSERT_TRUE(test::waitUntil([&] { return !editor->isCapturing(); }, 10000)); }
};

} // namespace

TEST_F(EditorCapture, SelfCaptureCopiesAndWritesATimestampedFile)
{
    editor->captureSelf();
    EXPECT_EQ(editor->errorMessage(), QStringLiteral("Debug capture: no visible window to capture."));
    editor->clearErrorMessage();
    host.grab = solidImage({64, 48});
    QString revealed;
    editor->setFileRevealer([&](const QString& path) { revealed = path; });
    const QDateTime before = QDateTime::currentDateTime();
    editor->captureSelf();
    EXPECT_TRUE(editor->errorMessage().isEmpty());
    const auto stamp = [](const QDateTime& at) { return at.toString(QStringLiteral("yyyy-MM-dd-HHmmss")); };
    const QString name = QFileInfo(revealed).fileName();
    EXPECT_TRUE(name == QStringLiteral("Pelorin-debug-%1.png").arg(stamp(before))
                || name == QStringLiteral("Pelorin-debug-%1.png").arg(stamp(before.addSecs(1)))) << name.toStdString();
    EXPECT_EQ(QFileInfo(revealed).path(), QDir::tempPath());
    EXPECT_EQ(QImage(revealed).size(), QSize(64, 48));
    QFile::remove(revealed);
}

// Every mode asks the tool, once, for its part of the screen, with the stored delay, pointer and
// magnifier choices (a message's own delay wins). The last region is the one a region capture
// was stamped with on these monitors; before there is one, the user selects it. A capture
// becomes the document, brought forward with the windows that were open before it and kept as
// the last screenshot; a cancelled or unusable one changes nothing and a missing tool is
// reported. Either way the hidden windows come back and the temporary file is removed; without
// hiding, no window is touched.
TEST_F(EditorCapture, ModesReachTheToolAndOnlyAUsableCaptureBecomesTheDocument)
{
    QList<QRect> monitors;
    for (const QScreen* screen : QGuiApplication::screens())
        monitors << screen->geometry();
    QImage stamped = solidImage({20, 20});
    stamped.setText(QLatin1String(captureRegionTextKey), QStringLiteral("10,20,30,40"));
    stamped.setText(QLatin1String(captureLayoutTextKey), screenLayoutKey(monitors));
    ASSERT_TRUE(stamped.save(dir.filePath(QStringLiteral("stamped.png"))));
    const QString writes = QStringLiteral("cp '%1' \"$out\"").arg(dir.filePath(QStringLiteral("stamped.png")));
    const auto post = [this](const QString& name, QVariantMap object = {}) { return [=, this] { notifications.post(name, object); }; };
    const auto mode = [&](QVariantMap object) { return post(Notifications::triggerCapture, object); };
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
        QFile::remove(logPath());
        tool(c.body);
        if (c.body.isNull())
            settings.store().setValue(QLatin1String(SettingsKeys::captureToolPath), dir.filePath(QStringLiteral("no-such-tool")));
        settings.store().setValues(c.settings);
        const bool hides = settings.store().boolValue(QLatin1String(SettingsKeys::hideWindowDuringCapture), true);
        const QList<QObject*> open = hides ? QList<QObject*>{&host.editorWindow, &host.settingsWindow} : QList<QObject*>{&host.settingsWindow};
        host.visible = open;
        host.shown = 0;
        editor->clearErrorMessage();
        const QUuid before = editor->document()->id;
        c.start();
        c.start(); // ignored while the first runs
        finish();
        const QStringList args = loggedArguments();
        EXPECT_EQ(args.mid(0, args.size() - 1).join(u' '), QLatin1String(c.arguments));
        if (!args.isEmpty()) {
            EXPECT_TRUE(args.last().startsWith(QDir::tempPath()) && args.last().endsWith(QLatin1String(".png"))) << "the tool ran once";
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

