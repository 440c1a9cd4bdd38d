#pragma once

#include "core/Annotation.h"
#include "core/DetectedComponent.h"
#include "core/DimHoles.h"
#include "core/Styling.h"
#include "core/ViewState.h"
#include "editor/AnnotationDefaultsStore.h"
#include "editor/AnnotationHistory.h"
#include "editor/ClipboardService.h"
#include "editor/EditorKeyMap.h"
#include "editor/FileExportService.h"
#include "editor/FinalRender.h"
#include "editor/LastScreenshotStore.h"
#include "editor/PackedImage.h"
#include "editor/ScreenCaptureService.h"
#include "editor/ScreenshotDocument.h"
#include "editor/Uploader.h"

#include <QColor>
#include <QFuture>
#include <QObject>
#include <QPointer>
#include <QRectF>
#include <QTimer>
#include <QUuid>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

class QMimeData;

namespace pelorin {

class EditorWindowHost;
class NotificationCenter;
class OffscreenSceneRenderer;
class Pasteboard;
class SavePanel;
class SettingsStore;
class TokenStore;
class VisionAnalysisService;

enum class ExportFollowUp { stay, close };
enum class CopyClipboardContent { image, url };

// The angles the renderer eases the displayed tilt towards.
struct RotationTargets {
    float yaw = 0;
    float pitch = 0;
};

// The single editor state object: the open document, the style applied to it, the tool and
// selection, the view state of the canvas and the flags telling the renderer what to rebuild.
// Members are spread over one source file per concern (EditorDocument.cpp, EditorStyling.cpp,
// EditorCanvas.cpp, EditorKeys.cpp, EditorAnnotations.cpp, EditorArrows.cpp, EditorDetection.cpp).
class EditorViewModel : public QObject {
    Q_OBJECT
    Q_PROPERTY(std::optional<pelorin::ScreenshotDocument> document READ document NOTIFY documentChanged)
    Q_PROPERTY(pelorin::StylingConfiguration styling READ styling WRITE setStyling NOTIFY stylingChanged)
    Q_PROPERTY(pelorin::BrowserChromeSettings browserChrome READ browserChrome WRITE setBrowserChrome NOTIFY browserChromeChanged)
    Q_PROPERTY(std::optional<pelorin::AnnotationTool> selectedTool READ selectedTool WRITE setSelectedTool NOTIFY selectedToolChanged)
    Q_PROPERTY(QUuid selectedAnnotationId READ selectedAnnotationId WRITE setSelectedAnnotationId NOTIFY selectedAnnotationIdChanged)
    Q_PROPERTY(QColor annotationColor READ annotationColor WRITE setAnnotationColor NOTIFY annotationColorChanged)
    Q_PROPERTY(pelorin::CanvasTransform canvasTransform READ canvasTransform NOTIFY canvasTransformChanged)
    Q_PROPERTY(std::optional<QRectF> exportFrameRect READ exportFrameRect WRITE setExportFrameRect NOTIFY exportFrameRectChanged)
    Q_PROPERTY(pelorin::SceneState sceneState READ sceneState WRITE setSceneState NOTIFY sceneStateChanged)
    Q_PROPERTY(bool isRotatingGesture READ isRotatingGesture NOTIFY isRotatingGestureChanged)
    Q_PROPERTY(bool isAnalyzing READ isAnalyzing WRITE setIsAnalyzing NOTIFY isAnalyzingChanged)
    Q_PROPERTY(bool showComponentOverlay READ showComponentOverlay WRITE setShowComponentOverlay NOTIFY showComponentOverlayChanged)
    Q_PROPERTY(bool isCapturing READ isCapturing WRITE setIsCapturing NOTIFY isCapturingChanged)
    Q_PROPERTY(bool showingExportOptions READ showingExportOptions WRITE setShowingExportOptions NOTIFY showingExportOptionsChanged)
    Q_PROPERTY(QString errorMessage READ errorMessage WRITE setErrorMessage NOTIFY errorMessageChanged)
    Q_PROPERTY(int imageCopiedPulse READ imageCopiedPulse NOTIFY imageCopiedPulseChanged)
    Q_PROPERTY(bool isDetectingElements READ isDetectingElements NOTIFY isDetectingElementsChanged)
    Q_PROPERTY(bool stylingIsDirty READ stylingIsDirty NOTIFY stylingIsDirtyChanged)

public:
    EditorViewModel(SettingsStore& settings, NotificationCenter& notifications, QObject* parent = nullptr);
    ~EditorViewModel() override;

