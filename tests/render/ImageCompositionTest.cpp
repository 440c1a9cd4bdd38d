#include "core/Fonts.h"
#include "render/AnnotationPainter.h"
#include "render/ImageComposition.h"

#include <gtest/gtest.h>

#include <QPainter>

using namespace pelorin;

namespace {

// Colour at a point given in points of the raster.
QColor probe(const QImage& image, double x, double y)
{
    const double k = image.devicePixelRatio();
    return image.pixelColor(std::clamp(static_cast<int>(x * k), 0, image.width() - 1),
                            std::clamp(static_cast<int>(y * k), 0, image.height() - 1));
}

bool near(const QColor& a, const CodableColor& b, int tolerance = 3)
{
    return std::abs(a.red() - qRound(b.red * 255)) <= tolerance && std::abs(a.green() - qRound(b.green * 255)) <= tolerance
        && std::abs(a.blue() - qRound(b.blue * 255)) <= tolerance;
}

} // namespace

TEST(BackgroundRaster, PixelScaleFollowsTheCap)
{
    struct Case { const char* name; QSizeF points; double screenScale; std::optional<int> maxDimension; QSize pixels; };
    const Case cases[] = {
        {"export at screen scale", {1000, 500}, 2, std::nullopt, {2000, 1000}},
        {"canvas capped by the screen scale", {1000, 500}, 2, 2048, {2000, 1000}},
        {"canvas capped at 2048", {4000, 3000}, 2, 2048, {2048, 1536}},
        {"tiny cap floors at a tenth", {100000, 100}, 2, 2048, {10000, 10}},
    };
    for (const Case& c : cases) {
        const auto raster = renderBackgroundOnly(c.points, c.screenScale, BackgroundStyle::transparent(), nullptr, c.maxDimension);
        ASSERT_TRUE(raster) << c.name;
        EXPECT_EQ(raster->size(), c.pixels) << c.name;
        EXPECT_NEAR(raster->width() / raster->devicePixelRatio(), c.points.width(), 1e-6) << c.name;
    }
    EXPECT_FALSE(renderBackgroundOnly({0, 100}, 1, BackgroundStyle::transparent(), nullptr));
}

TEST(BackgroundRaster, GradientsRunFromTheirStartToTheirEnd)
{
    const CodableColor first{1, 0, 0, 1};
    const CodableColor last{0, 0, 1, 1};
    const GradientDefinition topToBottom{{first, last}, {0, 0}, {0, 1}, GradientType::linear};
    const auto linear = renderBackgroundOnly({200, 100}, 1, BackgroundStyle::customGradient(topToBottom), nullptr);
    ASSERT_TRUE(linear);
    EXPECT_TRUE(near(probe(*linear, 100, 0), first, 6));
    EXPECT_TRUE(near(probe(*linear, 100, 99.5), last, 6));

    GradientDefinition angular = topToBottom;
    angular.type = GradientType::angular;
    const auto asAngular = renderBackgroundOnly({200, 100}, 1, BackgroundStyle::customGradient(angular), nullptr);
    EXPECT_EQ(*asAngular, *linear);

    GradientDefinition radial = topToBottom;
    radial.type = GradientType::radial;
    const auto asRadial = renderBackgroundOnly({200, 100}, 1, BackgroundStyle::customGradient(radial), nullptr);
    EXPECT_TRUE(near(probe(*asRadial, 100, 50), first, 6)) << "the first colour sits in the centre";
    EXPECT_TRUE(near(probe(*asRadial, 0, 0), last, 6)) << "the last colour fills the corners";
}

TEST(BackgroundRaster, EachCaseFillsAsExpected)
{
    const GradientDefinition ocean = gradientDefinition(BackgroundPreset::oceanBreeze);
    const auto wallpaperMissing = renderBackgroundOnly({300, 200}, 1, BackgroundStyle::wallpaper(), nullptr);
    EXPECT_TRUE(near(probe(*wallpaperMissing, 0, 0), ocean.colors.front(), 6));
    EXPECT_TRUE(near(probe(*wallpaperMissing, 299.5, 199.5), ocean.colors.back(), 6));

    const auto solid = renderBackgroundOnly({300, 200}, 2, BackgroundStyle::solidColor({0.2, 0.4, 0.6, 1}), nullptr);
    EXPECT_TRUE(near(probe(*solid, 150, 100), {0.2, 0.4, 0.6, 1}));

    const auto transparent = renderBackgroundOnly({300, 200}, 1, BackgroundStyle::transparent(), nullptr);
    EXPECT_EQ(probe(*transparent, 150, 100).alpha(), 0);

    // A wide wallpaper, left half red and right half green, fills a square by cropping its sides.
    QImage wide(400, 100, QImage::Format_RGB32);
    wide.fill(Qt::red);
    QPainter(&wide).fillRect(200, 0, 200, 100, Qt::green);
    const auto wallpaper = renderBackgroundOnly({100, 100}, 1, BackgroundStyle::wallpaper(), &wide);
    EXPECT_EQ(probe(*wallpaper, 10, 50), QColor(Qt::red));
    EXPECT_EQ(probe(*wallpaper, 90, 50), QColor(Qt::green));
    EXPECT_EQ(probe(*wallpaper, 50, 0).alpha(), 255) << "no uncovered band at the top";
}

