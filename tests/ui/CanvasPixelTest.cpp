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

struct Agreement {
    double meanDifference = 0;
    double largeDifferenceShare = 0; // pixels with a channel off by more than 24
};

// Compares `exported` with the same area of `canvas`, leaving out `inset` pixels along the
// frame's edges.
Agreement compare(const QImage& exported, const QImage& canvas, QPoint origin, int inset)
{
    const QImage a = exported.convertToFormat(QImage::Format_RGBA8888);
    const QImage b = canvas.convertToFormat(QImage::Format_RGBA8888);
    double sum = 0;
    long large = 0;
    long count = 0;
    for (int y = inset; y < a.height() - inset; ++y) {
        for (int x = inset; x < a.width() - inset; ++x) {
            const QColor p = a.pixelColor(x, y);
            const QColor q = b.pixelColor(origin.x() + x, origin.y() + y);
            const int d = std::max({std::abs(p.red() - q.red()), std::abs(p.green() - q.green()),
                                    std::abs(p.blue() - q.blue())});
            sum += d;
            large += d > 24 ? 1 : 0;
            ++count;
        }
    }
    return {sum / std::max(1L, count), double(large) / std::max(1L, count)};
}

struct SceneCase {
    const char* name;
    friend void PrintTo(const SceneCase& c, std::ostream* os) { *os << c.name; }
    std::function<void(EditorViewModel&)> arrange;
};

class CanvasMatchesExport : public CanvasFixture, public ::testing::WithParamInterface<SceneCase> {};

TEST_P(CanvasMatchesExport, InsideTheExportFrame)
{
    QImage image = patternImage({640, 400});
    image.setDevicePixelRatio(1);
    editor->loadImage(image, SourceType::file, false);
    // One exported pixel per canvas pixel: a 1× image at zoom 1.
    editor->setZoomLevel(1.0);
    GetParam().arrange(*editor);
    waitForFrame();
    ASSERT_DOUBLE_EQ(editor->exportScale(QSizeF(canvasSize)), 1.0);

    const std::optional<QImage> exported = editor->renderFinalImage();
    ASSERT_TRUE(exported.has_value());
    const QRectF frame = editor->exportFrameRect().value_or(editor->derivedExportFrame(QSizeF(canvasSize)));
    ASSERT_EQ(exported->size(), OffscreenSceneRenderer::pixelSizeFor(frame.size(), 1.0));
    const QImage framebuffer = canvas->grabFramebuffer();
    ASSERT_EQ(framebuffer.size(), canvasSize);

    const QPoint origin(int(std::lround(frame.left())), int(std::lround(frame.top())));
    const Agreement agreement = compare(*exported, framebuffer, origin, 2);
    EXPECT_LT(agreement.meanDifference, 1.5);
    EXPECT_LT(agreement.largeDifferenceShare, 0.003);
}

INSTANTIATE_TEST_SUITE_P(
    Canvas, CanvasMatchesExport,
    ::testing::Values(
        SceneCase{"flatCard", [](EditorViewModel&) {}},
        SceneCase{"paddedAndPanned",
                  [](EditorViewModel& e) {
                      e.setPadding(60);
                      e.setCanvasOffset(QSizeF(-40, 25));
                  }},
        SceneCase{"userFrameAcrossTheCardEdge",
                  [](EditorViewModel& e) { e.setExportFrameRect(QRectF(100, 80, 420, 300)); }},
        SceneCase{"tiltedWithAnnotation",
                  [](EditorViewModel& e) {
                      e.addAnnotation(RedactAnnotation::make(QRectF(40, 40, 200, 60), QColor(20, 20, 20)));
                      // Pixelate and blur follow the card: drawn into the raster from its own pixels.
                      e.addAnnotation(redaction(QRectF(300, 100, 180, 90), RedactStyle::pixelate));
                      e.addAnnotation(redaction(QRectF(120, 220, 220, 120), RedactStyle::blur));
                      e.setPadding(80);
                      e.beginRotationGesture();
                      e.rotateBy(0.35f, -0.2f);
                      e.endRotationGesture();
                  }},
        SceneCase{"dimmedAroundAShape",
                  [](EditorViewModel& e) {
                      StylingConfiguration s = e.styling();
                      s.dimming.isEnabled = true;
                      s.background = BackgroundStyle::preset(BackgroundPreset::sunset);
                      e.setStyling(s);
                      e.setPadding(40);
                      e.addAnnotation(ShapeAnnotation::make(QRectF(300, 120, 200, 150), Qt::transparent));
                  }}),
    caseName<SceneCase>);

class CanvasTextures : public CanvasFixture {
public:
    CanvasTextures() { open(); }
};

