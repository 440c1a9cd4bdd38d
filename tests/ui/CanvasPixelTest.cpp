#include "UiFixture.h"

#include "render/OffscreenSceneRenderer.h"

#include <QPainter>

#include <cmath>

namespace pelorin::test {
namespace {

// A screenshot with structure (bands and a grid), so that a shifted or scaled card shows.
QImage patternImage(QSize points)
{
    QImage image(points, QImage::Format_ARGB32_Premultiplied);
    image.fill(QColor(245, 245, 248));
    QPainter painter(&image);
    painter.fillRect(QRect(0, 0, points.width() / 4, points.height()), QColor(60, 70, 90));
    painter.setPen(QPen(QColor(40, 120, 220), 3));
    for (int x = points.width() / 4; x < points.width(); x += 37)
        painter.drawLine(x, 0, x, points.height());
    for (int y = 0; y < points.height(); y += 29)
        painter.drawLine(0, y, points.width(), y);
    painter.fillRect(QRect(points.width() / 2, points.height() / 3, 120, 60), QColor(230, 60, 50));
    return image;
}

RedactAnnotation redaction(const QRectF& rect, RedactStyle style)
{
    RedactAnnotation redact = RedactAnnotation::make(rect, Qt::black);
    redact.redactStyle = style;
    return redact;
}

class CanvasPixels : public CanvasFixture {
public:
    void background(BackgroundStyle style)
    {
        StylingConfiguration s = editor->styling();
        s.background = std::move(style);
        editor->setStyling(s);
    }
};

// What the canvas shows inside the export frame is what the export holds, pixel for pixel.
TEST_F(CanvasPixels, MatchesTheExportInsideTheFrame)
{
    const struct {
        const char* name;
        std::function<void(EditorViewModel&)> arrange;
    } cases[] = {
        {"flat card", [](EditorViewModel&) {}},
        {"padded and panned", [](EditorViewModel& e) {
             e.setPadding(60);
             e.setCanvasOffset(QSizeF(-40, 25));
         }},
        {"a frame of the user's across the card's edge", [](EditorViewModel& e) { e.setExportFrameRect(QRectF(100, 80, 420, 300)); }},
        {"tilted with redactions", [](EditorViewModel& e) {
             e.addAnnotation(RedactAnnotation::make(QRectF(40, 40, 200, 60), QColor(20, 20, 20)));
             // Pixelate and blur follow the card: drawn into the raster from its own pixels.
             e.addAnnotation(redaction(QRectF(300, 100, 180, 90), RedactStyle::pixelate));
             e.addAnnotation(redaction(QRectF(120, 220, 220, 120), RedactStyle::blur));
             e.setPadding(80);
             e.beginRotationGesture();
             e.rotateBy(0.35f, -0.2f);
             e.endRotationGesture();
         }},
        {"dimmed around a shape", [](EditorViewModel& e) {
             StylingConfiguration s = e.styling();
             s.dimming.isEnabled = true;
             s.background = BackgroundStyle::preset(BackgroundPreset::sunset);
             e.setStyling(s);
             e.setPadding(40);
             e.addAnnotation(ShapeAnnotation::make(QRectF(300, 120, 200, 150), Qt::transparent));
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        editor->resetAllStyling();
        editor->loadImage(patternImage({640, 400}), SourceType::file, false);
        editor->setZoomLevel(1.0); // one exported pixel per canvas pixel
        c.arrange(*editor);
        waitForFrame();
        ASSERT_DOUBLE_EQ(editor->exportScale(QSizeF(canvasSize)), 1.0);
        const std::optional<QImage> exported = editor->renderFinalImage();
        ASSERT_TRUE(exported.has_value());
        const QRectF frame = editor->exportFrameRect().value_or(editor->derivedExportFrame(QSizeF(canvasSize)));
        ASSERT_EQ(exported->size(), OffscreenSceneRenderer::pixelSizeFor(frame.size(), 1.0));
        const QImage framebuffer = canvas->grabFramebuffer();
        ASSERT_EQ(framebuffer.size(), canvasSize);
        const Agreement agreement = compare(*exported, framebuffer, QPoint(std::lround(frame.left()), std::lround(frame.top())), 2, 24);
        EXPECT_LT(agreement.mean, 1.5);
        EXPECT_LT(agreement.share, 0.003);
    }
}

// Textures are rebuilt for what changed only: corners redraw from the same ones, the same
// background twice is built once, and the annotations get a texture only for a tilt.
TEST_F(CanvasPixels, RebuildsOnlyTheTexturesThatChanged)
{
    open();
    const CanvasView::TextureBuilds before = canvas->textureBuilds();
    for (double radius : {4.0, 12.0, 30.0}) {
        StylingConfiguration s = editor->styling();
        s.cornerRadius = radius;
        editor->setStyling(s);
        waitForFrame();
    }
    EXPECT_EQ(canvas->textureBuilds().background, before.background);
    EXPECT_EQ(canvas->textureBuilds().screenshot, before.screenshot);
    for (int i = 0; i < 2; ++i) {
        editor->setBackground(BackgroundPreset::sunset);
        waitForFrame();
        EXPECT_EQ(canvas->textureBuilds().background, before.background + 1);
    }

    editor->addAnnotation(RedactAnnotation::make(QRectF(10, 10, 80, 30), Qt::black));
    waitForFrame();
    const int flat = canvas->textureBuilds().annotation;
    editor->beginRotationGesture();
    ASSERT_TRUE(waitUntil([&] { return canvas->textureBuilds().annotation == flat + 1; }));
    editor->rotateBy(0.5f, 0);
    editor->endRotationGesture();
    waitForFrame();
    EXPECT_EQ(canvas->textureBuilds().annotation, flat + 1);
    // Easing asks for frames only until it has settled.
    EXPECT_FLOAT_EQ(canvas->displayedYaw(), 0.5f);
    const int settled = canvas->framesDrawn();
    QTest::qWait(200);
    EXPECT_EQ(canvas->framesDrawn(), settled);
}

TEST_F(CanvasPixels, PreparesTheWallpaperOffTheGuiThread)
{
    open();
    QThread* gui = QThread::currentThread();
    std::atomic<bool> askedOnGuiThread = true;
    canvas->setWallpaperProvider([&] {
        askedOnGuiThread = QThread::currentThread() == gui;
        QImage picture(400, 300, QImage::Format_RGB32);
        picture.fill(QColor(10, 200, 30));
        return std::optional<QImage>(picture);
    });
    const int before = canvas->textureBuilds().background;
    editor->setBackgroundToWallpaper();
    canvas->requestFrame();
    ASSERT_TRUE(waitUntil([&] { return canvas->textureBuilds().background == before + 1; }));
    EXPECT_FALSE(askedOnGuiThread);
    waitForFrame();
    const QColor corner = canvas->grabFramebuffer().pixelColor(5, 5);
    EXPECT_TRUE(corner.green() > 150 && corner.red() < 60) << qPrintable(corner.name());
}

// The fill behind the card is kept between frames; whatever changes it must show in the
// next frame, at either size, and a new screenshot must replace the old one on screen.
TEST_F(CanvasPixels, ShowsChangesBehindAndOnTheCardInTheNextFrame)
{
    open();
    editor->setZoomLevel(0.5); // the card in the middle, the background in the corners
    const struct {
        const char* name;
        std::function<void()> change;
        std::function<bool(QColor corner, QColor middle)> shows;
    } steps[] = {
        {"solid background", [&] { background(BackgroundStyle::solidColor({0, 0.8, 0, 1})); },
         [](QColor c, QColor) { return c.green() > 180 && c.red() < 40; }},
        {"transparent: the checker", [&] { background(BackgroundStyle::transparent()); },
         [](QColor c, QColor) { return c.red() == c.green() && c.red() > 140; }},
        {"another solid background", [&] { background(BackgroundStyle::solidColor({0, 0, 0.9, 1})); },
         [](QColor c, QColor) { return c.blue() > 200 && c.green() < 40; }},
        {"a smaller canvas", [&] { canvas->resize(700, 500); }, [](QColor c, QColor) { return c.blue() > 200 && c.green() < 40; }},
        {"a new screenshot", [&] { editor->loadImage(solidImage({800, 500}, 1.0, QColor(250, 230, 10)), SourceType::file, false); },
         [](QColor, QColor m) { return m.red() > 230 && m.green() > 200 && m.blue() < 60; }},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.name);
        step.change();
        waitForFrame();
        const QImage frame = canvas->grabFramebuffer();
        const QColor corner = frame.pixelColor(3, 3), middle = frame.pixelColor(frame.width() / 2, frame.height() / 2);
        EXPECT_TRUE(step.shows(corner, middle)) << qPrintable(corner.name()) << " " << qPrintable(middle.name());
    }
}

} // namespace
} // namespace pelorin::test