TEST(AnnotationRaster, CoversTheImageAndEveryAnnotationWithAMargin)
{
    EXPECT_FALSE(renderAnnotationsOnly({}, {100, 100}, 2));
    ArrowAnnotation arrow = ArrowAnnotation::make({-30, 50}, {60, 50}, Qt::red);
    arrow.strokeWidth = 1; // pad 10 around the stored points
    const auto raster = renderAnnotationsOnly({arrow}, {100, 80}, 2);
    ASSERT_TRUE(raster);
    EXPECT_EQ(raster->rect.left(), -52); // -30 - 10 - 12
    EXPECT_EQ(raster->rect.top(), 0);
    EXPECT_EQ(raster->rect.right(), 100);
    EXPECT_EQ(raster->image.width(), qRound(raster->rect.width() * 2));
}

TEST(AnnotationRaster, ArrowsAreDrawnAtTheirResolvedEnds)
{
    ShapeAnnotation target = ShapeAnnotation::make(QRectF(60, 20, 30, 30), Qt::blue);
    ArrowAnnotation arrow = ArrowAnnotation::make({10, 35}, {5, 5}, Qt::red); // stored end far away
    arrow.endAttachment = ArrowAttachment{target.id, {0.5, 0.5}};
    const auto raster = renderAnnotationsOnly({target, arrow}, {100, 100}, 1);
    ASSERT_TRUE(raster);
    const QPointF origin = -raster->rect.topLeft();
    const QColor nearTarget = probe(raster->image, origin.x() + 50, origin.y() + 35);
    EXPECT_GT(nearTarget.red(), 200) << "the head reaches towards the shape";
    EXPECT_EQ(probe(raster->image, origin.x() + 5, origin.y() + 5).alpha(), 0) << "not to the stored point";
}

namespace {

QImage paintOne(const Annotation& annotation, QSize size, double scale = 1)
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    paintAnnotation(painter, annotation, scale);
    return image;
}

} // namespace

TEST(AnnotationPainting, ShapesRedactionsAndArrows)
{
    ShapeAnnotation circle = ShapeAnnotation::make(QRectF(0, 0, 100, 60), Qt::red);
    circle.shapeType = ShapeType::circle;
    circle.fillColor = QColor(Qt::green);
    const QImage c = paintOne(circle, {100, 60});
    EXPECT_EQ(c.pixelColor(10, 30).alpha(), 0) << "outside the centred circle";
    EXPECT_EQ(c.pixelColor(50, 30), QColor(Qt::green));

    circle.shapeType = ShapeType::ellipse;
    EXPECT_EQ(paintOne(circle, {100, 60}).pixelColor(10, 30), QColor(Qt::green)) << "an ellipse fills the frame";

    for (RedactStyle style : {RedactStyle::solid, RedactStyle::blur, RedactStyle::pixelate}) {
        RedactAnnotation redact = RedactAnnotation::make(QRectF(10, 10, 50, 30), Qt::black);
        redact.redactStyle = style;
        EXPECT_EQ(paintOne(redact, {80, 60}).pixelColor(35, 25), QColor(Qt::black)) << rawValue(style).toStdString();
    }

    ArrowAnnotation dot = ArrowAnnotation::make({40, 40}, {40, 40}, Qt::red);
    dot.style = ArrowStyle::double_;
    const QImage d = paintOne(dot, {80, 80});
    EXPECT_GT(d.pixelColor(40, 40).alpha(), 200) << "a zero-length shaft is a round dot";
    EXPECT_GT(d.pixelColor(34, 40).alpha(), 200) << "heads point right (atan2(0, 0) = 0)";
}

TEST(AnnotationPainting, TextOutlineShowsStrokeWidthBeyondTheGlyphs)
{
    loadBundledFonts();
    TextAnnotation text = TextAnnotation::make({10, 10}, Qt::black);
    text.text = QStringLiteral("I");
    text.fontSize = 40;
    text.strokeColor = Qt::red;
    const auto inkWidth = [](const QImage& image, QRgb wanted) {
        int left = image.width(), right = -1;
        const int y = image.height() / 3;
        for (int x = 0; x < image.width(); ++x) {
            const QColor pixel = image.pixelColor(x, y);
            if (pixel.alpha() > 128 && (wanted == 0 || (pixel.rgb() & 0xffffff) == (wanted & 0xffffff))) {
                left = std::min(left, x);
                right = std::max(right, x);
            }
        }
        return right - left + 1;
    };
    text.strokeWidth = 0;
    const int plain = inkWidth(paintOne(text, {240, 240}, 2), 0);
    text.strokeWidth = 3;
    const int outlined = inkWidth(paintOne(text, {240, 240}, 2), 0);
    EXPECT_NEAR(outlined - plain, 2 * 6, 2) << "3 points at scale 2 on each side";
}
