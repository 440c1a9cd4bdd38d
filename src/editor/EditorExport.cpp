#include "editor/EditorViewModel.h"

#include "editor/FileExportService.h"
#include "editor/FinalRender.h"
#include "platform/SystemLog.h"
#include "render/ImageComposition.h"
#include "render/OffscreenSceneRenderer.h"

#include <algorithm>
#include <cmath>

namespace pelorin {

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
    return paddedCardFrame(*card, m_styling.padding * m_canvasTransform.zoomLevel, viewport);
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
    return m_document ? exportScaleFor(m_document->imageScale, m_canvasTransform.zoomLevel, viewport) : 1;
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

std::optional<FinalRenderJob> EditorViewModel::finalRenderJob()
{
    m_renderError.clear();
    if (!m_document) {
        m_renderError = QStringLiteral("There is no screenshot to render");
        return std::nullopt;
    }
    const ScreenshotDocument& doc = *m_document;
    FinalRenderJob job;
    job.screenshot = doc.image;
    job.imageSize = doc.imagePointSize();
    job.screenScale = doc.screenScale;
    if (!doc.annotations.empty())
        job.annotations = [annotations = doc.annotations, size = job.imageSize,
                           scale = job.screenScale](const QImage& screenshot) {
            return renderAnnotationsOnly(annotations, size, scale, &screenshot);
        };
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
    const QRectF frame = uncut ? QRectF(QPointF(0, 0), output) : m_exportFrameRect.value_or(derivedExportFrame(output));
    job.output = output;
    job.pan = pan;
    if (!frameFinalRender(job, frame, doc.imageScale)) {
        m_renderError = QStringLiteral("The export would be smaller than one pixel");
        return std::nullopt;
    }
    return job;
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
    return runFinalRender(*job, *renderer, image, &m_renderError);
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
    const std::optional<FinalRenderJob> job = finalRenderJob();
    if (!job)
        throw ExportError(ExportError::Kind::failedToCreateImage);
    OffscreenSceneRenderer* renderer = offscreenRenderer();
    if (!renderer) {
        m_renderError = QStringLiteral("No usable OpenGL (install libgl1-mesa-dri and libegl1)");
        throw ExportError(ExportError::Kind::failedToCreateImage);
    }
    saveFinalRender(*job, *renderer, path, &m_renderError);
}

} // namespace pelorin
