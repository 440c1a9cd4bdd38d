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

#include <algorithm>
#include <utility>
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
    m_input->setShiftPressClaim([this](QPointF at) { return m_annotationLayer->takesShiftPress(at); });

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
        // A closed editor gives its memory back; the next capture makes the context again.
        if (!m_editor.hasDocument())
            releaseGraphics();
        startContextJob();
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
        if (m_easing.currentYaw != 0 || m_easing.currentPitch != 0)
            requestFrame();
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
    connect(&m_contextJob, &QFutureWatcher<ContextJobResult>::finished, this, [this] {
        takeContextJob();
        // A screenshot that changed while the job ran goes up next.
        if (!startContextJob() && !m_sceneWaitsForFirstPaint)
            requestFrame();
    });
    // The context costs memory a tray program should not hold while idle: it is made when a
    // capture starts (while the user still picks the area), when a screenshot arrives or when
    // the window opens, whichever comes first.
    connect(&m_editor, &EditorViewModel::captureRequested, this, [this] {
        m_contextWanted = true;
        startContextJob();
    });
    connect(&m_editor, &EditorViewModel::imageComing, this, [this] {
        m_contextWanted = true;
        startContextJob();
    });
    syncDocumentState();
}

CanvasView::~CanvasView()
{
    releaseGraphics();
}

void CanvasView::releaseGraphics()
{
    m_contextJob.waitForFinished();
    takeContextJob();
    m_backgroundJob.waitForFinished();
    if (m_renderer.isInitialized()) {
        OffscreenContext::CurrentScope scope(m_context);
        if (scope.isCurrent()) {
            releaseFills();
            m_renderer.releaseResources();
        }
    }
    m_context.destroy();
    m_contextWanted = false;
    m_frame = QImage();
    m_frameScreenshot = 0;
    m_preparedBackground.reset();
}

void CanvasView::requestFrame()
{
    m_sceneDirty = true;
    update();
}

namespace {

// The live view gives up exactness no one sees for speed, where exports do not.
SceneRenderParams liveViewParams()
{
    SceneRenderParams params;
    params.splitsOpaqueCard = true;
    params.blendsMipmapLevels = false;
    return params;
}

// Draws every kind of quad once into a small frame with the states real frames use, so the
// rasteriser compiles its code for them here rather than in the first frame the user waits
// for. Sizes that are not powers of two, as screenshots are not, select the same code.
void warmUp(OffscreenContext& context, SceneRenderer& renderer)
{
    const QSize pixels(70, 46);
    QImage texture(12, 10, QImage::Format_ARGB32_Premultiplied);
    texture.fill(QColor(120, 130, 140));
    if (!context.beginFrame(pixels, nullptr) || !renderer.setScreenshotImage(texture)
        || !renderer.setBackgroundImage(texture) || !renderer.setAnnotationImage(texture, {}))
        return;
    SceneRenderParams params = liveViewParams();
    params.imageSize = QSizeF(40, 30);
    params.styling.shadow.radius = 8;
    params.styling.shadow.opacity = 0.5;
    params.styling.cornerRadius = 6;
    params.showsTransparencyChecker = true;
    params.dimAmount = 0.3f;
    renderer.encodeScene(params, pixels, 0, 0, SceneRenderer::RowOrder::TopDown);
    params.isPerspective = true;
    params.drawsAnnotations = true;
    renderer.encodeScene(params, pixels, 0.3f, -0.2f, SceneRenderer::RowOrder::TopDown);
    QImage read(pixels, QImage::Format_RGB32);
    glReadPixels(0, 0, pixels.width(), pixels.height(), GL_BGRA, GL_UNSIGNED_BYTE, read.bits());
    renderer.clearAnnotationImage();
    renderer.clearBackgroundImage();
}

} // namespace