    void setWindowHost(EditorWindowHost* host) { m_windowHost = host; }
    EditorWindowHost* windowHost() const { return m_windowHost; }
    void setLastScreenshotStore(LastScreenshotStore store) { m_lastScreenshotStore = std::move(store); }
    // Backing scale of the main screen; 2 when there is no screen.
    void setScreenScaleProvider(std::function<double()> provider) { m_screenScale = std::move(provider); }
    // The desktop picture for the wallpaper background (asked on every render).
    void setWallpaperProvider(std::function<std::optional<QImage>()> provider) { m_wallpaper = std::move(provider); }
    void setPasteboard(Pasteboard& pasteboard) { m_clipboardService = ClipboardService(pasteboard); }
    void setSavePanel(SavePanel* panel) { m_savePanel = panel; }
    void setUploader(Uploader* uploader) { m_uploader = uploader; }
    // Shows a written file in the file manager (the debug capture uses it).
    void setFileRevealer(std::function<void(const QString&)> reveal) { m_revealFile = std::move(reveal); }

    // --- Document (EditorDocument.cpp)
    const std::optional<ScreenshotDocument>& document() const { return m_document; }
    bool hasDocument() const { return m_document.has_value(); }
    void loadImage(const QUrl& url);
    void loadImage(const QImage& image, SourceType sourceType, bool persistAsLast);
    void clearDocument();
    // A drop on the editor window: a file URL is preferred over image data. False refuses the drop.
    bool handleDroppedFile(const QMimeData& data);
    void closeEditorWindow();
    void handleOpenLastScreenshot();
    // The last document that was closed or replaced (image, style, annotations, export frame
    // and undo history) is kept while the app runs; this brings it back, keeping the open
    // one in its place. Without one it says so.
    void reopenClosedDocument();
    bool hasClosedDocument() const { return m_closedDocument.has_value(); }
    void handleDroppedMenuBarFile(const QVariant& object);
    // Finishes when the background write of the last screenshot has ended.
    QFuture<void> pendingLastScreenshotSave() const { return m_lastScreenshotSave; }

    // Capture entry points (EditorCapture.cpp): each starts the capture flow and returns at
    // once; a successful capture replaces the document.
    void captureNewScreenshot();
    void captureWindow();
    void captureFullScreen() { capture({CaptureMode::fullScreen, 0, std::nullopt}); }
    void captureLastRegion() { capture({CaptureMode::lastRegion, 0, std::nullopt}); }
    // Any mode, with the stored delay unless the request names one. The last region of the
    // current monitor layout; a region to select when none was captured there yet.
    void capture(const CaptureRequest& request);
    // The "triggerCapture" message: {"mode": name, "monitor": N, "delay": seconds}.
    void handleCaptureMessage(const QVariant& object);
    // Snapshots the app's own window to the clipboard and a file in the temporary folder.
    void captureSelf();
    ScreenCaptureService screenCaptureService() const;

    // --- Styling (EditorStyling.cpp)
    const StylingConfiguration& styling() const { return m_styling; }
    void setStyling(const StylingConfiguration& styling);
    const BrowserChromeSettings& browserChrome() const { return m_browserChrome; }
    void setBrowserChrome(const BrowserChromeSettings& settings);
    void setBackground(BackgroundPreset preset);
    void setBackgroundToWallpaper();
    void setPadding(double value);
    void resetAllStyling();
    bool stylingIsDirty() const;
    // The style as undo keeps it. Every style change the user makes while a document is open
    // (the setters above, tilt, Reset All) is an undo step in the same history as the
    // annotations; see AnnotationHistory for what makes one step.
    StyleSnapshot styleSnapshot() const;
    void loadPersistedStyling();
    void persistStyling();
    void persistBrowserChrome();

