#include "render/MatrixMath.h"
#include "render/OffscreenContext.h"
#include "render/OffscreenSceneRenderer.h"
#include "render/SceneRenderer.h"

#include <gtest/gtest.h>

#include <QVector4D>

#include <cmath>
#include <functional>

namespace pelorin::test {
namespace {

QImage filledImage(QSize size, QColor color)
{
    QImage image(size, QImage::Format_RGBA8888);
    image.fill(color);
    return image;
}

bool isRed(QColor c)
{
    return c.alpha() > 200 && c.red() > 200 && c.green() < 60 && c.blue() < 60;
}

// First and last red position along a row or a column, or (-1, -1).
std::pair<int, int> redExtent(const QImage& image, int line, bool alongRow)
{
    int first = -1, last = -1;
    for (int i = 0; i < (alongRow ? image.width() : image.height()); ++i) {
        if (isRed(alongRow ? image.pixelColor(i, line) : image.pixelColor(line, i))) {
            if (first < 0)
                first = i;
            last = i;
        }
    }
    return {first, last};
}

int channelDistance(QColor p, QColor q)
{
    return std::max({std::abs(p.red() - q.red()), std::abs(p.green() - q.green()), std::abs(p.blue() - q.blue()),
                     std::abs(p.alpha() - q.alpha())});
}

// The largest difference in any channel between two pictures of one size, over the pixels
// `ignored` does not pass over.
int worstDifference(const QImage& a, const QImage& b,
                    const std::function<bool(QColor, QColor)>& ignored = [](QColor, QColor) { return false; })
{
    int worst = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QColor p = a.pixelColor(x, y), q = b.pixelColor(x, y);
            if (p != q && !ignored(p, q))
                worst = std::max(worst, channelDistance(p, q));
        }
    }
    return worst;
}

// One export-style render: transparent background, no shadow, square corners, flat, 1×.
struct SceneSetup {
    QImage background = filledImage({8, 8}, Qt::transparent);
    QImage screenshot;
    const QImage* annotation = nullptr;
    QRectF annotationRect;
    StylingConfiguration styling = [] {
        StylingConfiguration plain;
        plain.cornerRadius = 0;
        plain.shadow.radius = 0;
        return plain;
    }();
    SceneState state;
    QSizeF output;
    float zoom = 1;
    QPointF pan;
    float scale = 1;
    float dimAmount = 0;
    std::vector<DimHoleSpec> holes;
};

// One export renderer per test suite: contexts are cheap but not free on a software rasteriser.
class SceneRenderTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { s_renderer = std::make_unique<OffscreenSceneRenderer>(); }
    static void TearDownTestSuite() { s_renderer.reset(); }

    static std::optional<QImage> render(const SceneSetup& s)
    {
        return s_renderer->renderToImage(s.background, s.screenshot, s.annotation, s.annotationRect,
                                         s.screenshot.size(), s.styling, s.state, s.output, s.zoom, s.pan, s.scale,
                                         s.dimAmount, s.holes);
    }

    static QImage renderOrFail(const SceneSetup& s)
    {
        std::optional<QImage> image = render(s);
        EXPECT_TRUE(image.has_value()) << s_renderer->errorString().toStdString();
        return image.value_or(QImage(s.output.toSize(), QImage::Format_RGBA8888_Premultiplied));
    }

    static inline std::unique_ptr<OffscreenSceneRenderer> s_renderer;
};

