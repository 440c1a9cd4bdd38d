#include "editor/EditorViewModel.h"

#include "editor/FileExportService.h"
#include "platform/Pasteboard.h"
#include "platform/SystemLog.h"

#include <QBuffer>
#include <QImageWriter>

namespace pelorin {

bool EditorViewModel::uploadsActive() const
{
    return uploadScreenshots() && m_uploader && m_uploader->isConfigured();
}

QCoro::Task<void> EditorViewModel::copyViaShortcut()
{
    if (!m_document)
        co_return;
    QPointer<EditorViewModel> self(this);
    if (uploadsActive() && copyClipboardContent() == CopyClipboardContent::url) {
        const std::optional<QImage> image = renderFinalImage();
        if (!image)
            co_return; // nothing to copy; Copy stays silent
        std::optional<UploadedFile> uploaded;
        QString failure;
        try {
            uploaded = co_await uploadRendered(*image);
        } catch (const ServiceError& error) {
            failure = error.description();
        }
        if (!self)
            co_return;
        if (uploaded) {
            m_clipboardService.copyText(uploaded->publicUrl);
            ++m_imageCopiedPulse;
            Q_EMIT imageCopiedPulseChanged();
            if (copyFollowUp() == ExportFollowUp::close)
                closeEditorWindow();
        } else {
            // The window stays open whatever the follow-up says: the user has to read this.
            m_clipboardService.copyImageToClipboard(*image);
            ++m_imageCopiedPulse;
            Q_EMIT imageCopiedPulseChanged();
            setErrorMessage(QStringLiteral("Upload failed — copied the image instead. ") + failure);
        }
        co_return;
    }
    // The image is offered at once and rendered when a program asks for it: rendering a
    // large export takes far longer than a user waits for Ctrl+C to answer.
    std::optional<FinalRenderJob> job = finalRenderJob();
    if (!job || m_offscreenRendererFailed)
        co_return; // nothing to copy; Copy stays silent
    std::function<std::optional<QImage>()> render = deferredFinalRender(std::move(*job));
    std::optional<QImage> uploaded;
    if (uploadsActive()) {
        // The upload needs the image now; the clipboard shares the one render.
        uploaded = render();
        if (!uploaded)
            co_return;
        render = [image = *uploaded] { return std::optional<QImage>(image); };
    }
    m_clipboardService.copyImageRenderedOnDemand(std::move(render));
    ++m_imageCopiedPulse;
    Q_EMIT imageCopiedPulseChanged();
    if (uploaded)
        uploadInBackground(*uploaded);
    if (copyFollowUp() == ExportFollowUp::close)
        closeEditorWindow();
}

std::optional<QImage> EditorViewModel::renderForSaving()
{
    std::optional<QImage> image = renderFinalImage();
    if (!image)
        setErrorMessage(QStringLiteral("Failed to render image"));
    return image;
}

bool EditorViewModel::saveReportingErrors(const QImage& image, const QString& path)
{
    try {
        FileExportService::saveImage(image, path);
        return true;
    } catch (const ExportError& error) {
        setErrorMessage(QStringLiteral("Failed to save: ") + error.description());
        return false;
    }
}

QCoro::Task<void> EditorViewModel::saveViaShortcut()
{
    if (!m_document)
        co_return;
    const std::optional<QImage> image = renderForSaving();
    if (!image)
        co_return;
    const QString destination = FileExportService::uniqueURL(FileExportService::defaultSaveURL());
    if (!saveReportingErrors(*image, destination))
        co_return;
    Q_EMIT imageSaved(destination, !FileExportService::hasDesktopFolder());
    if (uploadsActive())
        uploadInBackground(*image);
    if (saveFollowUp() == ExportFollowUp::close)
        closeEditorWindow();
}

QCoro::Task<void> EditorViewModel::saveAs()
{
    if (!m_document)
        co_return;
    const std::optional<QImage> image = renderForSaving();
    if (!image)
        co_return;
    if (!m_savePanel)
        co_return;
    QPointer<EditorViewModel> self(this);
    // Named first: g++ 12 cannot take the braced list into the awaited call.
    const QStringList types{QStringLiteral("image/png"), QStringLiteral("image/jpeg"), QStringLiteral("image/tiff")};
    const QString suggested =
        FileExportService::generateFilename(QLatin1String(FileExportService::defaultTemplate), QStringLiteral("png"));
    const std::optional<QString> chosen = co_await m_savePanel->chooseSaveLocation(suggested, types);
    if (!self || !chosen || !m_document)
        co_return;
    if (!saveReportingErrors(*image, *chosen))
        co_return;
    m_document->originalURL = QUrl::fromLocalFile(*chosen);
    Q_EMIT documentChanged();
}

QCoro::Task<UploadedFile> EditorViewModel::uploadRendered(QImage image)
{
    const QByteArray png = FileExportService::encode(image, ImageFileType::png);
    if (png.isEmpty() || !m_uploader)
        throw ServiceError(QStringLiteral("Could not build the upload request."));
    const QString fileName =
        FileExportService::generateFilename(QLatin1String(FileExportService::defaultTemplate), QStringLiteral("png"));
    // The uploader outlives the editor window; it holds its own copy of the bytes.
    Uploader* uploader = m_uploader;
    co_return co_await uploader->upload(png, fileName);
}

void EditorViewModel::uploadInBackground(const QImage& image)
{
    // Runs on after the window closes or the document changes; only a log line reports failure.
    [](QPointer<EditorViewModel> self, QImage rendered) -> QCoro::Task<void> {
        if (!self)
            co_return;
        try {
            co_await self->uploadRendered(rendered);
        } catch (const ServiceError& error) {
            systemLog(QStringLiteral("screenshot upload failed: ") + error.description());
        }
    }(QPointer<EditorViewModel>(this), image);
}

} // namespace pelorin