    // --- Composition and export (EditorExport.cpp)
    // The exported image: the canvas scene rendered off screen at export resolution and
    // cropped to the export frame: exactly the frame's pixel size as the size tag shows it
    // (OffscreenSceneRenderer::pixelSizeFor). None when there is no document or rendering
    // fails; renderError() then says why.
    std::optional<QImage> renderFinalImage();
    // The same picture written to `path` (type by extension, atomically). A PNG goes from the
    // renderer to the file a strip of rows at a time, without a whole image in between.
    // Throws ExportError; renderError() says why a render failed.
    void saveFinalImage(const QString& path);
    QString renderError() const { return m_renderError; }
    double exportScale(QSizeF viewport) const;
    std::optional<QRectF> cardRect(QSizeF viewport) const;
    QRectF derivedExportFrame(QSizeF viewport) const;
    // With no frame set, the card and its padding are exported whole even where the canvas
    // cuts them off (a narrow canvas, a large screenshot at the smallest zoom): this is the
    // size in points they are rendered at then, as on a canvas just large enough. None when
    // a frame is set or the canvas shows them whole.
    std::optional<QSizeF> uncutExportSize(QSizeF viewport) const;
    void clampExportFrame();
    DimState currentDimState() const;
    // The shape being drawn or dragged (no id: one that does not exist yet).
    void setLiveDimHole(std::optional<QUuid> id, const DimHoleSpec& hole);
    void clearLiveDimHole();
    bool hasShapeAnnotation() const;

    // --- Copy, save, upload (EditorOutput.cpp); each does nothing without a document.
    QCoro::Task<void> copyViaShortcut();
    QCoro::Task<void> saveViaShortcut();
    QCoro::Task<void> saveAs();
    QCoro::Task<UploadedFile> uploadRendered(QImage image);
    void uploadInBackground(const QImage& image);
    bool uploadsActive() const;

    // --- Annotations (EditorAnnotations.cpp)
    //
    // Every change of the annotation list goes through one commit path: the list is changed,
    // the annotation texture is flagged, annotationsChanged is emitted and the list as it was
    // is kept for undo. updateDocumentAnnotation is that path for one annotation (an inspector
    // edit, a move or resize on the canvas, a text commit) and also remembers its style as the
    // default for new annotations of its kind.
    //
    // Coalescing: between beginAnnotationEditRun(id) and endAnnotationEditRun() every change
    // is one undo step, so a slider dragged through fifty values undoes in one go. Call begin
    // when the slider is pressed and end when it is released; single edits need neither. Undo,
    // redo and a new document end a run that is still open.
    std::optional<AnnotationTool> selectedTool() const { return m_selectedTool; }
    // Sets the tool as it stands; selectTool is what the user's choice runs.
    void setSelectedTool(std::optional<AnnotationTool> tool);
    // Flattens a tilted card first (annotations are edited on a flat card), then sets the
    // tool and clears the selection.
    void selectTool(std::optional<AnnotationTool> tool);
    QUuid selectedAnnotationId() const { return m_selectedAnnotationId; }
    // Selecting an annotation makes its colour the current annotation colour.
    void setSelectedAnnotationId(const QUuid& id);
    std::optional<Annotation> selectedAnnotation() const;
    QColor annotationColor() const { return m_annotationColor; }
    // Recolours the selected annotation, then remembers the colour for new annotations.
    void setAnnotationColor(const QColor& color);
    void updateSelectedAnnotationColor();
    AnnotationDefaultsStore& annotationDefaults() { return m_annotationDefaults; }
    // Installed by the quick-annotation chain; returns true when it used the Escape key.
    void setQuickChainEscapeHandler(std::function<bool()> handler) { m_quickChainEscapeHandler = std::move(handler); }
    bool hasQuickChainEscapeHandler() const { return bool(m_quickChainEscapeHandler); }