// An untilted card covers exactly its point size, zoomed and panned; a tilt shortens the far
// edge only with perspective.
TEST_F(SceneRenderTest, CardCoversItsPointSizeAndTiltShortensTheFarEdge)
{
    // +1: the first edge is the longer, -1: the second, 0: both alike.
    // `expected` in pixels, inclusive edges; the vertical extents near the left and right edges
    // and the horizontal ones near the top and bottom compare as `leftVersusRight`, `topVersusBottom`.
    struct Case {
        const char* name;
        SceneState state;
        float scale = 1, zoom = 1;
        QPointF pan;
        std::optional<QRect> expected;
        int leftVersusRight = 0, topVersusBottom = 0;
    } cases[] = {
        {"orthographic", {}, 1, 1, {}, QRect(QPoint(100, 100), QPoint(1099, 699))},
        {"perspective without tilt", {0, 0, true}, 1, 1, {}, QRect(QPoint(100, 100), QPoint(1099, 699))},
        {"twice the pixels per point", {}, 2, 1, {}, QRect(QPoint(200, 200), QPoint(2199, 1399))},
        {"half zoom", {0, 0, true}, 1, 0.5f, {}, QRect(QPoint(350, 250), QPoint(849, 549))},
        // Device y points up: a positive pan moves the card right and up.
        {"panned", {0, 0, true}, 1, 1, {0.1, 0.125}, QRect(QPoint(160, 50), QPoint(1159, 649))},
        {"positive yaw turns the right edge away", {0.5f, 0, true}, 1, 0.6f, {}, std::nullopt, 1},
        {"negative yaw turns the left edge away", {-0.5f, 0, true}, 1, 0.6f, {}, std::nullopt, -1},
        {"positive pitch turns the top edge closer", {0, 0.4f, true}, 1, 0.6f, {}, std::nullopt, 0, 1},
        {"negative pitch tips the top edge away", {0, -0.4f, true}, 1, 0.6f, {}, std::nullopt, 0, -1},
        {"orthographic yaw keeps the edges equal", {0.5f, 0, false}, 1, 0.6f, {}, std::nullopt},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        SceneSetup s;
        s.background = filledImage({120, 80}, Qt::blue);
        s.screenshot = filledImage({1000, 600}, Qt::red);
        s.output = {1200, 800};
        s.state = k.state;
        s.scale = k.scale;
        s.zoom = k.zoom;
        s.pan = k.pan;
        const QImage image = renderOrFail(s);
        const QPoint centre = k.expected ? k.expected->center() : QPoint(600, 400);
        const auto [left, right] = redExtent(image, centre.y(), true);
        const auto [top, bottom] = redExtent(image, centre.x(), false);
        ASSERT_GE(left, 0);
        ASSERT_GE(top, 0);
        EXPECT_EQ(image.pixelColor(5, 5), QColor(Qt::blue)) << "background around the card";
        if (k.expected) {
            EXPECT_NEAR(left, k.expected->left(), 1);
            EXPECT_NEAR(right, k.expected->right(), 1);
            EXPECT_NEAR(top, k.expected->top(), 1);
            EXPECT_NEAR(bottom, k.expected->bottom(), 1);
        }
        auto length = [&](int line, bool alongRow) {
            const auto [a, b] = redExtent(image, line, alongRow);
            return b - a;
        };
        auto compare = [](int a, int b, int longer) {
            EXPECT_TRUE(longer ? longer * (a - b) > 4 : std::abs(a - b) <= 2) << a << " against " << b;
        };
        compare(length(left + 3, false), length(right - 3, false), k.leftVersusRight);
        compare(length(top + 3, true), length(bottom - 3, true), k.topVersusBottom);
        EXPECT_TRUE(k.state.yaw == 0 || right - left < 580) << "a turned card is narrower";
    }
}

