#include "editor/EditorViewModel.h"

#include "core/AppConstants.h"
#include "core/ImageFile.h"
#include "editor/FileExportService.h"
#include "editor/PngWriter.h"
#include "render/ImageComposition.h"
#include "platform/SystemLog.h"
#include "render/OffscreenSceneRenderer.h"

#include <algorithm>
#include <cmath>

namespace pelorin {

namespace {

constexpr QSizeF exportFrameMinSize{120, 80};

} // namespace

OffscreenSceneRenderer* EditorViewModel::offscreenRenderer()
{
    if (!m_offscreenRenderer && !m_offscreenRendererFailed) {
        auto renderer = std::make_shared<OffscreenSceneRenderer>();
        QString error;
        if (renderer->initialize(&error)) {
            m_offscreenRenderer = std::move(renderer);
        } else {
            // Without OpenGL nothing can be exported; say why once.
            m_offscreenRendererFailed = true;
            systemLog(QStringLiteral("cannot render: ") + error);
        }
    }
    return m_offscreenRenderer.get();
}

std::optional<QRectF> EditorViewModel::cardRect(QSizeF viewport) const
{
    // A one-pixel viewport is real: the command line renders a one-pixel screenshot at
    // padding 0 into exactly that.
    if (!m_document || viewport.width() <= 0 || viewport.height() <= 0)
        return std::nullopt;
    const QSizeF image = m_document->imagePointSize();
    const double z = m_canvasTransform.zoomLevel;
    const QSizeF card = image * z;
    return QRectF(viewport.width() / 2 + m_canvasTransform.canvasOffset.width() - card.width() / 2,
                  viewport.height() / 2 + m_canvasTransform.canvasOffset.height() - card.height() / 2, card.width(),
                  card.height());
}

QRectF EditorViewModel::derivedExportFrame(QSizeF viewport) const
{
    const std::optional<QRectF> card = cardRect(viewport);
    if (!card) {
        return {40, 40, std::max(exportFrameMinSize.width(), viewport.width() - 80),
                std::max(exportFrameMinSize.height(), viewport.height() - 80)};
    }
    const double grow = m_styling.padding * m_canvasTransform.zoomLevel;
    const QRectF whole(QPointF(0, 0), viewport);
    const QRectF framed = card->adjusted(-grow, -grow, grow, grow) & whole;
    if (framed.width() < exportFrameMinSize.width() || framed.height() < exportFrameMinSize.height())
        return whole;
    return framed;
}

std::optional<QSizeF> EditorViewModel::uncutExportSize(QSizeF viewport) const
{
    const std::optional<QRectF> card = cardRect(viewport);
    if (m_exportFrameRect || !card)
        return std::nullopt;
    const double grow = m_styling.padding * m_canvasTransform.zoomLevel;
    const QRectF whole = card->adjusted(-grow, -grow, grow, grow);
    // A thousandth of a point is rounding, not a cut.
    constexpr double slack = 1e-3;
    if (whole.left() >= -slack && whole.top() >= -slack && whole.right() <= viewport.width() + slack
        && whole.bottom() <= viewport.height() + slack)
        return std::nullopt;
    return whole.size();
}

void EditorViewModel::clampExportFrame()
{
    if (!m_exportFrameRect || m_viewportSize.width() <= 1 || m_viewportSize.height() <= 1)
        return;
    QRectF frame = *m_exportFrameRect;
    frame.setWidth(std::min(frame.width(), m_viewportSize.width()));
    frame.setHeight(std::min(frame.height(), m_viewportSize.height()));
    frame.moveLeft(std::min(std::max(0.0, frame.x()), m_viewportSize.width() - frame.width()));
    frame.moveTop(std::min(std::max(0.0, frame.y()), m_viewportSize.height() - frame.height()));
    if (frame.width() < exportFrameMinSize.width() || frame.height() < exportFrameMinSize.height())
        setExportFrameRect(std::nullopt);
    else
        setExportFrameRect(frame);
}

double EditorViewModel::exportScale(QSizeF viewport) const
{
    if (!m_document)
        return 1;
    double scale = m_document->imageScale / std::max(0.01, m_canvasTransform.zoomLevel);
    const double longer = std::max(viewport.width(), viewport.height());
    if (longer > 1)
        scale = std::min(scale, AppConstants::maxExportPixelDimension / longer);
    return scale;
}

DimState EditorViewModel::currentDimState() const
{
    if (!m_styling.dimming.isEnabled || !m_document)
        return {};
    DimState state;
    for (const Annotation& annotation : m_document->annotations) {
        const auto* shape = std::get_if<ShapeAnnotation>(&annotation);
        if (!shape)
            continue;
        if (m_liveDimHole && m_liveDimHole->first == shape->id)
            state.holes.push_back(m_liveDimHole->second);
        else
            state.holes.push_back(dimHoleForShape(*shape));
    }
    if (m_liveDimHole && !m_liveDimHole->first)
        state.holes.push_back(m_liveDimHole->second);
    if (!state.holes.empty())
        state.amount = static_cast<float>(m_styling.dimming.amount);
    return state;
}

void EditorViewModel::setLiveDimHole(std::optional<QUuid> id, const DimHoleSpec& hole)
{
    if (!m_styling.dimming.isEnabled)
        return;
    m_liveDimHole = std::make_pair(id, hole);
    Q_EMIT redrawRequested();
}

void EditorViewModel::clearLiveDimHole()
{
    if (!m_liveDimHole)
        return;
    m_liveDimHole.reset();
    Q_EMIT redrawRequested();
}

bool EditorViewModel::hasShapeAnnotation() const
{
    return m_document && std::any_of(m_document->annotations.begin(), m_document->annotations.end(),
                                     [](const Annotation& a) { return std::holds_alternative<ShapeAnnotation>(a); });
}

std::optional<EditorViewModel::FinalRenderJob> EditorViewModel::finalRenderJob()
{
    m_renderError.clear();
    if (!m_document) {
        m_renderError = QStringLiteral("There is no screenshot to render");
        return std::nullopt;
    }
    const ScreenshotDocument& doc = *m_document;
    FinalRenderJob job;
    job.screenshot = doc.image;
    job.annotations = doc.annotations;
    job.imageSize = doc.imagePointSize();
    job.screenScale = doc.screenScale;
    job.styling = m_styling;
    if (std::holds_alternative<WallpaperBackground>(m_styling.background.value))
        job.wallpaper = m_wallpaper;
    job.sceneState = m_sceneState;
    job.zoom = static_cast<float>(m_canvasTransform.zoomLevel);

    QSizeF output = (m_viewportSize.width() > 0 && m_viewportSize.height() > 0) ? m_viewportSize : job.imageSize;
    QPointF pan(2 * m_canvasTransform.canvasOffset.width() / output.width(),
                -2 * m_canvasTransform.canvasOffset.height() / output.height());
    // What the canvas cuts off is still part of the picture: without a frame of the user's,
    // the card and its padding are rendered whole, centred on a canvas of their size.
    const std::optional<QSizeF> uncut = uncutExportSize(output);
    if (uncut) {
        output = *uncut;
        pan = {};
    }
    job.dim = currentDimState();
    job.scale = exportScale(output);
    const std::optional<QSize> whole = OffscreenSceneRenderer::pixelSizeFor(output, job.scale);
    if (!whole) {
        m_renderError = QStringLiteral("The export would be smaller than one pixel");
        return std::nullopt;
    }

    // The file gets exactly the frame's pixel count, as the size tag shows it. A frame at
    // fractional pixel positions would cut through pixels that are part background; the
    // scene is moved by less than a pixel instead, so that the frame starts on a pixel edge.
    const QRectF frame = uncut ? QRectF(QPointF(0, 0), output) : m_exportFrameRect.value_or(derivedExportFrame(output));
    const bool cropped = frame != QRectF(QPointF(0, 0), output);
    job.pixels = QRect(QPoint(0, 0), *whole);
    if (cropped) {
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
        pan += QPointF(2 * (x - left) / whole->width(), -2 * (y - top) / whole->height());
        job.pixels = QRect(QPoint(x, y), size);
        // Only the frame's pixels are rendered and read: no full-size picture to cut it from.
        job.croppedRatio = doc.imageScale > 0 ? doc.imageScale : 1.0;
    }
    job.output = output;
    job.pan = pan;
    job.pixelRatio = job.croppedRatio.value_or(double(whole->width()) / output.width());
    return job;
}

bool EditorViewModel::runFinalRender(const FinalRenderJob& job, OffscreenSceneRenderer& renderer,
                                     std::optional<QImage>* image, QString* error)
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
        job.annotations.empty() ? std::nullopt
                                : renderAnnotationsOnly(job.annotations, job.imageSize, job.screenScale, &job.screenshot);
    const QImage* annotationImage = annotations ? &annotations->image : nullptr;
    const QRectF annotationRect = annotations ? annotations->rect : QRectF();
    const float scale = static_cast<float>(job.scale);
    if (image) {
        *image = renderer.renderToImage(std::move(*background), job.screenshot, annotationImage, annotationRect,
                                        job.imageSize, job.styling, job.sceneState, job.output, job.zoom, job.pan, scale,
                                        job.dim.amount, job.dim.holes, job.pixels, job.croppedRatio);
        return *image || fail(QStringLiteral("OpenGL rendering failed: ") + renderer.errorString());
    }
    return renderer.render(std::move(*background), job.screenshot, annotationImage, annotationRect, job.imageSize,
                           job.styling, job.sceneState, job.output, job.zoom, job.pan, scale, job.dim.amount,
                           job.dim.holes, job.pixels)
           || fail(QStringLiteral("OpenGL rendering failed: ") + renderer.errorString());
}