    // New, selected records in the remembered style and the current colour; not yet added.
    TextAnnotation makeTextAnnotation(QPointF at) const;
    ArrowAnnotation makeArrowAnnotation(QPointF from, QPointF to) const;
    ShapeAnnotation makeShapeAnnotation(const QRectF& rect) const;
    RedactAnnotation makeRedactAnnotation(const QRectF& rect, RedactStyle style = RedactStyle::solid) const;
    // A pen line in the annotation colour, or a highlighter band in the highlighter's own colour.
    StrokeAnnotation makeStrokeAnnotation(StrokeKind kind, const std::vector<QPointF>& points) const;
    // A step centred on `centre`, numbered one above the highest step of the document.
    StepAnnotation makeStepAnnotation(QPointF centre) const;
    // Adds on top of the others and selects it; the tool goes back to the pointer unless kept.
    void addAnnotation(const Annotation& annotation, bool keepToolArmed = false);
    // Arrows attached to it are first fixed where they are drawn, so they do not jump.
    void removeAnnotation(const QUuid& id);
    // Writes one annotation back by id (nothing when none has it) and remembers its style.
    void updateDocumentAnnotation(const Annotation& annotation);
    void beginAnnotationEditRun(const QUuid& id);
    void endAnnotationEditRun();
    // Undo and redo cover the style changes too.
    bool canUndoAnnotationChange() const { return m_annotationHistory.canUndo(); }
    bool canRedoAnnotationChange() const { return m_annotationHistory.canRedo(); }
    void undoAnnotationChange();
    void redoAnnotationChange();
    // Moves the selected annotation by `delta` points as one undoable step.
    void nudgeSelectedAnnotation(QPointF delta);
    // False when nothing is selected.
    bool deleteSelectedAnnotation();

    // --- Selection of several annotations (EditorSelection.cpp)
    //
    // selectedAnnotationId is the one the inspector shows (the last one added to the
    // selection); selectedAnnotationIds is the whole selection, in the order it was made.
    // Choosing one annotation with setSelectedAnnotationId makes it the whole selection.
    // Each operation on the selection is one undo step.
    const std::vector<QUuid>& selectedAnnotationIds() const { return m_selection; }
    bool isAnnotationSelected(const QUuid& id) const;
    void setSelectedAnnotationIds(const std::vector<QUuid>& ids);
    // Shift+click: adds the annotation to the selection, or takes it out.
    void toggleAnnotationSelected(const QUuid& id);
    void selectAllAnnotations();
    // Moves every selected annotation by `delta` points.
    void moveSelectionBy(QPointF delta);
    // Copies of the selection 10 points down and right, on top of the others; the copies
    // become the selection. Arrows between copied annotations stay tied to the copies.
    void duplicateSelection();
    // False when nothing is selected.
    bool deleteSelection();

    // --- Arrows, hit testing, live drags (EditorArrows.cpp)
    struct ArrowAttachCandidate {
        QUuid id;
        QRectF bounds; // at scale 1, not grown
        bool operator==(const ArrowAttachCandidate&) const = default;
    };
    // The topmost non-arrow annotation whose bounds grown by 8 points contain `point`.
    std::optional<ArrowAttachCandidate> arrowAttachCandidate(QPointF point, const QUuid& excludingArrowId,
                                                             const std::optional<QUuid>& excludingTarget) const;
    // The document's annotations with every arrow at its drawn end points.
    std::vector<Annotation> hitTestAnnotations() const;
    // Bounds of an arrow's target: the first non-arrow annotation with that id.
    std::optional<QRectF> attachmentBounds(const QUuid& id) const;
    // The same, but a rectangle being dragged or resized counts where it is now.
    std::optional<QRectF> liveAttachmentBounds(const QUuid& id) const;
    ArrowEndpoints liveEndpoints(const ArrowAnnotation& arrow) const;
    const std::map<QUuid, QRectF>& liveAnnotationRects() const { return m_liveAnnotationRects; }
    // None removes the entry.
    void setLiveAnnotationRect(const QUuid& id, const std::optional<QRectF>& rect);
    // An arrow whose start (or end) was dragged by `translation`: the drawn points become
    // the stored ones and the moved end attaches to what lies under it, if anything.
    ArrowAnnotation arrowWithMovedEnd(const ArrowAnnotation& arrow, bool start, QPointF translation) const;
    // An arrow moved as a whole: an end stays attached only if it still lands on its target.
    ArrowAnnotation arrowMovedBy(const ArrowAnnotation& arrow, QPointF translation) const;