// Under an opaque flat card the shadow is not shaded at all, and the card's middle replaces
// what is under it without an edge ramp; the picture must not change, right up to the card's
// anti-aliased edge and rounded corners. One pixel that is not quite opaque makes the renderer
// shade the whole shadow and blend the whole card, the reference.
TEST_F(SceneRenderTest, ShadowHiddenByAnOpaqueCardLeavesEveryPixelAsItWas)
{
    struct Case { const char* name; double cornerRadius; float zoom; float scale; double offset = 12; bool spotlight = false; };
    const Case cases[] = {
        {"square corners", 0, 1, 1},
        {"rounded", 24, 1, 1},
        {"rounded, zoomed out", 24, 0.4f, 1},
        {"rounded, two pixels a point", 24, 1, 2},
        {"shadow mostly beside the card", 24, 1, 1, 260},
        {"dimmed around a spotlight", 24, 1, 1, 12, true},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        SceneSetup s;
        s.background = filledImage({8, 8}, QColor(30, 140, 90));
        s.screenshot = filledImage({400, 300}, QColor(220, 40, 40));
        s.styling.cornerRadius = k.cornerRadius;
        s.styling.shadow = {30, 0.7, k.offset / 2, k.offset, {0, 0, 0.2, 1}};
        if (k.spotlight) {
            s.dimAmount = 0.6f;
            s.holes = {{QRectF(60, 40, 150, 90), 12, false}};
        }
        s.output = {600, 500};
        s.zoom = k.zoom;
        s.scale = k.scale;
        const QImage skipped = renderOrFail(s);
        s.screenshot.setPixelColor(0, 0, QColor(220, 40, 40, 254));
        const QImage shaded = renderOrFail(s);
        ASSERT_EQ(skipped.size(), shaded.size());
        // The card's own corner pixel differs on purpose.
        EXPECT_LE(worstDifference(skipped, shaded, [](QColor a, QColor b) {
                      return std::abs(a.red() - b.red()) + std::abs(a.alpha() - b.alpha()) <= 2;
                  }),
                  1);
    }
}

