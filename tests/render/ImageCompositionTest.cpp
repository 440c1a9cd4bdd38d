#include "core/Fonts.h"
#include "render/AnnotationPainter.h"
#include "render/BrowserChromeRenderer.h"
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

bool near(const QColor& a, const CodableColor& b, int tolerance)
{
    return std::abs(a.red() - qRound(b.red * 255)) <= tolerance && std::abs(a.green() - qRound(b.green * 255)) <= tolerance
        && std::abs(a.blue() - qRound(b.blue * 255)) <= tolerance && std::abs(a.alpha() - qRound(b.alpha * 255)) <= tolerance;
}

} // namespace

// The raster has the screen's pixels per point up to the cap, never under a tenth of them.
// Gradients run from their first colour to their last (an angular one draws as linear), a
// missing wallpaper falls back to the default gradient, and a wallpaper fills by cropping.
TEST(BackgroundRaster, EachStyleFillsItsPixels)
{
    const CodableColor red{1, 0, 0, 1}, green{0, 1, 0, 1}, blue{0, 0, 1, 1}, clear{0, 0, 0, 0};
    GradientDefinition linear{{red, blue}, {0, 0}, {0, 1}, GradientType::linear}, angular = linear, radial = linear;
    angular.type = GradientType::angular;
    radial.type = GradientType::radial;
    const GradientDefinition ocean = gradientDefinition(BackgroundPreset::oceanBreeze);
    QImage wide(400, 100, QImage::Format_RGB32); // left half red, right half green
    wide.fill(Qt::red);
    QPainter(&wide).fillRect(200, 0, 200, 100, Qt::green);
    struct Probe { QPointF at; CodableColor color; };
    const BackgroundStyle none = BackgroundStyle::transparent();
    struct Case {
        const char* name;
        BackgroundStyle style;
        const QImage* wallpaper;
        QSizeF points;
        double scale;
        std::vector<Probe> probes;
        std::optional<int> cap = {};
        QSize pixels = {};
    } const cases[] = {
        {"transparent at screen scale", none, nullptr, {1000, 500}, 2, {{{500, 250}, clear}}, {}, {2000, 1000}},
        {"capped by the screen scale", none, nullptr, {1000, 500}, 2, {}, 2048, {2000, 1000}},
        {"capped at 2048", none, nullptr, {4000, 3000}, 2, {}, 2048, {2048, 1536}},
        {"a tiny cap floors at a tenth", none, nullptr, {100000, 100}, 2, {}, 2048, {10000, 10}},
        {"linear", BackgroundStyle::customGradient(linear), nullptr, {200, 100}, 1, {{{100, 0}, red}, {{100, 99.5}, blue}}},
        {"angular", BackgroundStyle::customGradient(angular), nullptr, {200, 100}, 1,
         {{{100, 0}, red}, {{20, 49.5}, {0.5, 0, 0.5, 1}}, {{100, 99.5}, blue}}},
        {"radial: the first colour in the centre, the last in the corners", BackgroundStyle::customGradient(radial),
         nullptr, {200, 100}, 1, {{{100, 50}, red}, {{0, 0}, blue}}},
        {"missing wallpaper", BackgroundStyle::wallpaper(), nullptr, {200, 100}, 1,
         {{{0, 0}, ocean.colors.front()}, {{199.5, 99.5}, ocean.colors.back()}}},
        {"solid", BackgroundStyle::solidColor({0.2, 0.4, 0.6, 1}), nullptr, {200, 100}, 2, {{{100, 50}, {0.2, 0.4, 0.6, 1}}}},
        {"wide wallpaper in a square crops its sides", BackgroundStyle::wallpaper(), &wide, {100, 100}, 1,
         {{{5, 50}, red}, {{95, 50}, green}, {{5, 0}, red}, {{95, 99.5}, green}}},
    };
    EXPECT_FALSE(renderBackgroundOnly({0, 100}, 1, none, nullptr));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto raster = renderBackgroundOnly(c.points, c.scale, c.style, c.wallpaper, c.cap);
        ASSERT_TRUE(raster);
        EXPECT_TRUE(c.pixels.isEmpty() || raster->size() == c.pixels) << raster->width() << " x " << raster->height();
        EXPECT_NEAR(raster->width() / raster->devicePixelRatio(), c.points.width(), 1e-6);
        for (const Probe& p : c.probes)
            EXPECT_TRUE(near(probe(*raster, p.at.x(), p.at.y()), p.color, 6)) << p.at.x() << "," << p.at.y();
    }
}

