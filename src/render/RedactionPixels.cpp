#include "render/RedactionPixels.h"

#include <opencv2/imgproc.hpp>

#include <QMutex>

#include <algorithm>
#include <cmath>
#include <list>
#include <tuple>

namespace pelorin {

namespace {

// The blur is made on a reduced copy, at a third of its radius per pixel: detail finer than
// that is averaged away anyway, and the kernel stays a few pixels wide however large the
// redaction is.
constexpr double blurPixelsPerSigma = 3;

QImage pixelated(const QImage& region, QSizeF points)
{
    // Whole blocks of at least the block size: a leftover strip widens its neighbours.
    const int columns = std::max(1, int(std::floor(points.width() / pixelateBlockSize)));
    const int rows = std::max(1, int(std::floor(points.height() / pixelateBlockSize)));
    // Qt's smooth reduction averages every source pixel of a block into it.
    return region.scaled(columns, rows, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

QImage blurred(const QImage& region, QSizeF points)
{
    // Wide enough to melt a line of text into a band: at least 6 points, more for tall
    // redactions, which may cover large type.
    const double sigmaPoints = std::clamp(std::min(points.width(), points.height()) / 6, 6.0, 24.0);
    const double pointsPerPixel = sigmaPoints / blurPixelsPerSigma;
    const int width = std::max(1, int(std::ceil(points.width() / pointsPerPixel)));
    const int height = std::max(1, int(std::ceil(points.height() / pointsPerPixel)));
    QImage small = region.scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                       .convertToFormat(QImage::Format_RGBA8888_Premultiplied);
    cv::Mat pixels(small.height(), small.width(), CV_8UC4, small.bits(), size_t(small.bytesPerLine()));
    cv::GaussianBlur(pixels, pixels, cv::Size(0, 0), blurPixelsPerSigma, 0, cv::BORDER_REPLICATE);
    return small;
}

struct CacheEntry {
    qint64 imageKey;
    QRectF rect;
    RedactStyle style;
    RedactionPixels pixels;
};

// A handful of entries: the redactions of one screenshot, redrawn on every canvas frame.
constexpr std::size_t cacheSize = 16;

} // namespace

std::optional<RedactionPixels> redactionPixels(const QImage& screenshot, const QRectF& rect, RedactStyle style)
{
    if (style == RedactStyle::solid || screenshot.isNull())
        return std::nullopt;
    const QSizeF imagePoints = screenshot.deviceIndependentSize();
    const QRectF clipped = rect.normalized() & QRectF(QPointF(0, 0), imagePoints);
    if (clipped.width() <= 0 || clipped.height() <= 0)
        return std::nullopt;

    static QMutex mutex;
    static std::list<CacheEntry> cache;
    const QMutexLocker lock(&mutex);
    for (auto it = cache.begin(); it != cache.end(); ++it) {
        if (it->imageKey == screenshot.cacheKey() && it->rect == clipped && it->style == style) {
            cache.splice(cache.begin(), cache, it);
            return it->pixels;
        }
    }

    const double ppp = screenshot.width() / imagePoints.width();
    const QRect source = QRectF(clipped.topLeft() * ppp, clipped.size() * ppp).toAlignedRect() & screenshot.rect();
    if (source.isEmpty())
        return std::nullopt;
    QImage region = screenshot.copy(source);
    region.setDevicePixelRatio(1);
    RedactionPixels result{style == RedactStyle::pixelate ? pixelated(region, clipped.size())
                                                          : blurred(region, clipped.size()),
                           clipped, style == RedactStyle::blur};
    cache.push_front({screenshot.cacheKey(), clipped, style, result});
    if (cache.size() > cacheSize)
        cache.pop_back();
    return result;
}

} // namespace pelorin