// What a flat export shows at each point: the background fills the target by aspect fill, an
// annotation lies on the card at its document rectangle, rounded corners are cut out of the
// card, the shadow falls below it only with a radius and an opacity (no larger for a
// perspective camera while untilted), all else of an export keeps its real transparency, and
// dimming darkens everything but the first sixteen holes (a row along the top).
TEST_F(SceneRenderTest, EachPointShowsWhatLiesOnTop)
{
    // Quarters red, green, blue, yellow along the long side.
    auto quarters = [](QSize size) {
        const bool wide = size.width() > size.height();
        QImage bands(wide ? 4 : 1, wide ? 1 : 4, QImage::Format_RGBA8888);
        const QColor colors[] = {Qt::red, Qt::green, Qt::blue, Qt::yellow};
        for (int i = 0; i < 4; ++i)
            bands.setPixelColor(wide ? i : 0, wide ? 0 : i, colors[i]);
        return bands.scaled(size);
    };
    auto background = [&](QSize size, QSizeF output) {
        return [=](SceneSetup& s) {
            s.background = quarters(size);
            s.screenshot = filledImage({10, 10}, Qt::transparent);
            s.output = output;
        };
    };
    const QImage annotation = filledImage({100, 50}, Qt::red);
    auto annotated = [&](QRectF rect) {
        return [&annotation, rect](SceneSetup& s) {
            s.annotation = &annotation;
            s.annotationRect = rect;
        };
    };
    auto dimmed = [](float amount) {
        return [amount](SceneSetup& s) {
            s.screenshot = filledImage({1800, 400}, Qt::white);
            s.output = {1800, 400};
            s.dimAmount = amount;
            s.holes = {{QRectF(50, 150, 100, 80), 0, false},
                       {QRectF(200, 200, 150, 150), 0, true},
                       {QRectF(50, 280, 100, 100), 30, false}};
            for (int i = 3; i < 17; ++i)
                s.holes.push_back({QRectF(i * 100 + 25, 25, 50, 50), 0, false});
        };
    };
    const QColor red(Qt::red), white(Qt::white), dim(128, 128, 128), clear(0, 0, 0, 0), shadow(0, 0, 0, 98);
    struct Probe { QPoint at; QColor color; };
    // The card lies at (100, 100)–(500, 400), its shadow 20 lower; the blur ends before 470.
    auto styled = [](double cornerRadius, double shadowRadius, double opacity, bool perspective = false) {
        return [=](SceneSetup& s) {
            s.styling.cornerRadius = cornerRadius;
            s.styling.shadow = {shadowRadius, opacity, 0, 20, {0, 0, 0, 1}};
            s.state.isPerspective = perspective;
        };
    };
    auto around = [&](QColor corners, QColor below) {
        return std::vector<Probe>{{{101, 101}, corners}, {{109, 109}, corners}, {{498, 398}, corners}, {{150, 101}, white},
                                  {{300, 412}, below},   {{50, 50}, clear},      {{550, 450}, clear},   {{300, 85}, clear},
                                  {{300, 470}, clear}};
    };
    const struct { const char* name; std::function<void(SceneSetup&)> setup; std::vector<Probe> probes; } cases[] = {
        {"wide background in a square: the middle two columns", background({400, 100}, {200, 200}),
         {{{2, 100}, Qt::green}, {{197, 100}, Qt::blue}}},
        {"tall background in a square: the middle two rows", background({100, 400}, {200, 200}),
         {{{100, 2}, Qt::green}, {{100, 197}, Qt::blue}}},
        {"background of the same aspect: everything", background({400, 100}, {800, 200}),
         {{{2, 100}, red}, {{797, 100}, Qt::yellow}}},
        {"rounded corners", styled(40, 0, 0.5), around(clear, clear)},
        {"soft shadow", styled(0, 20, 0.5), around(white, shadow)},
        {"soft shadow, perspective camera", styled(0, 20, 0.5, true), around(white, shadow)},
        {"shadow of opacity 0", styled(0, 20, 0), around(white, clear)},
        {"placed annotation", annotated(QRectF(50, 200, 100, 50)), {{{200, 325}, red}, {{200, 200}, white}}},
        {"annotation reaching beyond the card", annotated(QRectF(-60, 100, 100, 50)),
         {{{70, 225}, red}, {{160, 225}, white}}},
        {"annotation with an empty rectangle spans the card", annotated(QRectF()), {{{495, 395}, red}}},
        {"dimmed", dimmed(0.5f),
         {{{100, 190}, white},   // inside the rectangle
          {{380, 120}, dim},     // outside every hole
          {{175, 250}, dim},     // between holes
          {{275, 275}, white},   // centre of the ellipse
          {{206, 206}, dim},     // the ellipse's box corner
          {{53, 283}, dim},      // the rounded hole's cut-off corner
          {{100, 330}, white},   // the rounded hole's middle
          {{1550, 50}, white},   // the sixteenth hole
          {{1650, 50}, dim}}},   // a seventeenth hole
        {"dimmed by 0", dimmed(0), {{{380, 120}, white}}},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        SceneSetup s;
        s.screenshot = filledImage({400, 300}, Qt::white);
        s.output = {600, 500};
        k.setup(s);
        const QImage image = renderOrFail(s);
        for (const Probe& p : k.probes)
            EXPECT_LE(channelDistance(image.pixelColor(p.at), p.color), 4)
                << p.at.x() << "," << p.at.y() << ": " << image.pixelColor(p.at).name(QColor::HexArgb).toStdString();
    }
}

