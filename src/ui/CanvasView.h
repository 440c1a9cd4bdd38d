#pragma once

#include "render/OffscreenContext.h"
#include "render/SceneRenderer.h"

#include <QElapsedTimer>
#include <QFutureWatcher>
#include <QImage>
#include <QTimer>
#include <QWidget>

#include <array>
#include <functional>
#include <optional>

namespace pelorin {

class AnnotationOverlayView;
class CanvasInputLayer;
class ComponentOverlayView;
class ShimmerView;
class CopyConfirmation;
class EditorViewModel;
class EmptyStateView;
class ExportFrameView;
class ReturnTo2DButton;
class SceneControlsView;

// The editor's canvas: the card scene drawn with SceneRenderer whenever something asks for a
// frame (never continuously, except while the tilt eases towards its target), with its layers
// on top — the flat annotations, the return-to-2D button, the export frame and the scene
// controls — and the navigation input layer watching all of them. Without a document it
// shows the empty state instead.
//
// The scene is drawn in an OpenGL context of the canvas's own, the same kind the export uses,
// and shown as an image. A QOpenGLWidget would have the toolkit composite the whole window
// through OpenGL on every frame, which on a software rasteriser costs several times the scene
// itself; this way a frame costs the scene, and the layers repaint without redrawing it.
class CanvasView : public QWidget {
    Q_OBJECT
public:
    using WallpaperProvider = std::function<std::optional<QImage>()>;

    explicit CanvasView(EditorViewModel& editor, QWidget* parent = nullptr);
    ~CanvasView() override;

    // The desktop picture for the wallpaper background; asked off the GUI thread.
    void setWallpaperProvider(WallpaperProvider provider) { m_wallpaper = std::move(provider); }

    // Asks for a new frame of the scene.
    void requestFrame();
    // The scene at full resolution, as the canvas shows it once it is at rest (drawn now if the
    // last frame was a quick one), without the layers over it.
    QImage grabFramebuffer();

    // The angles drawn in the last frame and whether the easing still wants frames.
    float displayedYaw() const { return m_easing.currentYaw; }
    float displayedPitch() const { return m_easing.currentPitch; }
    bool isEasing() const { return m_easingActive; }
    // The last frame was a quick one drawn at reduced resolution during an interaction; a full
    // frame follows once the interaction pauses.
    bool isShowingPreview() const { return m_frameIsPreview; }
    // A wallpaper background is being prepared off the GUI thread.
    bool isPreparingBackground() const { return m_backgroundJob.isRunning(); }

    // How often each texture was rebuilt, for checking that edits rebuild only what they touch.
    struct TextureBuilds {
        int screenshot = 0;
        int background = 0;
        int annotation = 0;
    };
    TextureBuilds textureBuilds() const { return m_builds; }
    int framesDrawn() const { return m_frames; }
    // Where the last scene frame spent its time, in milliseconds, for the benchmarks.
    struct FrameTimings {
        double textures = 0; // uploads of changed textures
        double draw = 0;     // shading, up to the last pixel written
        double readBack = 0; // the frame into the image the window shows
        double present = 0;  // the image into the window's backing store
    };
    FrameTimings lastFrameTimings() const { return m_timings; }

