#include "editor/ScreenshotDocument.h"

namespace pelorin {

double imageScaleOf(const QImage& image, double screenScale)
{
    if (image.isNull() || image.width() < 1)
        return screenScale;
    const double pointWidth = image.width() / image.devicePixelRatio();
    return pointWidth > 0 ? image.width() / pointWidth : screenScale;
}

ScreenshotDocument ScreenshotDocument::create(const QImage& image, std::optional<QUrl> originalURL,
                                              SourceType sourceType, double screenScale)
{
    ScreenshotDocument document;
    document.id = QUuid::createUuid();
    document.image = image;
    document.baseImage = image;
    document.originalURL = std::move(originalURL);
    document.captureDate = QDateTime::currentDateTime();
    document.sourceType = sourceType;
    document.screenScale = screenScale;
    document.imageScale = imageScaleOf(image, screenScale);
    return document;
}

QSizeF ScreenshotDocument::imagePointSize() const
{
    if (image.isNull())
        return {};
    // The framed image carries the base image's scale.
    const double scale = imageScale > 0 ? imageScale : 1.0;
    return {image.width() / scale, image.height() / scale};
}

void ScreenshotDocument::updateAnnotation(const Annotation& annotation)
{
    pelorin::updateAnnotation(annotations, annotation);
}

void ScreenshotDocument::removeAnnotation(const QUuid& annotationId)
{
    pelorin::removeAnnotation(annotations, annotationId);
}

} // namespace pelorin
