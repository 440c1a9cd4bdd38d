#pragma once

#include "core/Annotation.h"
#include "core/Styling.h"

#include <QDateTime>
#include <QImage>
#include <QUrl>
#include <QUuid>

#include <optional>
#include <vector>

namespace pelorin {

enum class SourceType { file, clipboard, screenCapture, dragAndDrop };

// The one open screenshot. `image` is what is shown and exported (the base image, or the base
// image inside a browser frame); `baseImage` is the capture exactly as it came.
struct ScreenshotDocument {
    QUuid id;
    QImage image;
    QImage baseImage;
    std::optional<QUrl> originalURL;
    QDateTime captureDate;
    std::vector<Annotation> annotations; // front-most last
    StylingConfiguration styling;
    SourceType sourceType = SourceType::file;
    double screenScale = 2.0;
    double imageScale = 1.0; // pixels per point of the loaded image

    static ScreenshotDocument create(const QImage& image, std::optional<QUrl> originalURL, SourceType sourceType,
                                     double screenScale);

    // Size of `image` in points.
    QSizeF imagePointSize() const;

    // Replaces the first annotation with the same id; nothing happens when none has it.
    void updateAnnotation(const Annotation& annotation);
    // Removes every annotation with this id.
    void removeAnnotation(const QUuid& annotationId);
};

// Pixels per point of an image; `screenScale` when the image has no bitmap to measure.
double imageScaleOf(const QImage& image, double screenScale);

} // namespace pelorin