    // Puts found elements in place as detection would (tests inject them this way).
    void setLocalDetectedElements(std::vector<QRectF> elements);

    // --- Canvas view state (EditorCanvas.cpp)
    const CanvasTransform& canvasTransform() const { return m_canvasTransform; }
    void setZoomLevel(double zoom);
    void setCanvasOffset(const QSizeF& offset);
    QSizeF viewportSize() const { return m_viewportSize; }
    void updateViewportSize(const QSizeF& size);
    bool needsZoomToFit() const { return m_needsZoomToFit; }
    void zoomIn();
    void zoomOut();
    void zoomToFit();
    void fitPaddedFrameIfNeeded();
    const SceneState& sceneState() const { return m_sceneState; }
    void setSceneState(const SceneState& state);
    bool isRotatingGesture() const { return m_isRotatingGesture; }
    RotationTargets rotationTargets() const { return m_rotationTargets; }
    void beginRotationGesture();
    void rotateBy(float deltaYaw, float deltaPitch);
    void endRotationGesture();
    void toggleProjection();
    void resetRotation();
    std::optional<SceneState> preAnnotateSceneState() const { return m_preAnnotateSceneState; }
    void setPreAnnotateSceneState(std::optional<SceneState> state) { m_preAnnotateSceneState = state; }
    void restorePreAnnotateSceneState();
    const std::optional<QRectF>& exportFrameRect() const { return m_exportFrameRect; }
    void setExportFrameRect(const std::optional<QRectF>& rect);

    // Renderer flags: which textures must be rebuilt before the next frame.
    bool screenshotTextureDirty = true;
    bool backgroundTextureDirty = true;
    bool annotationTextureDirty = true;

    // --- Analysis and detection state
    const std::vector<DetectedComponent>& detectedComponents() const { return m_detectedComponents; }
    void setDetectedComponents(std::vector<DetectedComponent> components);
    bool isAnalyzing() const { return m_isAnalyzing; }
    void setIsAnalyzing(bool value);
    bool showComponentOverlay() const { return m_showComponentOverlay; }
    void setShowComponentOverlay(bool value);
    bool isDetectingElements() const { return m_isDetectingElements; }
    const std::vector<QRectF>& localDetectedElements() const { return m_localDetectedElements; }
    // Elements found on the device, cached per document (EditorDetection.cpp).
    // What the quick annotation tool offers: the analysed components' boxes when there are
    // any, else the elements found on the device.
    std::vector<QRectF> quickAnnotationElements() const;
    // Starts finding elements on the device unless they are known (or being found) for this document.
    void prepareQuickAnnotationElements();
    void resetQuickAnnotationElements();
    const std::optional<QUuid>& localDetectionDocumentId() const { return m_localDetectionDocumentId; }
    // Finishes when the running element detection has published (or dropped) its result.
    QFuture<void> pendingElementDetection() const { return m_elementDetection; }
    const std::map<QUuid, QUuid>& componentRedactions() const { return m_componentRedactions; }