    AnnotationOverlayView* annotationOverlay() const { return m_annotationLayer; }
    ReturnTo2DButton* returnTo2DButton() const { return m_returnButton; }
    ShimmerView* shimmer() const { return m_shimmer; }
    ComponentOverlayView* componentOverlay() const { return m_componentOverlay; }
    ExportFrameView* exportFrameView() const { return m_exportFrame; }
    SceneControlsView* sceneControls() const { return m_sceneControls; }
    EmptyStateView* emptyState() const { return m_emptyState; }
    CanvasInputLayer* inputLayer() const { return m_input; }
    CopyConfirmation* copyConfirmation() const { return m_copyConfirmation; }

Q_SIGNALS:
    // A new frame of the scene was drawn and is being shown.
    void frameRendered();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // Starts a job on a worker thread that makes the GL context and the shading programs if
    // there are none yet, and uploads a new screenshot, so that neither holds up the
    // window's paints; false if there is nothing to do or a job is running.
    bool startContextJob();
    // Takes over what the finished job made; safe to call more than once.
    void takeContextJob();
    // Frees the context, its textures and the last frame (kept while a document is open).
    void releaseGraphics();
    bool ensureRenderer();
    // Rebuilds the textures whose editor flags are set; runs at the start of every frame, with
    // the canvas's own GL context current (the textures live there).
    void refreshDirtyTextures();
    void drawScene(bool preview);
    void rebuildBackground();
    // Puts the fill behind the card (backdrop, checker, background) into the bound frame from
    // a kept copy, drawing the copy first if it is missing or stale; false if no copy can be
    // kept, and the scene then draws its fill itself.
    bool copyFill(const SceneRenderParams& params, QSize pixels);
    void releaseFills();
    SceneRenderParams frameParams(float yaw, float pitch, const QSize& pixels, double pixelsPerPoint) const;
    void noteChange();
    bool wantsPreview(qint64 nowMs) const;
    void updateViewport();
    void layoutOverlays();
    void syncDocumentState();

    EditorViewModel& m_editor;
    OffscreenContext m_context;
    SceneRenderer m_renderer;
    bool m_glFailed = false;
    // The context is current on the worker while the job runs and released when it ends.
    struct ContextJobResult {
        QString error;
        bool madeRenderer = false;
        bool uploaded = false;
        bool backgroundAsked = false;
        bool backgroundUploaded = false;
    };
    QFutureWatcher<ContextJobResult> m_contextJob;
    bool m_contextJobTaken = false;
    // Made without a document too: a capture started or the window opened.
    bool m_contextWanted = false;
    // The first paint after the window was shown draws the backdrop and leaves the scene to
    // the next one, so the window's chrome appears without waiting for it.
    bool m_sceneWaitsForFirstPaint = true;
    RotationEasing m_easing;
    bool m_easingActive = false;
    QElapsedTimer m_clock;
    bool m_showsChecker = false;
    WallpaperProvider m_wallpaper;
    QFutureWatcher<std::optional<QImage>> m_backgroundJob;
    std::optional<QImage> m_preparedBackground;
    int m_backgroundGeneration = 0;
    TextureBuilds m_builds;
    int m_frames = 0;
    // The fill is the same for every frame of a size until the background changes; two sizes
    // are kept, the full frame's and the quick frame's, as drags alternate between them.
    struct Fill {
        unsigned framebuffer = 0;
        unsigned texture = 0;
        QSize size;
        int generation = -1;
        bool checker = false;
        float cell = 0;
        quint64 lastUse = 0;
    };
    std::array<Fill, 2> m_fills;
    int m_fillGeneration = 0;
    quint64 m_fillUses = 0;
    FrameTimings m_timings;

    // The last frame of the scene, in device pixels (about a fifth of them for a quick frame).
    QImage m_frame;
    bool m_frameIsPreview = false;
    qint64 m_frameScreenshot = 0; // the document's screenshot the frame shows

    bool m_sceneDirty = true;
    // Continuous interaction (a slider drag, a pan, a turning card) draws quick frames.
    qint64 m_lastChangeMs = -1000;
    bool m_changeIsContinuous = false;
    QTimer m_refine;

    AnnotationOverlayView* m_annotationLayer;
    ReturnTo2DButton* m_returnButton;
    ShimmerView* m_shimmer;
    ComponentOverlayView* m_componentOverlay;
    ExportFrameView* m_exportFrame;
    SceneControlsView* m_sceneControls;
    EmptyStateView* m_emptyState;
    CopyConfirmation* m_copyConfirmation;
    CanvasInputLayer* m_input;
};

} // namespace pelorin