// The raster covers the image and every annotation with a margin; an arrow is drawn to the
// end its attachment resolves to, not to the point stored.
TEST(AnnotationRaster, CoversEveryAnnotationAndDrawsArrowsAtTheirResolvedEnds)
{
    EXPECT_FALSE(renderAnnotationsOnly({}, {100, 100}, 2));
    const ShapeAnnotation target = ShapeAnnotation::make(QRectF(50, 20, 30, 30), Qt::blue);
    ArrowAnnotation arrow = ArrowAnnotation::make({-30, 35}, {5, 5}, Qt::red);
    arrow.strokeWidth = 1; // pad 10 around the points
    arrow.endAttachment = ArrowAttachment{target.id, {0.5, 0.5}};
    const auto raster = renderAnnotationsOnly({target, arrow}, {100, 80}, 2);
    ASSERT_TRUE(raster);
    EXPECT_EQ(raster->rect, QRectF(-52, 0, 152, 80)); // -30 - 10 - 12
    EXPECT_EQ(raster->image.width(), qRound(raster->rect.width() * 2));
    const QPointF origin = -raster->rect.topLeft();
    EXPECT_GT(probe(raster->image, origin.x() + 45, origin.y() + 35).red(), 200) << "towards the shape";
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

TEST(AnnotationPainting, ShapesRedactionsArrowsAndTextOutlines)
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

    // A text's outline shows its stroke width beyond the glyphs.
    loadBundledFonts();
    TextAnnotation text = TextAnnotation::make({10, 10}, Qt::black);
    text.text = QStringLiteral("I");
    text.fontSize = 40;
    text.strokeColor = Qt::red;
    const auto inkWidth = [](const QImage& image) { // across the one stem of the "I"
        int inked = 0;
        for (int x = 0; x < image.width(); ++x)
            inked += image.pixelColor(x, image.height() / 3).alpha() > 128;
        return inked;
    };
    text.strokeWidth = 0;
    const int plain = inkWidth(paintOne(text, {240, 240}, 2));
    text.strokeWidth = 3;
    const int outlined = inkWidth(paintOne(text, {240, 240}, 2));
    EXPECT_NEAR(outlined - plain, 2 * 6, 2) << "3 points at scale 2 on each side";
}

// The bar's height scales with the width; the screenshot is copied unscaled below it, in the
// dark style or the light one.
TEST(BrowserChrome, TheScreenshotIsCopiedUnscaledBelowABarThatScalesWithTheWidth)
{
    loadBundledFonts();
    struct Case { double width; bool addressBar; BrowserChromeStyle style; double points; };
    const Case cases[] = {{1280, true, BrowserChromeStyle::dark, 84},   {1280, false, BrowserChromeStyle::light, 40},
                          {2560, true, BrowserChromeStyle::light, 168}, {2560, false, BrowserChromeStyle::dark, 80},
                          {400, true, BrowserChromeStyle::dark, 42},    {400, false, BrowserChromeStyle::light, 20}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.width);
        QImage base(static_cast<int>(c.width * 2), 200, QImage::Format_ARGB32);
        base.fill(QColor(10, 200, 30));
        base.setPixelColor(0, 0, Qt::magenta);
        base.setDevicePixelRatio(2);
        BrowserChromeSettings settings;
        settings.isEnabled = true;
        settings.showsAddressBar = c.addressBar;
        settings.style = c.style;
        settings.urlText = QStringLiteral("https://pelorin.app/");
        const QImage framed = BrowserChromeRenderer::composited(base, settings);
        const int bar = static_cast<int>(c.points * 2);
        ASSERT_EQ(framed.size(), QSize(base.width(), 200 + bar)) << "at 2 pixels per point";
        EXPECT_EQ(framed.devicePixelRatio(), 2);
        EXPECT_EQ(framed.pixelColor(0, bar), QColor(Qt::magenta));
        EXPECT_EQ(framed.pixelColor(base.width() / 2, bar + 100), QColor(10, 200, 30));
        EXPECT_EQ(framed.pixelColor(base.width() - 20, 5).lightness() < 80, c.style == BrowserChromeStyle::dark);
        settings.isEnabled = false;
        EXPECT_EQ(BrowserChromeRenderer::composited(base, settings).height(), 200);
    }
}

TEST(BrowserChrome, DisplayedAddressAndTitle)
{
    struct Case { const char* typed; const char* shown; const char* title; };
    const Case cases[] = {
        {"  https://pelorin.app/  ", "pelorin.app", "pelorin.app"},
        {"HTTPS://Example.org/docs/guide/", "Example.org/docs/guide", "Example.org"},
        {"https://http://twice.example", "twice.example", "twice.example"},
        {"http://plain.example//", "plain.example/", "plain.example"},
        {"", "", "New Tab"},
        {" \n ", "", "New Tab"},
        {"localhost:8080/a", "localhost:8080/a", "localhost:8080"},
    };
    for (const Case& c : cases) {
        const BrowserChromeSettings settings{.urlText = QString::fromUtf8(c.typed)};
        EXPECT_EQ(BrowserChromeRenderer::displayURL(settings.urlText), QString::fromUtf8(c.shown)) << c.typed;
        EXPECT_EQ(BrowserChromeRenderer::tabTitle(settings), QString::fromUtf8(c.title)) << c.typed;
    }
}