// A failed export gives no image and leaves no stale texture behind for the next one; a kept
// result is not overwritten by the next export.
TEST_F(SceneRenderTest, OutputPixelsAreTheTruncatedProductOfSizeAndScale)
{
    // An empty background or screenshot size: that texture is missing.
    struct Case { QSizeF output; float scale; std::optional<QSize> pixels; QSize background{8, 8}, screenshot{40, 30}; };
    const Case cases[] = {
        {{300, 200}, 1, QSize(300, 200)},
        {{100.7, 50.2}, 1, QSize(100, 50)},
        {{100, 50}, 1.5f, QSize(150, 75)},
        {{33.3, 10}, 3, QSize(99, 30)},
        {{0.5, 0.5}, 2, QSize(1, 1)},
        {{0.9, 100}, 1, std::nullopt},
        {{100, 0.4}, 2, std::nullopt},
        {{100, 100}, 0, std::nullopt},
        {{40, 30}, 1, std::nullopt, {}},
        {{40, 30}, 1, std::nullopt, {8, 8}, {}},
        {{40, 30}, 1, QSize(40, 30)},
    };
    std::optional<QImage> first;
    int row = 0;
    for (const Case& k : cases) {
        SCOPED_TRACE(testing::Message() << k.output.width() << "x" << k.output.height() << " @" << k.scale);
        const QRgb color = QColor::fromHsv(row++ * 30, 255, 255).rgba(); // each its own, so nothing stale passes
        SceneSetup s;
        s.background = filledImage(k.background, Qt::transparent);
        s.screenshot = filledImage(k.screenshot, QColor::fromRgba(color));
        s.output = k.output;
        s.scale = k.scale;
        const std::optional<QImage> image = render(s);
        ASSERT_EQ(image.has_value(), k.pixels.has_value()) << s_renderer->errorString().toStdString();
        if (!image)
            continue;
        EXPECT_EQ(image->size(), *k.pixels);
        EXPECT_DOUBLE_EQ(image->devicePixelRatio(), k.pixels->width() / k.output.width());
        EXPECT_EQ(image->format(), QImage::Format_RGBA8888_Premultiplied);
        EXPECT_EQ(image->pixel(image->width() / 2, image->height() / 2), color);
        first = first.value_or(*image);
    }
    ASSERT_TRUE(first);
    EXPECT_TRUE(isRed(first->pixelColor(150, 100)));
}

// The live canvas path, one renderer per test in a context of its own.
class SceneRendererDirectTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QString error;
        ASSERT_TRUE(m_context.create(&error)) << error.toStdString();
        m_scope.emplace(m_context);
        ASSERT_TRUE(m_scope->isCurrent());
        ASSERT_TRUE(renderer.initialize(&error)) << error.toStdString();
    }

    // `frame` is the framebuffer's own size when it holds only part of the drawable.
    QImage draw(const SceneRenderParams& params, QSize pixels,
                SceneRenderer::RowOrder order = SceneRenderer::RowOrder::BottomUp, QSize frame = {})
    {
        QString error;
        frame = frame.isEmpty() ? pixels : frame;
        EXPECT_TRUE(m_context.beginFrame(frame, &error)) << error.toStdString();
        renderer.encodeScene(params, pixels, 0, 0, order);
        QImage image(frame, QImage::Format_RGBA8888_Premultiplied);
        EXPECT_TRUE(m_context.readPixels(image));
        return order == SceneRenderer::RowOrder::BottomUp ? image.mirrored() : image;
    }

    OffscreenContext m_context;
    std::optional<OffscreenContext::CurrentScope> m_scope;
    SceneRenderer renderer;
};

TEST_F(SceneRendererDirectTest, CheckerboardHasCellsOfEightPoints)
{
    for (float scale : {1.0f, 2.0f}) {
        SCOPED_TRACE(scale);
        SceneRenderParams params;
        params.imageSize = {10, 10};
        params.styling.shadow.radius = 0;
        params.scaleFactor = scale;
        params.showsTransparencyChecker = true;
        const QImage checker = draw(params, {64, 64});
        const int cell = int(8 * scale);
        const QColor a = checker.pixelColor(1, 1);
        EXPECT_EQ(a.alpha(), 255);
        EXPECT_EQ(checker.pixelColor(cell - 2, 1), a);
        EXPECT_NE(checker.pixelColor(cell + 1, 1), a);
        EXPECT_NE(checker.pixelColor(1, cell + 1), a);
        EXPECT_EQ(checker.pixelColor(cell + 1, cell + 1), a);
    }
}

QImage patternedScreenshot()
{
    QImage screenshot(300, 200, QImage::Format_RGB32);
    for (int y = 0; y < screenshot.height(); ++y)
        for (int x = 0; x < screenshot.width(); ++x)
            screenshot.setPixel(x, y, qRgb(x * 255 / 299, y * 255 / 199, (x / 10 + y / 10) % 2 ? 200 : 40));
    return screenshot;
}

