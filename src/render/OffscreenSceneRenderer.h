#pragma once

#include "core/DimHoles.h"
#include "core/Styling.h"
#include "core/ViewState.h"
#include "render/OffscreenContext.h"
#include "render/SceneRenderer.h"

#include <QImage>
#include <QPointF>
#include <QRectF>
#include <QSize>
#include <QSizeF>
#include <QString>

#include <QRect>

#include <optional>
#include <vector>

namespace pelorin {

// Renders the card scene off screen for export, with the same SceneRenderer as the canvas.
// Works on the main thread of a Qt application (whatever Qt context was current is handed
// back afterwards) and in a plain program without one. Not thread-safe.
class OffscreenSceneRenderer {
public:
    OffscreenSceneRenderer();
    ~OffscreenSceneRenderer();
    OffscreenSceneRenderer(const OffscreenSceneRenderer&) = delete;
    OffscreenSceneRenderer& operator=(const OffscreenSceneRenderer&) = delete;

    // Creates the context and the renderer; renderToImage() does this on first use.
    bool initialize(QString* error = nullptr);
    bool isInitialized() const { return m_renderer.isInitialized(); }
    // Why the last initialisation or render failed.
    QString errorString() const { return m_error; }

    // The scene at (⌊output width × scaleFactor⌋, ⌊output height × scaleFactor⌋) pixels on a
    // transparent target, with the scene state's angles as they are (no easing) and no
    // transparency checker. The result is premultiplied RGBA (what the blending produces over
    // transparency) with devicePixelRatio = pixel width ÷ output width. None when a texture
    // cannot be made, the size is below 1 × 1 pixel or GL fails.
    //
    // A non-empty `crop` (pixels of that whole frame, rows top-down) renders and returns only
    // that part: the rest of the frame is neither shaded nor stored. `pixelRatio` replaces the
    // devicePixelRatio (set here, as a later change to the shared image would copy it).
    //
    // The pixels are read into a buffer kept between calls: a caller that drops the previous
    // result before asking for the next one saves a large allocation per export.
    std::optional<QImage> renderToImage(QImage background, QImage screenshot, const QImage* annotation,
                                        QRectF annotationRect, QSizeF imageSize, const StylingConfiguration& styling,
                                        const SceneState& sceneState, QSizeF outputSize, float zoom, QPointF panNDC,
                                        float scaleFactor, float dimAmount, const std::vector<DimHoleSpec>& dimHoles,
                                        QRect crop = {}, std::optional<double> pixelRatio = std::nullopt);

    // The background and the screenshot are taken by value and let go of once they are
    // textures: a caller that moves its copies in holds no full-size raster through the
    // render, and the framebuffer can take the memory they leave.
    //
    // The same render left in the framebuffer, for a caller that takes the rows a strip at a
    // time (readRows) instead of as one image. False on the failures above.
    bool render(QImage background, QImage screenshot, const QImage* annotation, QRectF annotationRect,
                QSizeF imageSize, const StylingConfiguration& styling, const SceneState& sceneState,
                QSizeF outputSize, float zoom, QPointF panNDC, float scaleFactor, float dimAmount,
                const std::vector<DimHoleSpec>& dimHoles, QRect crop = {});
    // Pixels of the last render().
    QSize frameSize() const { return m_frameSize; }
    // `count` rows of the last render from `first` (top-down), premultiplied RGBA, into
    // `target` with rows `bytesPerLine` apart.
    bool readRows(int first, int count, uchar* target, qsizetype bytesPerLine);

    // ⌊output × scaleFactor⌋ per side, or none when a side is below one pixel or not finite.
    // A product that misses a whole number only by rounding error counts as that number
    // (8192 ÷ 1400 × 1400 is 8192 pixels, not 8191).
    static std::optional<QSize> pixelSizeFor(QSizeF outputSize, double scaleFactor);
    static double wholePixels(double pixels);

private:
    bool uploadTextures(QImage& background, QImage& screenshot, const QImage* annotation,
                        QRectF annotationRect);

    OffscreenContext m_context;
    SceneRenderer m_renderer;
    QImage m_readback;
    QSize m_frameSize;
    QString m_error;
    // Re-exports of an unchanged document skip the uploads (and the mipmap builds).
    qint64 m_backgroundKey = 0;
    qint64 m_screenshotKey = 0;
    qint64 m_annotationKey = 0;
    QRectF m_annotationRect;
};

} // namespace pelorin
