#include "render/OffscreenSceneRenderer.h"

#include <cmath>
#include <limits>

namespace pelorin {

OffscreenSceneRenderer::OffscreenSceneRenderer() = default;

OffscreenSceneRenderer::~OffscreenSceneRenderer()
{
    if (!m_renderer.isInitialized())
        return;
    OffscreenContext::CurrentScope scope(m_context);
    if (scope.isCurrent())
        m_renderer.releaseResources();
}

bool OffscreenSceneRenderer::initialize(QString* error)
{
    if (!m_renderer.isInitialized()) {
        if (m_context.create(&m_error)) {
            OffscreenContext::CurrentScope scope(m_context);
            if (!scope.isCurrent())
                m_error = QStringLiteral("The off-screen OpenGL context cannot be made current");
            else if (m_renderer.initialize(&m_error))
                m_renderer.setMipmapsOnDemand(true);
        }
    }
    if (error && !m_renderer.isInitialized())
        *error = m_error;
    return m_renderer.isInitialized();
}

double OffscreenSceneRenderer::wholePixels(double pixels)
{
    // The scale travels as a float to the GPU, so products are off by up to a few parts in
    // 10⁸; one part in 10⁶ forgives that without rounding up any real fraction of a pixel.
    return std::floor(pixels + 1e-6 * std::max(1.0, std::fabs(pixels)));
}

std::optional<QSize> OffscreenSceneRenderer::pixelSizeFor(QSizeF outputSize, double scaleFactor)
{
    const double width = wholePixels(outputSize.width() * scaleFactor);
    const double height = wholePixels(outputSize.height() * scaleFactor);
    constexpr double limit = std::numeric_limits<int>::max();
    if (!(width >= 1 && height >= 1 && width <= limit && height <= limit))
        return std::nullopt;
    return QSize(int(width), int(height));
}

bool OffscreenSceneRenderer::uploadTextures(QImage& background, QImage& screenshot,
                                            const QImage* annotation, QRectF annotationRect)
{
    // A failed upload keeps the previous texture inside the renderer; an export must not
    // show that stale picture, so the keys are dropped and the render gives up.
    if (background.cacheKey() != m_backgroundKey || !m_renderer.hasBackground()) {
        m_backgroundKey = 0;
        if (!m_renderer.setBackgroundImage(background)) {
            m_error = QStringLiteral("The background cannot be made into a texture");
            return false;
        }
        m_backgroundKey = background.cacheKey();
    }
    background = QImage();
    if (screenshot.cacheKey() != m_screenshotKey || !m_renderer.hasScreenshot()) {
        m_screenshotKey = 0;
        if (!m_renderer.setScreenshotImage(screenshot)) {
            m_error = QStringLiteral("The screenshot cannot be made into a texture");
            return false;
        }
        m_screenshotKey = screenshot.cacheKey();
    }
    screenshot = QImage();
    if (!annotation || annotation->isNull()) {
        m_renderer.clearAnnotationImage();
        m_annotationKey = 0;
    } else if (annotation->cacheKey() != m_annotationKey || annotationRect != m_annotationRect
               || !m_renderer.hasAnnotation()) {
        m_annotationKey = 0;
        // Annotations are optional: the export goes on without them rather than with old ones.
        if (m_renderer.setAnnotationImage(*annotation, annotationRect)) {
            m_annotationKey = annotation->cacheKey();
            m_annotationRect = annotationRect;
        } else {
            m_renderer.clearAnnotationImage();
        }
    }
    return true;
}

bool OffscreenSceneRenderer::render(QImage background, QImage screenshot, const QImage* annotation,
                                    QRectF annotationRect, QSizeF imageSize, const StylingConfiguration& styling,
                                    const SceneState& sceneState, QSizeF outputSize, float zoom, QPointF panNDC,
                                    float scaleFactor, float dimAmount, const std::vector<DimHoleSpec>& dimHoles,
                                    QRect crop)
{
    m_frameSize = {};
    const std::optional<QSize> pixels = pixelSizeFor(outputSize, scaleFactor);
    if (!pixels) {
        m_error = QStringLiteral("The output is smaller than one pixel");
        return false;
    }
    const QRect whole(QPoint(0, 0), *pixels);
    const QRect part = crop.isEmpty() ? whole : crop & whole;
    if (part.isEmpty()) {
        m_error = QStringLiteral("The export frame lies outside the picture");
        return false;
    }
    if (!initialize())
        return false;

    OffscreenContext::CurrentScope scope(m_context);
    if (!scope.isCurrent()) {
        m_error = QStringLiteral("The off-screen OpenGL context cannot be made current");
        return false;
    }
    if (!uploadTextures(background, screenshot, annotation, annotationRect))
        return false;
    if (!m_context.beginFrame(part.size(), &m_error))
        return false;

    SceneRenderParams params;
    params.imageSize = imageSize;
    params.styling = styling;
    params.isPerspective = sceneState.isPerspective;
    params.zoom = zoom;
    params.panNDC = panNDC;
    params.scaleFactor = scaleFactor;
    params.drawsAnnotations = m_renderer.hasAnnotation();
    params.showsTransparencyChecker = false;
    params.copiesAlignedCard = true;
    params.dimAmount = dimAmount;
    params.dimHoles = dimHoles;
    // Drawn top-down, so framebuffer rows from the bottom are image rows from the top and the
    // read-back needs no flip; the framebuffer starts at the crop's top-left.
    params.framebufferOrigin = -part.topLeft();
    m_renderer.encodeScene(params, *pixels, sceneState.yaw, sceneState.pitch, SceneRenderer::RowOrder::TopDown);
    m_frameSize = part.size();
    return true;
}

bool OffscreenSceneRenderer::readRows(int first, int count, uchar* target, qsizetype bytesPerLine)
{
    if (m_frameSize.isEmpty())
        return false;
    OffscreenContext::CurrentScope scope(m_context);
    return scope.isCurrent() && m_context.readRows(first, count, target, bytesPerLine);
}

std::optional<QImage> OffscreenSceneRenderer::renderToImage(
    QImage background, QImage screenshot, const QImage* annotation, QRectF annotationRect,
    QSizeF imageSize, const StylingConfiguration& styling, const SceneState& sceneState, QSizeF outputSize,
    float zoom, QPointF panNDC, float scaleFactor, float dimAmount, const std::vector<DimHoleSpec>& dimHoles,
    QRect crop, std::optional<double> pixelRatio)
{
    if (!render(std::move(background), std::move(screenshot), annotation, annotationRect, imageSize, styling, sceneState,
                outputSize, zoom, panNDC, scaleFactor, dimAmount, dimHoles, crop))
        return std::nullopt;
    const QSize size = m_frameSize;
    // Writing into an image the caller still holds would first copy all of it; a fresh one
    // is cheaper then. Otherwise the already-touched buffer is reused.
    if (m_readback.size() != size || !m_readback.isDetached())
        m_readback = QImage(size, QImage::Format_RGBA8888_Premultiplied);
    if (m_readback.isNull()) {
        m_error = QStringLiteral("No memory for a %1 × %2 pixel image").arg(size.width()).arg(size.height());
        return std::nullopt;
    }
    if (!readRows(0, size.height(), m_readback.bits(), m_readback.bytesPerLine())) {
        m_error = QStringLiteral("Reading the rendered pixels failed");
        return std::nullopt;
    }
    // The pixel density of the whole frame, which a crop keeps.
    m_readback.setDevicePixelRatio(
        pixelRatio.value_or(double(pixelSizeFor(outputSize, scaleFactor)->width()) / outputSize.width()));
    return m_readback;
}

} // namespace pelorin
