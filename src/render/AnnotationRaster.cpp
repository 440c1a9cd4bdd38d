#include "render/ImageComposition.h"

#include "render/AnnotationPainter.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

// Apart from the background: a program that draws no annotations (the command line's
// render) links neither the painter nor the image processing its redactions use.
namespace pelorin {

std::optional<AnnotationRaster> renderAnnotationsOnly(const std::vector<Annotation>& annotations, QSizeF imageSize,
                                                      double screenScale, const QImage* screenshot)
{
    if (annotations.empty())
        return std::nullopt;
    const std::vector<Annotation> resolved = resolvingAttachments(annotations);
    QRectF bounds(QPointF(0, 0), imageSize);
    for (const Annotation& annotation : resolved)
        bounds |= boundingRect(annotation, 1).adjusted(-12, -12, 12, 12);
    // Whole points, rounded outward.
    const QRectF rounded(QPointF(std::floor(bounds.left()), std::floor(bounds.top())),
                         QPointF(std::ceil(bounds.right()), std::ceil(bounds.bottom())));
    std::optional<QImage> raster = makeRaster(rounded.size(), std::max(0.01, screenScale));
    if (!raster)
        return std::nullopt;
    QPainter painter(&*raster);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(-rounded.topLeft());
    for (const Annotation& annotation : resolved)
        paintAnnotation(painter, annotation, 1, screenshot);
    painter.end();
    return AnnotationRaster{*raster, rounded};
}

} // namespace pelorin
