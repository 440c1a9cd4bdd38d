#pragma once

#include "render/OffscreenSceneRenderer.h"

#include <QColor>
#include <QImage>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>

namespace pelorin::test {

inline QImage filledImage(QSize size, QColor color)
{
    QImage image(size, QImage::Format_RGBA8888);
    image.fill(color);
    return image;
}

// One export-style render: transparent background, no shadow, square corners, flat, 1×.
struct SceneSetup {
    QImage background = filledImage({8, 8}, Qt::transparent);
    QImage screenshot;
    const QImage* annotation = nullptr;
    QRectF annotationRect;
    StylingConfiguration styling = plainStyling();
    SceneState state;
    QSizeF output;
    float zoom = 1;
    QPointF pan;
    float scale = 1;
    float dimAmount = 0;
    std::vector<DimHoleSpec> holes;

    static StylingConfiguration plainStyling()
    {
        StylingConfiguration styling;
        styling.cornerRadius = 0;
        styling.shadow.radius = 0;
        return styling;
    }
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

    // Renders and fails the test (with the renderer's reason) when nothing comes back.
    static QImage renderOrFail(const SceneSetup& s)
    {
        std::optional<QImage> image = render(s);
        EXPECT_TRUE(image.has_value()) << s_renderer->errorString().toStdString();
        return image.value_or(QImage());
    }

    static inline std::unique_ptr<OffscreenSceneRenderer> s_renderer;
};

using PixelTest = std::function<bool(QColor)>;

inline bool isRed(QColor c)
{
    return c.alpha() > 200 && c.red() > 200 && c.green() < 60 && c.blue() < 60;
}

// First and last position along a row or column where `test` holds, or (-1, -1).
inline std::pair<int, int> extent(const QImage& image, int line, bool alongRow, const PixelTest& test)
{
    int first = -1, last = -1;
    for (int i = 0; i < (alongRow ? image.width() : image.height()); ++i) {
        if (test(alongRow ? image.pixelColor(i, line) : image.pixelColor(line, i))) {
            if (first < 0)
                first = i;
            last = i;
        }
    }
    return {first, last};
}

inline std::pair<int, int> rowExtent(const QImage& image, int y, const PixelTest& test)
{
    return extent(image, y, true, test);
}

inline std::pair<int, int> columnExtent(const QImage& image, int x, const PixelTest& test)
{
    return extent(image, x, false, test);
}

// The largest difference in any channel between two pictures of one size, over the pixels
// `ignored` does not pass over.
inline int worstDifference(const QImage& a, const QImage& b,
                           const std::function<bool(QColor, QColor)>& ignored = [](QColor, QColor) { return false; })
{
    int worst = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QColor p = a.pixelColor(x, y), q = b.pixelColor(x, y);
            if (p != q && !ignored(p, q))
                worst = std::max({worst, std::abs(p.red() - q.red()), std::abs(p.green() - q.green()),
                                  std::abs(p.blue() - q.blue()), std::abs(p.alpha() - q.alpha())});
        }
    }
    return worst;
}

} // namespace pelorin::test