    // --- Analysis (EditorAnalysis.cpp) and its components (EditorComponents.cpp)
    // The cloud session's token; the keyring's when none is set.
    void setTokenStore(TokenStore* tokens) { m_tokens = tokens; }
    // Opens the Settings window at a section ("Account").
    void setSettingsOpener(std::function<void(const QString&)> open) { m_openSettings = std::move(open); }
    // Opens a web address in the default browser.
    // Opens a web address in the default browser; false when none could be started.
    void setUrlOpener(std::function<bool(const QUrl&)> open) { m_openUrl = std::move(open); }
    VisionAnalysisService& visionService();
    // Loads what on-device Analyze needs in the background while a document is open, and
    // frees it when the editor closes, so the first Analyze does not wait for it and an idle
    // tray app does not hold it. The app sets it; without it (tests) Analyze loads on first use.
    struct AnalysisEngines {
        std::function<QFuture<void>()> prepare;
        std::function<void()> release;
    };
    void setAnalysisEngines(AnalysisEngines engines) { m_analysisEngines = std::move(engines); }
    // Whether Analyze runs on this computer ("analysisProvider" = "device") or on the server.
    bool analyzesOnDevice() const;
    void analyzeComponents();
    void toggleComponentHighlight(const QUuid& id);
    bool componentIsRedacted(const QUuid& id) const;
    void toggleComponentRedaction(const DetectedComponent& component);
    bool copyAllComponentText();
    // The component's text, else its label, on the clipboard; false when the clipboard did not take it.
    bool copyComponentText(const DetectedComponent& component);
    void searchComponentText(const QString& text);
    // What copy and search use: the text when there is some, else the label.
    static QString textOrLabel(const DetectedComponent& component);
    void clearComponentAnalysis();

    // --- Status shown by the window
    bool isCapturing() const { return m_isCapturing; }
    void setIsCapturing(bool value);
    bool showingExportOptions() const { return m_showingExportOptions; }
    void setShowingExportOptions(bool value);
    QString errorMessage() const { return m_errorMessage; } // empty: no pending error
    void setErrorMessage(const QString& message);
    void clearErrorMessage() { setErrorMessage({}); }
    int imageCopiedPulse() const { return m_imageCopiedPulse; }

    // --- Settings the editor reads (live views onto the settings store)
    bool hideWindowDuringCapture() const;
    ExportFollowUp copyFollowUp() const;
    ExportFollowUp saveFollowUp() const;
    bool uploadScreenshots() const;
    CopyClipboardContent copyClipboardContent() const;

    // --- Keys (EditorKeys.cpp)
    // Applies the editor's key map; true when the editor used the key.
    bool handleKeyPress(const EditorKeyEvent& event, bool focusIsText);
    // Watches the application's key presses aimed at the editor window.
    void installEditorKeyMonitor();

