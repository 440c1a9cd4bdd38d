#include "render/ImageComposition.h"

#include <QLinearGradient>
#include <QPainter>
#include <QRadialGradient>

#include <cmath>

namespace pelorin {

namespace {

// Raster sizes beyond this are refused rather than allocated.
constexpr double maxRasterPixels = 16384.0 * 16384.0;

} // namespace

std::optional<QImage> makeRaster(QSizeF points, double pixelsPerPoint)
{
    const double w = std::floor(points.width() * pixelsPerPoint);
    const double h = std::floor(points.height() * pixelsPerPoint);
    if (!std::isfinite(w) || !std::isfinite(h) || w < 1 || h < 1 || w * h > maxRasterPixels)
        return std::nullopt;
    QImage raster(static_cast<int>(w), static_cast<int>(h), QImage::Format_RGBA8888_Premultiplied);
    if (raster.isNull())
        return std::nullopt;
    raster.fill(Qt::transparent);
    // Exact pixels per point, so the painter maps point coordinates onto the whole raster.
    raster.setDevicePixelRatio(w / points.width());
    return raster;
}

namespace {

QGradientStops evenStops(const std::vector<CodableColor>& colors)
{
    QGradientStops stops;
    const double last = static_cast<double>(colors.size() - 1);
    for (size_t i = 0; i < colors.size(); ++i)
        stops.append({colors.size() == 1 ? 0.0 : static_cast<double>(i) / last, colors[i].toColor()});
    return stops;
}

} // namespace

double backgroundPixelScale(QSizeF imageSize, double screenScale, std::optional<int> maxDimension)
{
    if (!maxDimension)
        return screenScale;
    double q = *maxDimension / std::max(1.0, std::max(imageSize.width(), imageSize.height()));
    // A strip's short side keeps at least one pixel: a 16384 × 1 screenshot still has a background.
    q = std::max(q, 1.0 / std::max(1.0, std::min(imageSize.width(), imageSize.height())));
    return q > 0.1 ? std::min(screenScale, q) : std::min(screenScale, 0.1);
}

void drawGradient(QPainter& painter, const GradientDefinition& gradient, const QRectF& rect)
{
    if (gradient.colors.empty())
        return;
    const QGradientStops stops = evenStops(gradient.colors);
    if (gradient.type == GradientType::radial) {
        QRadialGradient radial(rect.center(), std::max(rect.width(), rect.height()) * 0.5);
        radial.setStops(stops);
        radial.setSpread(QGradient::PadSpread);
        painter.fillRect(rect, radial);
        return;
    }
    // Angular gradients are drawn as linear ones between the same two points; stored styles
    // that name one keep the look they were saved with.
    const auto at = [&](const UnitPoint& p) {
        return QPointF(rect.x() + rect.width() * p.x, rect.y() + rect.height() * p.y);
    };
    QLinearGradient linear(at(gradient.startPoint), at(gradient.endPoint));
    linear.setStops(stops);
    linear.setSpread(QGradient::PadSpread);
    painter.fillRect(rect, linear);
}

void drawWallpaperBackground(QPainter& painter, const QImage& image, const QRectF& rect)
{
    if (image.isNull() || image.height() == 0)
        return;
    const double a = static_cast<double>(image.width()) / image.height();
    QRectF target;
    if (a <= rect.width() / rect.height()) {
        const double h = rect.width() / a;
        target = QRectF(rect.x(), rect.y() + (rect.height() - h) / 2, rect.width(), h);
    } else {
        const double w = a * rect.height();
        target = QRectF(rect.x() + (rect.width() - w) / 2, rect.y(), w, rect.height());
    }
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target, image);
    painter.restore();
}

std::optional<QImage> renderBackgroundOnly(QSizeF imageSize, double screenScale, const BackgroundStyle& background,
                                           const QImage* wallpaper, std::optional<int> maxDimension)
{
    std::optional<QImage> raster = makeRaster(imageSize, backgroundPixelScale(imageSize, screenScale, maxDimension));
    if (!raster)
        return std::nullopt;
    const QRectF rect(QPointF(0, 0), imageSize);
    QPainter painter(&*raster);
    std::visit(
        [&](const auto& value) {
            using V = std::decay_t<decltype(value)>;
            if constexpr (std::is_same_v<V, BackgroundPreset>) {
                drawGradient(painter, gradientDefinition(value), rect);
            } else if constexpr (std::is_same_v<V, CodableColor>) {
                painter.fillRect(rect, value.toColor());
            } else if constexpr (std::is_same_v<V, GradientDefinition>) {
                drawGradient(painter, value, rect);
            } else if constexpr (std::is_same_v<V, WallpaperBackground>) {
                if (wallpaper && !wallpaper->isNull())
                    drawWallpaperBackground(painter, *wallpaper, rect);
                else
                    drawGradient(painter, gradientDefinition(BackgroundPreset::oceanBreeze), rect);
            }
            // transparent: the raster stays cleared
        },
        background.value);
    painter.end();
    return raster;
}

} // namespace pelorin
