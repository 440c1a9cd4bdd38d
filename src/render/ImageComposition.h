#pragma once

#include "core/Annotation.h"
#include "core/Styling.h"

#include <QImage>
#include <QRectF>

#include <optional>
#include <vector>

class QPainter;

namespace pelorin {

// The two rasters the scene is built from: the background behind the card and the
// annotations laid on it. Both are QImages whose devicePixelRatio is their pixels per point.

// The background for a screenshot of `imageSize` points. `screenScale` is the pixel density;
// with `maxDimension` the raster is limited to that many pixels on its longer side (never
// below a tenth of a pixel per point). The wallpaper case falls back to the default gradient
// when no wallpaper image is given.
std::optional<QImage> renderBackgroundOnly(QSizeF imageSize, double screenScale, const BackgroundStyle& background,
                                           const QImage* wallpaper, std::optional<int> maxDimension = std::nullopt);

// Pixels per point of the background raster.
double backgroundPixelScale(QSizeF imageSize, double screenScale, std::optional<int> maxDimension);

// A cleared raster of `points` at `pixelsPerPoint` (rounded down to whole pixels, the ratio
// made exact); none when a side is below a pixel or the raster would be unreasonably large.
std::optional<QImage> makeRaster(QSizeF points, double pixelsPerPoint);

struct AnnotationRaster {
    QImage image;
    QRectF rect; // document points covered by the image
};

// Every annotation painted in list order (attachments resolved) into a raster covering the
// image and every annotation's bounds grown by 12 points. None when there are no annotations.
// Pixelate and blur redactions take their pixels from `screenshot` (the document image).
std::optional<AnnotationRaster> renderAnnotationsOnly(const std::vector<Annotation>& annotations, QSizeF imageSize,
                                                      double screenScale, const QImage* screenshot = nullptr);

// Fills `rect` with the gradient; unit points count from the rectangle's top-left.
void drawGradient(QPainter& painter, const GradientDefinition& gradient, const QRectF& rect);
// Draws `image` over `rect` by aspect fill, centred; what falls outside is the caller's to clip.
void drawWallpaperBackground(QPainter& painter, const QImage& image, const QRectF& rect);

} // namespace pelorin