    // --- Annotation inspector (EditorAnnotationStyle.cpp) ------------------------------------------
    // What the inspector edits: the selected annotation; without one, the remembered style of
    // the armed drawing tool, as a record made from the defaults that belongs to no document.
    // None in pointer mode without a selection, and for the quick tool.
    std::optional<Annotation> inspectedAnnotation() const;
    // Applies one style change to the inspected annotation: a selected one is written back
    // into the document; either way its style becomes the default for its kind.
    void editInspectedAnnotation(const std::function<void(Annotation&)>& change);
    // Puts the inspected annotation's style back to the built-in style of its kind.
    void resetInspectedAnnotationStyle();
    // Whether the annotation's style differs from the built-in style its kind resets to.
    static bool annotationStyleIsDirty(const Annotation& annotation);
    static void resetAnnotationStyle(Annotation& annotation);
Q_SIGNALS:
    // The inspector changed the remembered style of the armed tool.
    void annotationDefaultsChanged();
    // --- (end of the annotation inspector) -----------------------------------------------------

Q_SIGNALS:
    void documentChanged();
    void stylingChanged();
    void browserChromeChanged();
    void selectedToolChanged();
    void selectedAnnotationIdChanged();
    void annotationColorChanged();
    void canvasTransformChanged();
    void exportFrameRectChanged();
    void sceneStateChanged();
    void isRotatingGestureChanged();
    void detectedComponentsChanged();
    void isAnalyzingChanged();
    void showComponentOverlayChanged();
    void isCapturingChanged();
    void showingExportOptionsChanged();
    void errorMessageChanged();
    void imageCopiedPulseChanged();
    void localDetectedElementsChanged();
    // The annotation list changed (add, remove, update, undo, redo).
    void annotationsChanged();
    // A rectangle is being dragged: attached arrows follow it.
    void liveDragChanged();
    void annotationHistoryChanged();
    void isDetectingElementsChanged();
    void stylingIsDirtyChanged();
    // A settings key the editor reads changed, from anywhere in the application.
    void settingChanged(const QString& key);
    // The canvas should draw a new frame.
    void redrawRequested();
    // The renderer should rebuild the textures whose flags are set.
    void textureRefreshRequested();
    // A capture flow started (window = true for a window capture).
    void captureRequested(bool window);
    // A screenshot is being read and will replace the document shortly.
    void imageComing();
    // The canvas should show the card flat at once, without easing (an analysis flattened it).
    void tiltResetRequested();
    // Save to Desktop wrote `path`; `desktopMissing` when there was no desktop folder and the
    // pictures folder took it.
    void imageSaved(const QString& path, bool desktopMissing);
    void closedDocumentChanged();
    // The cloud service rejected the stored token (Analyze got a 401); the token is gone.
    void cloudSessionRejected();

private:
    // Makes the style changes made in its lifetime one undo step; nested ones add nothing.
    class StyleStep {
    public:
        explicit StyleStep(EditorViewModel& editor);
        ~StyleStep();
        StyleStep(const StyleStep&) = delete;
        StyleStep& operator=(const StyleStep&) = delete;

    private:
        EditorViewModel& m_editor;
        std::optional<StyleSnapshot> m_before;
    };
    void recordStyleStep(const StyleSnapshot& before);
    // Puts back the `parts` of `style` without recording a step.
    void applyStyleParts(const StyleSnapshot& style, unsigned parts);
    void applyHistoryStep(const AnnotationHistory::Step& step);

    // The one commit path of the annotation list (see the Annotations section).
    void commitAnnotations(std::vector<Annotation> annotations);
    void setAnnotations(std::vector<Annotation> annotations);
    void dropAnnotationHistory();
    // After undo or redo: forgets selected annotations that no longer exist.
    void dropVanishedFromSelection();
    void replaceDocument(const QImage& image, std::optional<QUrl> url, SourceType sourceType, bool persistAsLast);
    void openAndShow(const QUrl& url);
    // Keeps the open document, if any, as the one Reopen Closed Screenshot brings back.
    void keepClosedDocument();
    // Resets the per-document state (tool, selection, analysis) around a new or reopened document.
    void resetDocumentState();
    void markAllTexturesDirty();
    void startElementDetection();
    void persistLastScreenshot(const QImage& image);
    void applyBrowserChrome();
    void shiftContentAnchoredState(double dy);
    QImage browserFramedImage(const QImage& base) const;
    OffscreenSceneRenderer* offscreenRenderer();
    // None, with renderError() set, when there is nothing to render.
    std::optional<FinalRenderJob> finalRenderJob();
    // The job as a function that renders it when called.
    std::function<std::optional<QImage>()> deferredFinalRender(FinalRenderJob job);
    // Renders the export; into `image`, or, without one, left in the renderer to be read.
    bool renderFinalFrame(std::optional<QImage>* image);
    void installStylePersistence();
    void observeNotifications();
    void handleEscape();
    // Save and Save As: the rendered image, or none with "Failed to render image" set.
    std::optional<QImage> renderForSaving();
    // Writes the image; a failure sets "Failed to save: " + the reason and answers false.
    bool saveReportingErrors(const QImage& image, const QString& path);
    QCoro::Task<void> runCaptureFlow(QStringList arguments, QString failurePrefix);
    // Keeps the region a capture was stamped with, for "Capture Last Region".
    void rememberCaptureRegion(const QImage& image);
    QCoro::Task<void> analyzeComponentsAuthenticated(ScreenshotDocument document, bool onDevice);
    void prepareAnalysisEngines();
    QCoro::Task<void> returnMemoryWhenSettled();
    TokenStore& tokens();
    void setTransform(const CanvasTransform& transform);
    double currentScreenScale() const;

