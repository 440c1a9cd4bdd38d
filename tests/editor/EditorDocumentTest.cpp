#include "EditorFixture.h"

#include <QFileInfo>
#include <QUrl>

using namespace pelorin;

namespace {

class EditorDocument : public test::EditorFixture {};

} // namespace

// The image scale comes from the pixels per point: the bitmap's own, a file's resolution (144
// dpi opens at half its pixel size), the screen's when there is no bitmap.
TEST_F(EditorDocument, ImageScaleComesFromThePixelsPerPoint)
{
    const struct {
        const char* name;
        QImage image;
        double screenScale;
        double imageScale;
    } cases[] = {
        {"2x capture on a 1x screen", solidImage({2880, 1800}, 2.0), 1.0, 2.0},
        {"1x image on a 2x screen", solidImage({1440, 900}, 1.0), 2.0, 1.0},
        {"no bitmap takes the screen scale", QImage(), 3.0, 3.0},
    };
    for (const auto& c : cases)
        EXPECT_DOUBLE_EQ(ScreenshotDocument::create(c.image, std::nullopt, SourceType::file, c.screenScale).imageScale, c.imageScale) << c.name;
    editor->loadImage(QUrl::fromLocalFile(writeImageFile("hidpi.png", {2880, 1800}, 5669)));
    ASSERT_TRUE(editor->hasDocument());
    EXPECT_DOUBLE_EQ(editor->document()->imageScale, 2.0);
    EXPECT_EQ(editor->document()->imagePointSize(), QSizeF(1440, 900));
    EXPECT_EQ(editor->document()->sourceType, SourceType::file);
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

TEST_F(EditorDocument, ABadFileKeepsTheOpenDocument)
{
    editor->loadImage(solidImage({400, 300}), SourceType::clipboard, false);
    const QUuid openId = editor->document()->id;
    for (const char* name : {"bomb.png", "truncated.png", "not-an-image.png", "does-not-exist.png"}) {
        editor->clearErrorMessage();
        editor->loadImage(QUrl::fromLocalFile(QStringLiteral(PELORIN_TEST_DATA "/") + QLatin1String(name)));
        EXPECT_EQ(editor->errorMessage(), QStringLiteral("Failed to load image from ") + QLatin1String(name));
        EXPECT_EQ(editor->document()->id, openId) << name;
    }
}

TEST_F(EditorDocument, LoadedImagesBecomeTheLastScreenshotButReopeningDoesNotRewriteIt)
{
    editor->loadImage(QUrl::fromLocalFile(writeImageFile("shot.png", {320, 200})));
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
    EXPECT_EQ(host.shown, 1);
    editor->pendingLastScreenshotSave().waitForFinished();
    EXPECT_EQ(QFileInfo(lastScreenshotPath()).lastModified(), written);
}

// Without a last screenshot the window shows and says so; a drop on the tray icon opens URLs
// and ignores anything else.
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
    notifications.post(Notifications::openDroppedFile, QUrl::fromLocalFile(writeImageFile("menu.png", {64, 64})));
    ASSERT_TRUE(test::waitUntil([&] { return host.shown == 2; }));
    EXPECT_TRUE(editor->hasDocument());
}

// A closed or replaced document comes back whole: image, style, annotations, frame and undo.
TEST_F(EditorDocument, ReopenClosedScreenshotBringsBackTheLastOneWhole)
{
    const struct {
        const char* name;
        std::function<void()> close;
    } ways[] = {
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
