#include "editor/EditorViewModel.h"

#include "core/ImageFile.h"
#include "editor/EditorWindowHost.h"
#include "platform/BackgroundWork.h"
#include "platform/FreedMemory.h"

#include <QCoro/QCoroTimer>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QMimeData>
#include <QTimer>
#include <QtConcurrent>

#include <algorithm>

namespace pelorin {

void EditorViewModel::loadImage(const QUrl& url)
{
    const std::optional<QImage> image = url.isLocalFile() ? readImageFile(url.toLocalFile()) : std::nullopt;
    if (!image) {
        setErrorMessage(QStringLiteral("Failed to load image from ") + url.fileName());
        return;
    }
    replaceDocument(*image, url, SourceType::file, true);
}

void EditorViewModel::loadImage(const QImage& image, SourceType sourceType, bool persistAsLast)
{
    replaceDocument(image, std::nullopt, sourceType, persistAsLast);
}

void EditorViewModel::replaceDocument(const QImage& image, std::optional<QUrl> url, SourceType sourceType,
                                      bool persistAsLast)
{
    keepClosedDocument();
    const double screenScale = currentScreenScale();
    m_document = ScreenshotDocument::create(image, std::move(url), sourceType, screenScale);
    // The style carries over from one screenshot to the next; the tilt does not.
    m_document->styling = m_styling;
    if (m_browserChrome.isEnabled)
        m_document->image = browserFramedImage(m_document->baseImage);
    dropAnnotationHistory();
    m_rotationTargets = {};
    m_preAnnotateSceneState.reset();
    setSceneState(SceneState{});
    Q_EMIT tiltResetRequested();
    markAllTexturesDirty();
    Q_EMIT documentChanged();
    zoomToFit();
    resetDocumentState();
    setExportFrameRect(std::nullopt);
    if (persistAsLast)
        persistLastScreenshot(m_document->baseImage);
    prepareAnalysisEngines();
}

void EditorViewModel::resetDocumentState()
{
    setSelectedTool(std::nullopt);
    setSelectedAnnotationId({});
    setDetectedComponents({});
    setShowComponentOverlay(false);
    m_componentRedactions.clear();
    resetQuickAnnotationElements();
}

void EditorViewModel::keepClosedDocument()
{
    if (!m_document)
        return;
    m_annotationHistory.endRun();
    ScreenshotDocument document = *m_document;
    const bool framed = document.image.cacheKey() != document.baseImage.cacheKey();
    ClosedDocument closed{std::move(document), PackedImage(m_document->baseImage),
                          framed ? PackedImage(m_document->image) : PackedImage(), styleSnapshot(), m_annotationHistory,
                          m_canvasTransform};
    closed.document.image = QImage();
    closed.document.baseImage = QImage();
    m_closedDocument = std::move(closed);
    Q_EMIT closedDocumentChanged();
}

void EditorViewModel::reopenClosedDocument()
{
    if (!m_closedDocument) {
        if (m_windowHost)
            m_windowHost->showEditorWindow();
        setErrorMessage(QStringLiteral("No closed screenshot to reopen."));
        return;
    }
    QImage base = m_closedDocument->baseImage.unpack();
    QImage framed = m_closedDocument->framedImage.isNull() ? base : m_closedDocument->framedImage.unpack();
    if (base.isNull() || framed.isNull()) {
        setErrorMessage(QStringLiteral("The closed screenshot could not be restored (out of memory)."));
        return;
    }
    ClosedDocument reopened = std::move(*m_closedDocument);
    m_closedDocument.reset();
    keepClosedDocument(); // the open one, if any, takes its place
    m_document = std::move(reopened.document);
    m_document->baseImage = std::move(base);
    m_document->image = std::move(framed);
    applyStyleParts(reopened.style, ~0u);
    m_document->styling = m_styling;
    m_annotationHistory = std::move(reopened.history);
    m_liveAnnotationRects.clear();
    Q_EMIT annotationHistoryChanged();
    markAllTexturesDirty();
    Q_EMIT documentChanged();
    Q_EMIT annotationsChanged();
    setTransform(reopened.view);
    resetDocumentState();
    setExportFrameRect(reopened.style.exportFrame);
    if (!m_closedDocument)
        Q_EMIT closedDocumentChanged();
    if (m_windowHost)
        m_windowHost->showEditorWindow();
    prepareAnalysisEngines();
}

void EditorViewModel::persistLastScreenshot(const QImage& image)
{
    // A detached write with its own copy of the store and the image; failures stay silent.
    const LastScreenshotStore store = m_lastScreenshotStore;
    m_lastScreenshotSave = runInBackground([store, image] { store.save(image); });
}

void EditorViewModel::clearDocument()
{
    keepClosedDocument();
    m_document.reset();
    dropAnnotationHistory();
    Q_EMIT documentChanged();
    resetDocumentState();
    setExportFrameRect(std::nullopt);
    markAllTexturesDirty();
    zoomToFit();
    if (m_analysisEngines.release)
        m_analysisEngines.release();
}

void EditorViewModel::markAllTexturesDirty()
{
    screenshotTextureDirty = true;
    backgroundTextureDirty = true;
    annotationTextureDirty = true;
}

bool EditorViewModel::handleDroppedFile(const QMimeData& data)
{
    // The drop data is gone once the drop event ends: take what we need now, load after it.
    QPointer<EditorViewModel> self(this);
    const QList<QUrl> urls = data.hasUrls() ? data.urls() : QList<QUrl>();
    // A web browser drops the image's web address with the image data: the address is of no
    // use here, the data is.
    if (!urls.isEmpty() && urls.first().isLocalFile()) {
        const QUrl url = urls.first();
        QTimer::singleShot(0, this, [self, url] {
            if (self)
                self->loadImage(url);
        });
        return true;
    }
    if (data.hasImage()) {
        const QVariant imageData = data.imageData();
        QTimer::singleShot(0, this, [self, imageData] {
            if (self && imageData.canConvert<QImage>()) {
                const QImage image = imageData.value<QImage>();
                if (!image.isNull())
                    self->loadImage(image, SourceType::dragAndDrop, true);
            }
        });
        return true;
    }
    return false;
}

void EditorViewModel::closeEditorWindow()
{
    if (m_windowHost)
        m_windowHost->hideEditorWindow();
    clearDocument();
    // The export's context goes too; a later export makes it again.
    m_offscreenRenderer.reset();
    QPointer<EditorViewModel> self(this);
    QTimer::singleShot(0, this, [self] {
        if (self && self->m_windowHost)
            self->m_windowHost->syncActivationPolicy();
    });
    returnMemoryWhenSettled();
}

QCoro::Task<void> EditorViewModel::returnMemoryWhenSettled()
{
    // What the closed screenshot's background work held (packing it, writing the
    // last-screenshot file, the wallpaper's thumbnail) is let go of only when that work ends,
    // which on a busy computer can be many seconds later, and the allocator keeps most of it
    // until asked to give it back. A later look catches what the pools' threads free as they
    // end after half a minute idle. That later look also lets go of the libraries' pages (the
    // GL driver's above all): bringing them back costs the next screenshot some tens of
    // milliseconds, which only a tray left idle that long should pay.
    QPointer<EditorViewModel> self(this);
    const std::chrono::seconds later(40);
    for (const std::chrono::seconds delay : {std::chrono::seconds(2), later}) {
        co_await QCoro::sleepFor(delay);
        for (int wait = 0; self && wait < 240 && backgroundWorkRunning(); ++wait)
            co_await QCoro::sleepFor(std::chrono::milliseconds(250));
        if (!self || hasDocument())
            co_return;
        returnFreedMemory();
        if (delay == later)
            returnLibraryPages();
    }
}

void EditorViewModel::handleOpenLastScreenshot()
{
    if (const std::optional<QImage> image = m_lastScreenshotStore.load()) {
        loadImage(*image, SourceType::screenCapture, false);
        if (m_windowHost)
            m_windowHost->showEditorWindow();
        return;
    }
    if (m_windowHost)
        m_windowHost->showEditorWindow();
    setErrorMessage(QStringLiteral("No recent screenshot to open."));
}

void EditorViewModel::handleDroppedMenuBarFile(const QVariant& object)
{
    if (object.typeId() != QMetaType::QUrl)
        return;
    openAndShow(object.toUrl());
}

void EditorViewModel::openAndShow(const QUrl& url)
{
    // The file is decoded off the GUI thread while the canvas makes its drawing context.
    const int request = ++m_openRequests;
    Q_EMIT imageComing();
    const QString path = url.isLocalFile() ? url.toLocalFile() : QString();
    auto* reading = new QFutureWatcher<std::optional<QImage>>(this);
    connect(reading, &QFutureWatcherBase::finished, this, [this, reading, url, request] {
        reading->deleteLater();
        const std::optional<QImage> image = reading->result();
        // Files opened together arrive in any order; one opened later is not replaced by an
        // earlier one.
        if (!image)
            setErrorMessage(QStringLiteral("Failed to load image from ") + url.fileName());
        else if (request > m_openShown)
            replaceDocument(*image, url, SourceType::file, true);
        m_openShown = std::max(m_openShown, request);
        if (m_windowHost)
            m_windowHost->showEditorWindow();
    });
    reading->setFuture(QtConcurrent::run([path] { return path.isEmpty() ? std::nullopt : readImageFile(path); }));
}

} // namespace pelorin