bool CanvasView::startContextJob()
{
    if (m_contextJob.isRunning() || m_glFailed)
        return false;
    const bool needsRenderer = !m_renderer.isInitialized() && (m_editor.hasDocument() || m_contextWanted);
    std::optional<QImage> screenshot;
    if (m_editor.hasDocument() && m_editor.screenshotTextureDirty) {
        screenshot = m_editor.document()->image;
        m_editor.screenshotTextureDirty = false;
    }
    if (!needsRenderer && !screenshot)
        return false;
    // A background that changes on its own goes up with the frame; one that goes with a new
    // screenshot or a new renderer is drawn and uploaded by the job as well. The desktop
    // picture has a job of its own.
    struct BackgroundRequest {
        BackgroundStyle style;
        QSizeF imageSize;
        double scale = 1;
    };
    std::optional<BackgroundRequest> background;
    const BackgroundStyle style = m_editor.styling().background;
    if (m_editor.hasDocument() && m_editor.backgroundTextureDirty
        && !(std::holds_alternative<WallpaperBackground>(style.value) && m_wallpaper)) {
        background = BackgroundRequest{style, m_editor.document()->imagePointSize(), m_editor.document()->screenScale};
        m_editor.backgroundTextureDirty = false;
        ++m_backgroundGeneration; // a desktop picture still being prepared is out of date
    }
    // The context and the renderer belong to the job until it has finished: everything here
    // that touches them waits for it or leaves the frame for later.
    m_contextJobTaken = false;
    m_contextJob.setFuture(QtConcurrent::run([this, needsRenderer, screenshot, background]() {
        ContextJobResult result;

        if (needsRenderer && !m_context.create(&result.error))
            return result;
        OffscreenContext::CurrentScope scope(m_context);
        if (!scope.isCurrent()) {
            result.error = QStringLiteral("the context cannot be made current");
            return result;
        }
        if (needsRenderer) {
            if (!m_renderer.initialize(&result.error))
                return result;
            result.madeRenderer = true;
            warmUp(m_context, m_renderer);
        }
        if (screenshot) {
            result.uploaded = m_renderer.setScreenshotImage(*screenshot);
        }
        if (background) {
            result.backgroundAsked = true;
            if (const std::optional<QImage> raster =
                    renderBackgroundOnly(background->imageSize, background->scale, background->style, nullptr,
                                         AppConstants::previewBackgroundMaxDimension))
                result.backgroundUploaded = m_renderer.setBackgroundImage(*raster);
        }
        // Finished here, so the first frame does not wait for the copies.
        glFinish();
        return result;
    }));
    return true;
}

void CanvasView::takeContextJob()
{
    if (!m_contextJob.future().isValid() || m_contextJobTaken)
        return;
    m_contextJobTaken = true;
    const ContextJobResult result = m_contextJob.result();
    if (!result.error.isEmpty()) {
        // Said once: the canvas then shows only its backdrop.
        m_glFailed = true;
        systemLog(QStringLiteral("the canvas cannot draw: ") + result.error);
        return;
    }
    if (result.madeRenderer) {
        // Whatever else the scene shows goes up with the first frame.
        m_editor.backgroundTextureDirty = m_editor.backgroundTextureDirty || !result.backgroundAsked;
        m_editor.annotationTextureDirty = true;
    }
    if (result.backgroundUploaded) {
        ++m_builds.background;
        ++m_fillGeneration;
    }
    if (result.uploaded)
        ++m_builds.screenshot;
    else if (m_editor.hasDocument())
        m_editor.screenshotTextureDirty = true;
}

bool CanvasView::ensureRenderer()
{
    if (m_contextJob.isRunning())
        m_contextJob.waitForFinished();
    takeContextJob();
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
    const bool checker = std::holds_alternative<TransparentBackground>(m_editor.styling().background.value);
    if (checker != m_showsChecker)
        ++m_fillGeneration;
    m_showsChecker = checker;
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
        ++m_fillGeneration;
        ++m_builds.background;
    }
    // A flat card shows its annotations in the annotation layer; the texture waits for a tilt.
    if (m_editor.annotationTextureDirty && m_editor.sceneState().isPerspective) {
        m_editor.annotationTextureDirty = false;
        ++m_builds.annotation;
        const std::optional<AnnotationRaster> raster = document->annotations.empty()
            ? std::nullopt
            : renderAnnotationsOnly(document->annotations, document->imagePointSize(), document->screenScale,
                                    &document->image);
        if (raster)
            m_renderer.setAnnotationImage(raster->image, raster->rect);
        else
            m_renderer.clearAnnotationImage();
    }
}

