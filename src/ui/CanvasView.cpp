// libepoxy must come before any Qt OpenGL header.
#include <epoxy/gl.h>

#include "ui/CanvasView.h"

#include "core/AppConstants.h"
#include "core/ViewState.h"
#include "editor/EditorViewModel.h"
#include "platform/SystemLog.h"
#include "render/ImageComposition.h"
#include "ui/AnnotationOverlayView.h"
#include "ui/CanvasInputLayer.h"
#include "ui/CopyConfirmation.h"
#include "ui/EmptyStateView.h"
#include "ui/ComponentOverlayView.h"
#include "ui/ExportFrameView.h"
#include "ui/ShimmerView.h"
#include "ui/ReturnTo2DButton.h"
#include "ui/SceneControlsView.h"

#include <QPaintEvent>
#include <QPainter>
#include <QtConcurrent>

#include <cmath>

namespace pelorin {

using namespace CanvasLimits;

namespace {

// Changes closer together than this belong to one continuous interaction.
constexpr qint64 continuousGapMs = 150;
// Quick frames have this share of the pixels along each side.
constexpr double previewScale = 0.45;

} // namespace

CanvasView::CanvasView(EditorViewModel& editor, QWidget* parent)
    : QWidget(parent)
    , m_editor(editor)
{
    // Every pixel is painted from the frame (or the backdrop), so nothing needs erasing first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(240, 180);
    m_clock.start();

    // Stacked bottom to top in the order they are made.
    m_annotationLayer = new AnnotationOverlayView(editor, this);
    m_returnButton = new ReturnTo2DButton(editor, this);
    m_shimmer = new ShimmerView(editor, this);
    m_componentOverlay = new ComponentOverlayView(editor, this);
    m_exportFrame = new ExportFrameView(editor, this);
    m_sceneControls = new SceneControlsView(editor, this);
    m_emptyState = new EmptyStateView(editor, this);
    m_copyConfirmation = new CopyConfirmation(editor, this);
    m_input = new CanvasInputLayer(editor, this);

    const auto redraw = [this] { requestFrame(); };
    for (auto signal : {&EditorViewModel::redrawRequested, &EditorViewModel::textureRefreshRequested,
                        &EditorViewModel::sceneStateChanged, &EditorViewModel::isRotatingGestureChanged})
        connect(&m_editor, signal, this, redraw);
    for (auto signal : {&EditorViewModel::stylingChanged, &EditorViewModel::canvasTransformChanged}) {
        connect(&m_editor, signal, this, [this] {
            noteChange();
            requestFrame();
        });
    }
    connect(&m_editor, &EditorViewModel::documentChanged, this, [this] {
        syncDocumentState();
        requestFrame();
    });
    // The flat card's annotations are painted by the overlay; the scene only needs a new frame
    // when the annotations reach into it: the dimming holes of shapes, or a tilted card.
    connect(&m_editor, &EditorViewModel::annotationsChanged, this, [this] {
        if (m_editor.styling().dimming.isEnabled || m_editor.sceneState().isPerspective)
            requestFrame();
    });
    // An analysis flattens the card at once, without easing.
    connect(&m_editor, &EditorViewModel::tiltResetRequested, this, [this] {
        m_easing.currentYaw = 0;
        m_easing.currentPitch = 0;
    });
    connect(m_exportFrame, &ExportFrameView::frameMoved, this, [this] {
        m_returnButton->place(!m_exportFrame->isHidden() ? m_exportFrame->tagRect() : QRectF());
    });
    m_refine.setSingleShot(true);
    m_refine.setInterval(int(continuousGapMs));
    connect(&m_refine, &QTimer::timeout, this, redraw);
    connect(&m_backgroundJob, &QFutureWatcher<std::optional<QImage>>::finished, this, [this] {
        const int generation = m_backgroundJob.property("generation").toInt();
        if (generation != m_backgroundGeneration)
            return;
        if (std::optional<QImage> image = m_backgroundJob.result())
            m_preparedBackground = std::move(image);
        requestFrame();
    });
    syncDocumentState();
}

CanvasView::~CanvasView()
{
    m_backgroundJob.waitForFinished();
    if (m_renderer.isInitialized()) {
        OffscreenContext::CurrentScope scope(m_context);
        if (scope.isCurrent())
            m_renderer.releaseResources();
    }
}

void CanvasView::requestFrame()
{
    m_sceneDirty = true;
    update();
}

bool CanvasView::ensureRenderer()
{
    if (m_renderer.isInitialized())
        return true;
    if (m_glFailed)
        return false;
    QString error;
    if (m_context.create(&error)) {
        OffscreenContext::CurrentScope scope(m_context);
        if (scope.isCurrent() && m_renderer.initialize(&error)) {
            // A new context has none of the old textures.
            m_editor.screenshotTextureDirty = true;
            m_editor.backgroundTextureDirty = true;
            m_editor.annotationTextureDirty = true;
            return true;
        }
    }
    // Said once: the canvas then shows only its backdrop.
    m_glFailed = true;
    systemLog(QStringLiteral("the canvas cannot draw: ") + error);
    return false;
}

void CanvasView::refreshDirtyTextures()
{
    const auto& document = m_editor.document();
    if (!document || !m_renderer.isInitialized())
        return;
    m_showsChecker = std::holds_alternative<TransparentBackground>(m_editor.styling().background.value);
    if (m_editor.screenshotTextureDirty) {
        m_editor.screenshotTextureDirty = false;
        m_renderer.setScreenshotImage(document->image);
        ++m_builds.screenshot;
    }
    if (m_editor.backgroundTextureDirty) {
        m_editor.backgroundTextureDirty = false;
        rebuildBackground();
    }
    if (m_preparedBackground) {
        m_renderer.setBackgroundImage(*m_preparedBackground);
        m_preparedBackground.reset();
        ++m_builds.background;
    }
    // A flat card shows its annotations in the annotation layer; the texture waits for a tilt.
    if (m_editor.annotationTextureDirty && m_editor.sceneState().isPerspective) {
        m_editor.annotationTextureDirty = false;
        ++m_builds.annotation;
        const std::optional<AnnotationRaster> raster = document->annotations.empty()
            ? std::nullopt
            : renderAnnotationsOnly(document->annotations, document->imagePointSize(), document->screenScale);
        if (raster)
            m_renderer.setAnnotationImage(raster->image, raster->rect);
        else
            m_renderer.clearAnnotationImage();
    }
}

void CanvasView::rebuildBackground()
{
    const ScreenshotDocument& document = *m_editor.document();
    const BackgroundStyle background = m_editor.styling().background;
    const QSizeF imageSize = document.imagePointSize();
    const double scale = document.screenScale;
    const int generation = ++m_backgroundGeneration;
    if (std::holds_alternative<WallpaperBackground>(background.value) && m_wallpaper) {
        // Finding and decoding the desktop picture can take a while; the old background stays
        // on the canvas until the new one is ready.
        m_backgroundJob.setProperty("generation", generation);
        m_backgroundJob.setFuture(QtConcurrent::run([provider = m_wallpaper, background, imageSize, scale] {
            const std::optional<QImage> wallpaper = provider();
            return renderBackgroundOnly(imageSize, scale, background, wallpaper ? &*wallpaper : nullptr,
                                        AppConstants::previewBackgroundMaxDimension);
        }));
        return;
    }
    // A failed render keeps the previous texture.
    if (const std::optional<QImage> raster = renderBackgroundOnly(imageSize, scale, background, nullptr,
                                                                  AppConstants::previewBackgroundMaxDimension)) {
        m_preparedBackground = *raster;
    }
}

SceneRenderParams CanvasView::frameParams(float yaw, float pitch, const QSize& pixels, double pixelsPerPoint) const
{
    const ScreenshotDocument& document = *m_editor.document();
    const CanvasTransform& transform = m_editor.canvasTransform();
    const RotationTargets targets = m_editor.rotationTargets();
    const float s = float(pixelsPerPoint);
    SceneRenderParams params;
    params.imageSize = document.imagePointSize();
    params.styling = m_editor.styling();
    params.zoom = float(transform.zoomLevel);
    params.panNDC = QPointF(transform.canvasOffset.width() * 2 * s / pixels.width(),
                            -transform.canvasOffset.height() * 2 * s / pixels.height());
    params.scaleFactor = s;
    // A perspective card that is not tilted is drawn flat, exactly as the export of a flat card.
    const bool tilted = m_editor.isRotatingGesture() || std::fabs(targets.yaw) > tiltThreshold
        || std::fabs(targets.pitch) > tiltThreshold || std::fabs(yaw) > tiltThreshold || std::fabs(pitch) > tiltThreshold;
    params.isPerspective = m_editor.sceneState().isPerspective && tilted;
    params.drawsAnnotations = params.isPerspective;
    params.showsTransparencyChecker = m_showsChecker;
    const DimState dim = m_editor.currentDimState();
    params.dimAmount = dim.amount;
    params.dimHoles = dim.holes;
    return params;
}

void CanvasView::noteChange()
{
    const qint64 now = m_clock.elapsed();
    m_changeIsContinuous = now - m_lastChangeMs < continuousGapMs;
    m_lastChangeMs = now;
}

bool CanvasView::wantsPreview(qint64 nowMs) const
{
    // A single change (a click on a swatch, a zoom step) gets a full frame at once; only a run
    // of changes, a turning gesture or a tilt still easing gets quick frames.
    return m_easingActive || m_editor.isRotatingGesture()
        || (m_changeIsContinuous && nowMs - m_lastChangeMs < continuousGapMs);
}

void CanvasView::drawScene(bool allowPreview)
{
    m_sceneDirty = false;
    const double dpr = devicePixelRatioF();
    const QSize pixels(qRound(width() * dpr), qRound(height() * dpr));
    if (!m_editor.hasDocument() || pixels.width() < 1 || pixels.height() < 1 || !ensureRenderer()) {
        m_frame = QImage();
        return;
    }
    OffscreenContext::CurrentScope scope(m_context);
    if (!scope.isCurrent())
        return;
    refreshDirtyTextures();

    const RotationTargets targets = m_editor.rotationTargets();
    // After a pause the first frame eases from a standing start instead of counting the idle
    // time (at most 0.1 s) as animation time, which would skip most of the movement.
    if (!m_easingActive)
        m_easing.hasDrawn = false;
    m_easingActive = m_easing.step(targets.yaw, targets.pitch, double(m_clock.nsecsElapsed()) / 1e9);

    // While the user drags or the card turns, frames of a fifth of the pixels keep up with
    // the pointer: a software rasteriser spends nearly all of a frame shading pixels. The full
    // frame replaces them as soon as things come to rest.
    const bool preview = allowPreview && wantsPreview(m_clock.elapsed());
    const QSize target = preview ? QSize(std::max(1, qRound(pixels.width() * previewScale)),
                                         std::max(1, qRound(pixels.height() * previewScale)))
                                 : pixels;
    QString error;
    if (!m_context.beginFrame(target, &error)) {
        systemLog(QStringLiteral("the canvas cannot draw: ") + error);
        return;
    }
    const QColor backdrop = Theme::canvasBackdrop();
    glClearColor(backdrop.redF(), backdrop.greenF(), backdrop.blueF(), 1);
    glClear(GL_COLOR_BUFFER_BIT);
    const double pixelsPerPoint = dpr * double(target.height()) / pixels.height();
    m_renderer.encodeScene(frameParams(m_easing.currentYaw, m_easing.currentPitch, target, pixelsPerPoint), target,
                           m_easing.currentYaw, m_easing.currentPitch, SceneRenderer::RowOrder::TopDown);

    // Read as BGRA: on little-endian machines that is the layout of QImage's 32-bit formats,
    // so showing the frame is a plain copy. The backdrop makes every pixel opaque.
    if (m_frame.size() != target || !m_frame.isDetached())
        m_frame = QImage(target, QImage::Format_RGB32);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glPixelStorei(GL_PACK_ROW_LENGTH, GLint(m_frame.bytesPerLine() / 4));
    glReadPixels(0, 0, target.width(), target.height(), GL_BGRA, GL_UNSIGNED_BYTE, m_frame.bits());
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    m_frame.setDevicePixelRatio(dpr * double(target.width()) / pixels.width());
    m_frameIsPreview = preview;
    ++m_frames;

    if (preview)
        m_refine.start();
    else
        m_refine.stop(); // this full frame is the refinement
    if (m_easingActive)
        QMetaObject::invokeMethod(this, &CanvasView::requestFrame, Qt::QueuedConnection);
}

void CanvasView::paintEvent(QPaintEvent* event)
{
    if (m_sceneDirty) {
        drawScene(true);
        if (!m_frame.isNull())
            Q_EMIT frameRendered();
    }
    QPainter painter(this);
    if (m_frame.isNull()) {
        painter.fillRect(event->rect(), Theme::canvasBackdrop());
        return;
    }
    if (m_frameIsPreview) {
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(QRectF(rect()), m_frame);
    } else {
        // Layers that change repaint only their own area; the scene under them is copied.
        painter.drawImage(event->rect(), m_frame, QRectF(QPointF(event->rect().topLeft()) * m_frame.devicePixelRatio(),
                                                         QSizeF(event->rect().size()) * m_frame.devicePixelRatio()));
    }
}

QImage CanvasView::grabFramebuffer()
{
    if (m_sceneDirty || m_frameIsPreview || m_frame.isNull())
        drawScene(false);
    return m_frame;
}

void CanvasView::syncDocumentState()
{
    m_emptyState->setVisible(!m_editor.hasDocument());
}

void CanvasView::updateViewport()
{
    m_editor.updateViewportSize(QSizeF(size()));
    m_editor.clampExportFrame();
}

void CanvasView::layoutOverlays()
{
    const QRect whole = rect();
    m_annotationLayer->setGeometry(whole);
    m_componentOverlay->setGeometry(whole);
    m_shimmer->place();
    m_exportFrame->setGeometry(whole);
    m_emptyState->setGeometry(whole);
    m_returnButton->place(!m_exportFrame->isHidden() ? m_exportFrame->tagRect() : QRectF());
    m_sceneControls->place();
    m_copyConfirmation->place();
}

void CanvasView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    updateViewport();
    layoutOverlays();
    requestFrame();
}

void CanvasView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    updateViewport();
    layoutOverlays();
    requestFrame();
}

} // namespace pelorin