// The canvas draws an opaque card's middle apart from its edge band; the picture is the one
// drawn in one piece, up to a level of rounding, with no seam and no mirrored texture.
TEST_F(SceneRendererDirectTest, ASplitOpaqueCardLooksLikeOneDrawnWhole)
{
    ASSERT_TRUE(renderer.setScreenshotImage(patternedScreenshot()));
    ASSERT_TRUE(renderer.setBackgroundImage(filledImage({8, 8}, QColor(30, 140, 90))));

    SceneRenderParams params;
    params.imageSize = {300, 200};
    params.styling.cornerRadius = 18;
    params.styling.shadow = {20, 0.6, 4, 10, {0, 0, 0, 1}};
    params.zoom = 0.7f;
    params.panNDC = {0.013, -0.021};
    params.dimAmount = 0.5f;
    params.dimHoles = {{QRectF(40, 30, 120, 70), 10, false}};
    const QImage whole = draw(params, {320, 240});
    params.splitsOpaqueCard = true;
    EXPECT_LE(worstDifference(whole, draw(params, {320, 240})), 1);
}

// An opaque card whose texels land one to one on whole pixels has its middle copied: the
// picture is the shaded one exactly, whichever way the rows run and wherever the framebuffer
// starts. Off the pixel grid or dimmed, the card is shaded.
TEST_F(SceneRendererDirectTest, ACopiedCardIsTheShadedOneExactly)
{
    ASSERT_TRUE(renderer.setScreenshotImage(patternedScreenshot()));
    ASSERT_TRUE(renderer.setBackgroundImage(filledImage({8, 8}, QColor(30, 140, 90))));
    using Order = SceneRenderer::RowOrder;
    const struct {
        const char* name;
        Order order;
        QPointF panPixels;
        QPoint origin;
        QSize frame;
        float scale = 1;
        bool dimmed = false;
        bool copies = true;
    } cases[] = {
        {"bottom-up", Order::BottomUp, {}, {}, {}},
        {"top-down, moved by whole pixels", Order::TopDown, {-7, 3}, {}, {}},
        {"top-down, a crop", Order::TopDown, {}, {-30, -50}, {210, 150}},
        {"bottom-up, a crop", Order::BottomUp, {5, 0}, {-70, -10}, {200, 160}},
        {"two pixels a point", Order::TopDown, {}, {}, {}, 2},
        {"half a pixel off", Order::TopDown, {0.5, 0}, {}, {}, 1, false, false},
        {"dimmed", Order::BottomUp, {}, {}, {}, 1, true, false},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        const QSize pixels(320, 240);
        SceneRenderParams params;
        params.imageSize = QSizeF(300, 200) / k.scale;
        params.scaleFactor = k.scale;
        params.styling.cornerRadius = 18 / k.scale;
        params.styling.shadow = {20, 0.6, 4, 10, {0, 0, 0, 1}};
        params.panNDC = {2 * k.panPixels.x() / pixels.width(), 2 * k.panPixels.y() / pixels.height()};
        params.framebufferOrigin = k.origin;
        if (k.dimmed) {
            params.dimAmount = 0.5f;
            params.dimHoles = {{QRectF(40, 30, 120, 70), 10, false}};
        }
        const QImage shaded = draw(params, pixels, k.order, k.frame);
        params.copiesAlignedCard = true;
        const QImage copied = draw(params, pixels, k.order, k.frame);
        EXPECT_EQ(renderer.copiedCard(), k.copies);
        EXPECT_EQ(worstDifference(shaded, copied), 0);
    }
}

