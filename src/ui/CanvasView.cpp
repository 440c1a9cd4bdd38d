// libepoxy must come before any Qt OpenGL header.
#include <epoxy/gl.h>

#include "ui/CanvasView.h"

#include "core/AppConstants.h"
#include "core/ViewState.h"
#include "editor/EditorViewModel.h"
#include "platform/SystemLog.h"
#include "render/ImageComposition.h"
#include "ui/AnnotationLayer.h"
#include "ui/CanvasInputLayer.h"
#include "ui/CopyConfirmation.h"
#include "ui/EmptyStateView.h"
#include "ui/ExportFrameView.h"
#include "ui/ReturnTo2DButton.h"
#include "ui/SceneControlsView.h"

#include <QOpenGLContext>
#include <QSurfaceFormat>
#include <QtConcurrent>

#include <cmath>

namespace pelorin {

using namespace CanvasLimits;

namespace {

// Changes closer together than this belong to one continuous interaction.
constexpr qint64 continuousGapMs = 150;
// Quick frames have this share of the pixels along each side.
constexpr double previewScale = 0.5;

} // namespace

CanvasView::CanvasView(EditorViewModel& editor, QWidget* parent)
    : QOpenGLWidget(parent)
    , m_editor(editor)
{
    QSurfaceFormat format = QSurfaceFormat::defaultFormat();
    format.setVersion(3, 3);
    format.setProfile(QSurfaceFormat::CoreProfile);
    setFormat(format);
    setMinimumSize(240, 180);
    m_clock.start();

    // Stacked bottom to top in the order they are made.
    m_annotationLayer = new AnnotationLayer(editor, this);
    m_returnButton = new ReturnTo2DButton(editor, this);
    m_exportFrame = new ExportFrameView(editor, this);
    m_sceneControls = new SceneControlsView(editor, this);
    m_emptyState = new EmptyStateView(editor, this);
    m_copyConfirmation = new CopyConfirmation(editor, this);
    m_input = new CanvasInputLayer(editor, this);

    const auto redraw = [this] { update(); };
    for (auto signal : {&EditorViewModel::redrawRequested, &EditorViewModel::textureRefreshRequested,
                        &EditorViewModel::sceneStateChanged, &EditorViewModel::isRotatingGestureChanged})
        connect(&m_editor, signal, this, redraw);
    for (auto signal : {&EditorViewModel::stylingChanged, &EditorViewModel::canvasTransformChanged}) {
        connect(&m_editor, signal, this, [this] {
            noteChange();
            update();
        });
    }
    m_refine.setSingleShot(true);
    m_refine.setInterval(int(continuousGapMs));
    connect(&m_refine, &QTimer::timeout, this, redraw);
    connect(&m_editor, &EditorViewModel::documentChanged, this, [this] {
        syncDocumentState();
        update();
    });
    connect(&m_backgroundJob, &QFutureWatcher<std::optional<QImage>>::finished, this, [this] {
        const int generation = m_backgroundJob.property("generation").toInt();
        if (generation != m_backgroundGeneration || !m_backgroundJob.future().isValid())
            return;
        if (std::optional<QImage> image = m_backgroundJob.result())
            m_preparedBackground = std::move(image);
        update();
    });
    syncDocumentState();
}

CanvasView::~CanvasView()
{
    releaseGl();
    m_backgroundJob.waitForFinished();
}

void CanvasView::initializeGL()
{
    connect(context(), &QOpenGLContext::aboutToBeDestroyed, this, &CanvasView::releaseGl, Qt::UniqueConnection);
    QString error;
    if (!m_renderer.initialize(&error)) {
        m_glFailed = true;
        systemLog(QStringLiteral("the canvas cannot draw: ") + error);
        return;
    }
    // A new context has none of the old textures.
    m_editor.screenshotTextureDirty = true;
    m_editor.backgroundTextureDirty = true;
    m_editor.annotationTextureDirty = true;
    refreshDirtyTextures();
}

void CanvasView::releaseGl()
{
    if (!m_renderer.isInitialized() || !context())
        return;
    makeCurrent();
    // Once the context is gone there is nothing left to release, and no GL call may be made.
    if (QOpenGLContext::currentContext() == context()) {
        m_renderer.releaseResources();
        releasePreviewTarget();
    }
    doneCurrent();
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

void CanvasView::paintGL()
{
    const QColor backdrop = Theme::canvasBackdrop();
    glClearColor(backdrop.redF(), backdrop.greenF(), backdrop.blueF(), 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    m_lastFrameWasPreview = false;
    if (!m_editor.hasDocument() || !m_renderer.isInitialized())
        return;
    refreshDirtyTextures();

    const double s = devicePixelRatioF();
    const QSize pixels(qRound(width() * s), qRound(height() * s));
    if (pixels.width() < 1 || pixels.height() < 1)
        return;
    const RotationTargets targets = m_editor.rotationTargets();
    // After a pause the first frame eases from a standing start instead of counting the idle
    // time (at most 0.1 s) as animation time, which would skip most of the movement.
    if (!m_easingActive)
        m_easing.hasDrawn = false;
    m_easingActive = m_easing.step(targets.yaw, targets.pitch, double(m_clock.nsecsElapsed()) / 1e9);
    const SceneRenderParams params = frameParams(m_easing.currentYaw, m_easing.currentPitch, pixels, s);
    if (wantsPreview(m_clock.elapsed())) {
        drawPreview(params, pixels);
        m_lastFrameWasPreview = true;
        m_refine.start();
    } else {
        m_renderer.encodeScene(params, pixels, m_easing.currentYaw, m_easing.currentPitch);
    }
    ++m_frames;
    if (m_easingActive)
        update();
    Q_EMIT frameRendered();
}

void CanvasView::drawPreview(const SceneRenderParams& full, QSize pixels)
{
    // The scene at a quarter of the pixels, stretched over the widget. A software rasteriser
    // spends nearly all of a frame shading pixels, so this is what keeps drags and the easing
    // of the tilt fluid; the full frame replaces it as soon as things come to rest.
    const QSize small(std::max(1, qRound(pixels.width() * previewScale)),
                      std::max(1, qRound(pixels.height() * previewScale)));
    if (small != m_previewSize) {
        releasePreviewTarget();
        glGenTextures(1, &m_previewColor);
        glBindTexture(GL_TEXTURE_2D, m_previewColor);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, small.width(), small.height(), 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glBindTexture(GL_TEXTURE_2D, 0);
        glGenFramebuffers(1, &m_previewFramebuffer);
        glBindFramebuffer(GL_FRAMEBUFFER, m_previewFramebuffer);
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, m_previewColor, 0);
        m_previewSize = small;
    }
    const GLuint target = defaultFramebufferObject();
    glBindFramebuffer(GL_FRAMEBUFFER, m_previewFramebuffer);
    if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
        // No quick frame to be had: draw the full one.
        glBindFramebuffer(GL_FRAMEBUFFER, target);
        m_renderer.encodeScene(full, pixels, m_easing.currentYaw, m_easing.currentPitch);
        return;
    }
    const QColor backdrop = Theme::canvasBackdrop();
    glClearColor(backdrop.redF(), backdrop.greenF(), backdrop.blueF(), 1);
    glClear(GL_COLOR_BUFFER_BIT);
    SceneRenderParams params = full;
    params.scaleFactor = float(full.scaleFactor * double(small.height()) / pixels.height());
    m_renderer.encodeScene(params, small, m_easing.currentYaw, m_easing.currentPitch);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, m_previewFramebuffer);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, target);
    glBlitFramebuffer(0, 0, small.width(), small.height(), 0, 0, pixels.width(), pixels.height(), GL_COLOR_BUFFER_BIT,
                      GL_LINEAR);
    glBindFramebuffer(GL_FRAMEBUFFER, target);
}

void CanvasView::releasePreviewTarget()
{
    if (m_previewFramebuffer)
        glDeleteFramebuffers(1, &m_previewFramebuffer);
    if (m_previewColor)
        glDeleteTextures(1, &m_previewColor);
    m_previewFramebuffer = 0;
    m_previewColor = 0;
    m_previewSize = {};
}

void CanvasView::syncDocumentState()
{
    const bool hasDocument = m_editor.hasDocument();
    m_emptyState->setVisible(!hasDocument);
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
    m_exportFrame->setGeometry(whole);
    m_emptyState->setGeometry(whole);
    m_returnButton->place();
    m_sceneControls->place();
    m_copyConfirmation->place();
}

void CanvasView::resizeEvent(QResizeEvent* event)
{
    QOpenGLWidget::resizeEvent(event);
    updateViewport();
    layoutOverlays();
    update();
}

void CanvasView::showEvent(QShowEvent* event)
{
    QOpenGLWidget::showEvent(event);
    updateViewport();
    layoutOverlays();
}

} // namespace pelorin