bool EditorViewModel::renderFinalFrame(std::optional<QImage>* image)
{
    const std::optional<FinalRenderJob> job = finalRenderJob();
    if (!job)
        return false;
    OffscreenSceneRenderer* renderer = offscreenRenderer();
    if (!renderer) {
        m_renderError = QStringLiteral("No usable OpenGL (install libgl1-mesa-dri and libegl1)");
        return false;
    }
    if (!runFinalRender(*job, *renderer, image, &m_renderError))
        return false;
    m_renderedPixelRatio = job->pixelRatio;
    return true;
}

std::function<std::optional<QImage>()> EditorViewModel::deferredFinalRender(FinalRenderJob job)
{
    return [self = QPointer<EditorViewModel>(this), job = std::move(job)]() -> std::optional<QImage> {
        // The editor's renderer while it has a document; after it closed, one for this render
        // only, so a late paste does not leave a context behind in the idle app.
        std::shared_ptr<OffscreenSceneRenderer> renderer;
        if (self && self->hasDocument() && self->offscreenRenderer())
            renderer = self->m_offscreenRenderer;
        QString error;
        if (!renderer) {
            renderer = std::make_shared<OffscreenSceneRenderer>();
            if (!renderer->initialize(&error)) {
                systemLog(QStringLiteral("cannot render the copied image: ") + error);
                return std::nullopt;
            }
        }
        std::optional<QImage> image;
        if (!runFinalRender(job, *renderer, &image, &error)) {
            systemLog(QStringLiteral("cannot render the copied image: ") + error);
            return std::nullopt;
        }
        return image;
    };
}

