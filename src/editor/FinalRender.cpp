#include "editor/FinalRender.h"

#include "core/AppConstants.h"
#include "core/ImageFile.h"
#include "editor/FileExportService.h"
#include "editor/PngWriter.h"
#include "render/ImageComposition.h"
#include "render/OffscreenSceneRenderer.h"

#include <algorithm>
#include <cmath>

namespace pelorin {

QRectF paddedCardFrame(const QRectF& card, double padding, QSizeF canvas)
{
    const QRectF whole(QPointF(0, 0), canvas);
    const QRectF framed = card.adjusted(-padding, -padding, padding, padding) & whole;
    if (framed.width() < exportFrameMinSize.width() || framed.height() < exportFrameMinSize.height())
        return whole;
    return framed;
}

double exportScaleFor(double imageScale, double zoom, QSizeF canvas)
{
    double scale = imageScale / std::max(0.01, zoom);
    const double longer = std::max(canvas.width(), canvas.height());
    if (longer > 1)
        scale = std::min(scale, AppConstants::maxExportPixelDimension / longer);
    return scale;
}

bool frameFinalRender(FinalRenderJob& job, const QRectF& frame, double imageScale)
{
    const QSizeF output = job.output;
    const std::optional<QSize> whole = OffscreenSceneRenderer::pixelSizeFor(output, job.scale);
    if (!whole)
        return false;
    // The file gets exactly the frame's pixel count, as the size tag shows it. A frame at
    // fractional pixel positions would cut through pixels that are part background; the
    // scene is moved by less than a pixel instead, so that the frame starts on a pixel edge.
    job.pixels = QRect(QPoint(0, 0), *whole);
    job.croppedRatio.reset();
    if (frame != QRectF(QPointF(0, 0), output)) {
        const QSize size = OffscreenSceneRenderer::pixelSizeFor(frame.size(), job.scale)
                               .value_or(QSize(1, 1))
                               .boundedTo(*whole);
        const double rx = whole->width() / output.width();
        const double ry = whole->height() / output.height();
        const double left = frame.left() * rx;
        const double top = frame.top() * ry;
        const int x = std::clamp(int(std::lround(left)), 0, whole->width() - size.width());
        const int y = std::clamp(int(std::lround(top)), 0, whole->height() - size.height());
        // Normalised device units have y up, image rows go down.
        job.pan += QPointF(2 * (x - left) / whole->width(), -2 * (y - top) / whole->height());
        job.pixels = QRect(QPoint(x, y), size);
        // Only the frame's pixels are rendered and read: no full-size picture to cut it from.
        job.croppedRatio = imageScale > 0 ? imageScale : 1.0;
    }
    job.pixelRatio = job.croppedRatio.value_or(double(whole->width()) / output.width());
    return true;
}

bool runFinalRender(FinalRenderJob job, OffscreenSceneRenderer& renderer, std::optional<QImage>* image,
                    QString* error)
{
    const auto fail = [error](const QString& why) {
        *error = why;
        return false;
    };
    const std::optional<QImage> wallpaper = job.wallpaper ? job.wallpaper() : std::nullopt;
    // Colours and gradients are smooth: drawn at the canvas's limit and stretched by the
    // renderer's filtering they look the same as at full size, and a large export does not
    // hold a full-size picture of them. A wallpaper keeps every pixel it has.
    const bool smooth = !std::holds_alternative<WallpaperBackground>(job.styling.background.value);
    std::optional<QImage> background =
        renderBackgroundOnly(job.imageSize, job.screenScale, job.styling.background, wallpaper ? &*wallpaper : nullptr,
                             smooth ? std::optional<int>(AppConstants::previewBackgroundMaxDimension) : std::nullopt);
    if (!background)
        return fail(QStringLiteral("The background cannot be painted"));
    const std::optional<AnnotationRaster> annotations =
        job.annotations ? job.annotations(job.screenshot) : std::nullopt;
    const QImage* annotationImage = annotations ? &annotations->image : nullptr;
    const QRectF annotationRect = annotations ? annotations->rect : QRectF();
    const float scale = static_cast<float>(job.scale);
    if (image) {
        *image = renderer.renderToImage(std::move(*background), std::move(job.screenshot), annotationImage, annotationRect,
                                        job.imageSize, job.styling, job.sceneState, job.output, job.zoom, job.pan, scale,
                                        job.dim.amount, job.dim.holes, job.pixels, job.croppedRatio);
        return *image || fail(QStringLiteral("OpenGL rendering failed: ") + renderer.errorString());
    }
    return renderer.render(std::move(*background), std::move(job.screenshot), annotationImage, annotationRect, job.imageSize,
                           job.styling, job.sceneState, job.output, job.zoom, job.pan, scale, job.dim.amount,
                           job.dim.holes, job.pixels)
           || fail(QStringLiteral("OpenGL rendering failed: ") + renderer.errorString());
}

void saveRenderedPng(OffscreenSceneRenderer& renderer, double pixelRatio, const QString& path, QString* error)
{
    const QSize size = renderer.frameSize();
    // The frame goes from the framebuffer to the encoder a strip of rows at a time, so a
    // large export never holds a second whole copy of its pixels. The strips are read twice:
    // the first pass only asks whether any pixel is transparent, which decides between RGB
    // and RGBA before the encoder starts.
    // About a megabyte per strip whatever the width, so the strip adds nothing per pixel.
    const qsizetype bytesPerLine = qsizetype(size.width()) * 4;
    const int stripRows = int(std::clamp<qsizetype>((qsizetype(1) << 20) / bytesPerLine, 1, 256));
    std::vector<uchar> strip(std::size_t(bytesPerLine) * stripRows);
    bool opaque = true;
    for (int first = 0; first < size.height() && opaque; first += stripRows) {
        const int count = std::min(stripRows, size.height() - first);
        if (!renderer.readRows(first, count, strip.data(), bytesPerLine)) {
            *error = QStringLiteral("Reading the rendered pixels failed");
            throw ExportError(ExportError::Kind::failedToCreateImage);
        }
        opaque = isOpaque(strip.data(), qsizetype(size.width()) * count);
    }
    png::RowSource rows;
    rows.size = size;
    rows.order = png::ByteOrder::rgba;
    rows.premultiplied = true;
    rows.opaque = opaque;
    rows.dotsPerMeterX = rows.dotsPerMeterY = dotsPerMeterForScale(pixelRatio);
    int stripStart = -1;
    rows.row = [&](int y) -> const uchar* {
        if (stripStart < 0 || y >= stripStart + stripRows) {
            stripStart = y;
            const int count = std::min(stripRows, size.height() - y);
            if (!renderer.readRows(y, count, strip.data(), bytesPerLine))
                return nullptr;
        }
        return strip.data() + qsizetype(y - stripStart) * bytesPerLine;
    };
    FileExportService::savePng(rows, path);
}

void saveFinalRender(FinalRenderJob job, OffscreenSceneRenderer& renderer, const QString& path, QString* error)
{
    if (FileExportService::imageFileType(path) != ImageFileType::png) {
        std::optional<QImage> image;
        if (!runFinalRender(std::move(job), renderer, &image, error))
            throw ExportError(ExportError::Kind::failedToCreateImage);
        FileExportService::saveImage(*image, path);
        return;
    }
    const double pixelRatio = job.pixelRatio;
    if (!runFinalRender(std::move(job), renderer, nullptr, error))
        throw ExportError(ExportError::Kind::failedToCreateImage);
    saveRenderedPng(renderer, pixelRatio, path, error);
}

} // namespace pelorin