    SettingsStore& m_settings;
    NotificationCenter& m_notifications;
    EditorWindowHost* m_windowHost = nullptr;
    LastScreenshotStore m_lastScreenshotStore;
    std::function<double()> m_screenScale;
    std::function<std::optional<QImage>()> m_wallpaper;
    std::function<void(const QString&)> m_revealFile;
    ClipboardService m_clipboardService;
    SavePanel* m_savePanel = nullptr;
    Uploader* m_uploader = nullptr;
    // Shared with a copied image that is rendered when a program pastes it.
    std::shared_ptr<OffscreenSceneRenderer> m_offscreenRenderer;
    bool m_offscreenRendererFailed = false;
    QString m_renderError;
    std::optional<std::pair<std::optional<QUuid>, DimHoleSpec>> m_liveDimHole;

    std::optional<ScreenshotDocument> m_document;
    StylingConfiguration m_styling;
    BrowserChromeSettings m_browserChrome;
    std::optional<AnnotationTool> m_selectedTool;
    QUuid m_selectedAnnotationId;
    std::vector<QUuid> m_selection;
    QColor m_annotationColor;
    AnnotationDefaultsStore m_annotationDefaults;
    CanvasTransform m_canvasTransform;
    QSizeF m_viewportSize{0, 0};
    std::optional<QRectF> m_exportFrameRect;
    bool m_needsZoomToFit = false;
    SceneState m_sceneState;
    bool m_isRotatingGesture = false;
    RotationTargets m_rotationTargets;
    std::vector<DetectedComponent> m_detectedComponents;
    bool m_isAnalyzing = false;
    bool m_showComponentOverlay = false;
    std::optional<SceneState> m_preAnnotateSceneState;
    bool m_isCapturing = false;
    bool m_showingExportOptions = false;
    QString m_errorMessage;
    int m_imageCopiedPulse = 0;
    std::vector<QRectF> m_localDetectedElements;
    bool m_isDetectingElements = false;
    std::optional<QUuid> m_localDetectionDocumentId;
    std::function<bool()> m_quickChainEscapeHandler;
    std::map<QUuid, QUuid> m_componentRedactions;
    QFuture<void> m_elementDetection;
    AnnotationHistory m_annotationHistory;
    struct ClosedDocument {
        ScreenshotDocument document; // without its pixels: they are kept packed
        PackedImage baseImage;
        PackedImage framedImage; // null when it is the base image
        StyleSnapshot style;
        AnnotationHistory history;
        CanvasTransform view; // the export frame is placed in it
    };
    std::optional<ClosedDocument> m_closedDocument;
    int m_styleStepDepth = 0;
    std::optional<StyleSnapshot> m_styleBeforeRotation;
    std::map<QUuid, QRectF> m_liveAnnotationRects;
    TokenStore* m_tokens = nullptr;
    std::unique_ptr<VisionAnalysisService> m_visionService;
    std::function<void(const QString&)> m_openSettings;
    std::function<bool(const QUrl&)> m_openUrl;
    quint64 m_analysisRuns = 0;
    AnalysisEngines m_analysisEngines;

    QTimer m_stylePersistTimer;
    QTimer m_browserChromePersistTimer;
    QFuture<void> m_lastScreenshotSave;
    int m_openRequests = 0; // files opened from outside, in order
    int m_openShown = 0;
    QObject* m_keyMonitor = nullptr;
};

} // namespace pelorin

Q_DECLARE_METATYPE(pelorin::ScreenshotDocument)