std::optional<QImage> EditorViewModel::renderFinalImage()
{
    std::optional<QImage> image;
    if (!renderFinalFrame(&image))
        return std::nullopt;
    return image;
}

void EditorViewModel::saveFinalImage(const QString& path)
{
    if (FileExportService::imageFileType(path) != ImageFileType::png) {
        const std::optional<QImage> image = renderFinalImage();
        if (!image)
            throw ExportError(ExportError::Kind::failedToCreateImage);
        FileExportService::saveImage(*image, path);
        return;
    }
    if (!renderFinalFrame(nullptr))
        throw ExportError(ExportError::Kind::failedToCreateImage);
    OffscreenSceneRenderer& renderer = *offscreenRenderer();
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
            m_renderError = QStringLiteral("Reading the rendered pixels failed");
            throw ExportError(ExportError::Kind::failedToCreateImage);
        }
        opaque = isOpaque(strip.data(), qsizetype(size.width()) * count);
    }
    png::RowSource rows;
    rows.size = size;
    rows.order = png::ByteOrder::rgba;
    rows.premultiplied = true;
    rows.opaque = opaque;
    rows.dotsPerMeterX = rows.dotsPerMeterY = dotsPerMeterForScale(m_renderedPixelRatio);
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

} // namespace pelorin