TEST_F(CanvasTextures, CornerRadiusChangesRedrawWithoutRebuildingTextures)
{
    const CanvasView::TextureBuilds before = canvas->textureBuilds();
    for (double radius : {4.0, 12.0, 30.0}) {
        StylingConfiguration s = editor->styling();
        s.cornerRadius = radius;
        editor->setStyling(s);
        waitForFrame();
    }
    const CanvasView::TextureBuilds after = canvas->textureBuilds();
    EXPECT_EQ(after.background, before.background);
    EXPECT_EQ(after.screenshot, before.screenshot);
}

TEST_F(CanvasTextures, OnlyABackgroundChangeRebuildsTheBackground)
{
    const int before = canvas->textureBuilds().background;
    editor->setBackground(BackgroundPreset::sunset);
    waitForFrame();
    EXPECT_EQ(canvas->textureBuilds().background, before + 1);
    editor->setBackground(BackgroundPreset::sunset);
    waitForFrame();
    EXPECT_EQ(canvas->textureBuilds().background, before + 1);
}

TEST_F(CanvasTextures, AnnotationTextureWaitsForATilt)
{
    editor->addAnnotation(RedactAnnotation::make(QRectF(10, 10, 80, 30), Qt::black));
    waitForFrame();
    const int flat = canvas->textureBuilds().annotation;
    editor->beginRotationGesture();
    ASSERT_TRUE(waitUntil([&] { return canvas->textureBuilds().annotation == flat + 1; }));
    editor->endRotationGesture();
    waitForFrame();
    EXPECT_EQ(canvas->textureBuilds().annotation, flat + 1);
}

TEST_F(CanvasTextures, WallpaperBackgroundIsPreparedOffTheGuiThread)
{
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
    EXPECT_GT(corner.green(), 150);
    EXPECT_LT(corner.red(), 60);
}

// The fill behind the card is kept between frames; whatever changes it must show in the
// next frame, at either size, and a new screenshot must replace the old one on screen.
TEST_F(CanvasTextures, ChangesBehindAndOnTheCardShowInTheNextFrame)
{
    const auto background = [](CanvasTextures& t, BackgroundStyle style) {
        StylingConfiguration s = t.editor->styling();
        s.background = std::move(style);
        t.editor->setStyling(s);
    };
    editor->setZoomLevel(0.5); // the card in the middle, the background in the corners
    struct Step {
        const char* name;
        std::function<void(CanvasTextures&)> change;
        std::function<bool(QColor corner, QColor middle)> shows;
    } steps[] = {
        {"solid background",
         [&](CanvasTextures& t) { background(t, BackgroundStyle::solidColor({0, 0.8, 0, 1})); },
         [](QColor c, QColor) { return c.green() > 180 && c.red() < 40; }},
        {"transparent: the checker",
         [&](CanvasTextures& t) { background(t, BackgroundStyle::transparent()); },
         [](QColor c, QColor) { return c.red() == c.green() && c.red() > 140; }},
        {"another solid background",
         [&](CanvasTextures& t) { background(t, BackgroundStyle::solidColor({0, 0, 0.9, 1})); },
         [](QColor c, QColor) { return c.blue() > 200 && c.green() < 40; }},
        {"a smaller canvas",
         [](CanvasTextures& t) { t.canvas->resize(700, 500); },
         [](QColor c, QColor) { return c.blue() > 200 && c.green() < 40; }},
        {"a new screenshot",
         [](CanvasTextures& t) {
             t.editor->loadImage(solidImage({800, 500}, 1.0, QColor(250, 230, 10)), SourceType::file, false);
         },
         [](QColor, QColor m) { return m.red() > 230 && m.green() > 200 && m.blue() < 60; }},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        step.change(*this);
        waitForFrame();
        const QImage frame = canvas->grabFramebuffer();
        const QColor corner = frame.pixelColor(3, 3);
        const QColor middle = frame.pixelColor(frame.width() / 2, frame.height() / 2);
        EXPECT_TRUE(step.shows(corner, middle)) << qPrintable(corner.name()) << " " << qPrintable(middle.name());
    }
}

TEST_F(CanvasTextures, EasingRequestsFramesOnlyUntilSettled)
{
    editor->beginRotationGesture();
    editor->rotateBy(0.5f, 0);
    editor->endRotationGesture();
    waitForFrame();
    EXPECT_FLOAT_EQ(canvas->displayedYaw(), 0.5f);
    const int settled = canvas->framesDrawn();
    QTest::qWait(200);
    EXPECT_EQ(canvas->framesDrawn(), settled);
}

} // namespace
} // namespace pelorin::test