// A card shown at under a third of its size is averaged from the mipmaps with or without the
// blend between levels: a one-pixel checkerboard comes out even grey, not aliased. A failed
// upload keeps the texture there was.
TEST_F(SceneRendererDirectTest, AShrunkCardIsAveragedWithEitherMipmapSampling)
{
    QImage checker(256, 256, QImage::Format_RGB32);
    for (int y = 0; y < checker.height(); ++y)
        for (int x = 0; x < checker.width(); ++x)
            checker.setPixel(x, y, (x + y) % 2 ? qRgb(255, 255, 255) : qRgb(0, 0, 0));
    ASSERT_TRUE(renderer.setScreenshotImage(checker));
    EXPECT_FALSE(renderer.setScreenshotImage(QImage()));
    EXPECT_FALSE(renderer.setBackgroundImage(QImage(0, 5, QImage::Format_RGBA8888)));
    for (bool blend : {true, false}) {
        SCOPED_TRACE(blend ? "blended levels" : "nearest level");
        SceneRenderParams params;
        params.imageSize = {256, 256};
        params.styling.cornerRadius = 0;
        params.styling.shadow.radius = 0;
        params.zoom = 0.3f;
        params.blendsMipmapLevels = blend;
        const QImage frame = draw(params, {64, 64});
        for (int y = 4; y < 60; ++y)
            for (int x = 4; x < 60; ++x)
                ASSERT_NEAR(qGray(frame.pixel(x, y)), 127.5, 17) << x << "," << y;
    }
}

// Rotations, the camera and the sides of the projections show in every rendered card; the
// depth range shows only near the clipping planes, so it is checked here.
TEST(MatrixMath, ProjectionsMapTheVisibleDepthRangeToZeroOne)
{
    const float nearZ = 0.5f, farZ = 50;
    const QMatrix4x4 perspective = MatrixMath::makePerspective(45, 1.6f, nearZ, farZ);
    const QMatrix4x4 orthographic = MatrixMath::makeOrthographic(8, 5, nearZ, farZ);
    struct Case { const char* name; QMatrix4x4 matrix; QVector3D input; QVector3D expected; } cases[] = {
        {"perspective near plane", perspective, {0, 0, -nearZ}, {0, 0, 0}},
        {"perspective far plane", perspective, {0, 0, -farZ}, {0, 0, 1}},
        // Depth is hyperbolic in distance: far / (far − near) × (1 − near / distance).
        {"perspective between", perspective, {0, 0, -10}, {0, 0, farZ / (farZ - nearZ) * (1 - nearZ / 10)}},
        {"orthographic near corner", orthographic, {4, 2.5f, -nearZ}, {1, 1, 0}},
        {"orthographic far corner", orthographic, {-4, -2.5f, -farZ}, {-1, -1, 1}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        const QVector4D clip = k.matrix * QVector4D(k.input, 1);
        EXPECT_LE((clip.toVector3D() / clip.w() - k.expected).length(), 1e-5f);
    }
}

// One step eases by what the interval since the last frame allows, clamped (a first frame
// counts as a sixtieth); half a radian settles, snapped, in 0.3–0.4 s at 60 Hz.
TEST(RotationEasing, StepsFollowTheClampedFrameIntervalAndSettle)
{
    struct Case { const char* name; bool hasPreviousFrame; double sinceThePrevious; double effectiveSeconds; } cases[] = {
        {"first frame", false, 5.0, 1.0 / 60},
        {"ordinary frame", true, 0.02, 0.02},
        {"frame delayed by a second", true, 1.0, 0.1},
        {"clock stepping back", true, -0.5, 0.0},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        RotationEasing easing{.lastDrawTime = 50, .hasDrawn = k.hasPreviousFrame};
        easing.step(1.0f, 0.0f, 50 + k.sinceThePrevious);
        EXPECT_NEAR(easing.currentYaw, 1 - std::exp(-k.effectiveSeconds / RotationEasing::tau), 1e-5);
        EXPECT_EQ(easing.lastDrawTime, 50 + k.sinceThePrevious);
    }
    RotationEasing easing;
    double now = 100;
    int frames = 1;
    for (; easing.step(0.5f, -0.5f, now) && frames < 1000; ++frames)
        now += 1.0 / 60;
    EXPECT_GE(frames, 18);
    EXPECT_LE(frames, 24);
    EXPECT_EQ(easing.currentYaw, 0.5f);
    EXPECT_EQ(easing.currentPitch, -0.5f);
    EXPECT_FALSE(easing.step(0.5f, -0.5f, now + 1)) << "a settled angle stays put";
}

} // namespace
} // namespace pelorin::test