bool CanvasView::copyFill(const SceneRenderParams& params, QSize pixels)
{
    GLint frame = 0;
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &frame);
    const float cell = params.scaleFactor;
    auto current = std::find_if(m_fills.begin(), m_fills.end(), [&](const Fill& f) {
        return f.framebuffer && f.size == pixels && f.generation == m_fillGeneration && f.checker == m_showsChecker
            && f.cell == cell;
    });
    if (current == m_fills.end()) {
        // The stale copy of this size, else the one of another size used longest ago.
        current = std::find_if(m_fills.begin(), m_fills.end(), [&](const Fill& f) { return f.size == pixels; });
        if (current == m_fills.end())
            current = std::min_element(m_fills.begin(), m_fills.end(),
                                       [](const Fill& a, const Fill& b) { return a.lastUse < b.lastUse; });
        Fill& fill = *current;
        while (glGetError() != GL_NO_ERROR) {
        }
        if (fill.size != pixels) {
            if (!fill.texture)
                glGenTextures(1, &fill.texture);
            glBindTexture(GL_TEXTURE_2D, fill.texture);
            glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, pixels.width(), pixels.height(), 0, GL_RGBA, GL_UNSIGNED_BYTE,
                         nullptr);
            glBindTexture(GL_TEXTURE_2D, 0);
            if (!fill.framebuffer)
                glGenFramebuffers(1, &fill.framebuffer);
            glBindFramebuffer(GL_FRAMEBUFFER, fill.framebuffer);
            glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, fill.texture, 0);
            const bool complete = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
            glBindFramebuffer(GL_FRAMEBUFFER, GLuint(frame));
            if (!complete || glGetError() != GL_NO_ERROR) {
                releaseFills();
                return false;
            }
            fill.size = pixels;
        }
        glBindFramebuffer(GL_FRAMEBUFFER, fill.framebuffer);
        const QColor backdrop = Theme::canvasBackdrop();
        glClearColor(backdrop.redF(), backdrop.greenF(), backdrop.blueF(), 1);
        glClear(GL_COLOR_BUFFER_BIT);
        SceneRenderParams fillOnly = params;
        fillOnly.drawsCard = false;
        m_renderer.encodeScene(fillOnly, pixels, 0, 0, SceneRenderer::RowOrder::TopDown);
        glBindFramebuffer(GL_FRAMEBUFFER, GLuint(frame));
        fill.generation = m_fillGeneration;
        fill.checker = m_showsChecker;
        fill.cell = cell;
    }
    current->lastUse = ++m_fillUses;
    // Same size and format: the driver copies the memory rather than drawing.
    glBindFramebuffer(GL_READ_FRAMEBUFFER, current->framebuffer);
    glBlitFramebuffer(0, 0, pixels.width(), pixels.height(), 0, 0, pixels.width(), pixels.height(),
                      GL_COLOR_BUFFER_BIT, GL_NEAREST);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, GLuint(frame));
    return true;
}

void CanvasView::releaseFills()
{
    for (Fill& fill : m_fills) {
        if (fill.framebuffer)
            glDeleteFramebuffers(1, &fill.framebuffer);
        if (fill.texture)
            glDeleteTextures(1, &fill.texture);
        fill = {};
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
    SceneRenderParams params = liveViewParams();
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
    QElapsedTimer phase;
    phase.start();
    const auto lap = [&phase] { return double(phase.nsecsElapsed()) / 1e6; };
    refreshDirtyTextures();
    glFinish();
    m_timings.textures = lap();

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
    const double pixelsPerPoint = dpr * double(target.height()) / pixels.height();
    SceneRenderParams params = frameParams(m_easing.currentYaw, m_easing.currentPitch, target, pixelsPerPoint);
    params.isQuick = preview;
    if (copyFill(params, target)) {
        params.drawsFill = false;
    } else {
        const QColor backdrop = Theme::canvasBackdrop();
        glClearColor(backdrop.redF(), backdrop.greenF(), backdrop.blueF(), 1);
        glClear(GL_COLOR_BUFFER_BIT);
    }
    m_renderer.encodeScene(params, target, m_easing.currentYaw, m_easing.currentPitch,
                           SceneRenderer::RowOrder::TopDown);
    glFinish();
    m_timings.draw = lap() - m_timings.textures;

    // Read as BGRA: on little-endian machines that is the layout of QImage's 32-bit formats,
    // so showing the frame is a plain copy. The backdrop makes every pixel opaque.
    if (m_frame.size() != target || !m_frame.isDetached())
        m_frame = QImage(target, QImage::Format_RGB32);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glPixelStorei(GL_PACK_ROW_LENGTH, GLint(m_frame.bytesPerLine() / 4));
    glReadPixels(0, 0, target.width(), target.height(), GL_BGRA, GL_UNSIGNED_BYTE, m_frame.bits());
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    m_timings.readBack = lap() - m_timings.textures - m_timings.draw;
    m_frame.setDevicePixelRatio(dpr * double(target.width()) / pixels.width());
    m_frameIsPreview = preview;
    m_frameScreenshot = m_editor.document()->baseImage.cacheKey();
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
    if (m_sceneDirty && m_editor.screenshotTextureDirty)
        startContextJob();
    if (m_sceneWaitsForFirstPaint || m_contextJob.isRunning()) {
        // The scene follows once this paint has reached the screen (the flush comes right
        // after the paint, before queued calls run), or once the job holding the context is
        // done. Until then the last frame stays if it shows the same screenshot, else the
        // backdrop.
        if (std::exchange(m_sceneWaitsForFirstPaint, false) && !m_contextJob.isRunning())
            QMetaObject::invokeMethod(this, qOverload<>(&QWidget::update), Qt::QueuedConnection);
        if (!m_editor.hasDocument() || m_editor.document()->baseImage.cacheKey() != m_frameScreenshot)
            m_frame = QImage();
    } else if (m_sceneDirty) {
        drawScene(true);
        if (!m_frame.isNull())
            Q_EMIT frameRendered();
    }
    QElapsedTimer presenting;
    presenting.start();
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
    m_timings.present = double(presenting.nsecsElapsed()) / 1e6;
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
    m_sceneWaitsForFirstPaint = true;
    m_contextWanted = true;
    startContextJob();
    updateViewport();
    layoutOverlays();
    requestFrame();
}

} // namespace pelorin
