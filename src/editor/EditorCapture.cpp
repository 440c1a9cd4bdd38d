#include "editor/EditorViewModel.h"

#include "editor/EditorWindowHost.h"
#include "platform/FileReveal.h"
#include "platform/SettingsKeys.h"
#include "platform/SettingsStore.h"

#include <QDateTime>
#include <QDir>

#include <QCoro/QCoroTimer>

#include <chrono>

namespace pelorin {

ScreenCaptureService EditorViewModel::screenCaptureService() const
{
    return ScreenCaptureService(m_settings.stringValue(QLatin1String(SettingsKeys::captureToolPath)));
}

void EditorViewModel::captureNewScreenshot()
{
    runCaptureFlow(ScreenCaptureService::regionArguments(), QStringLiteral("Screen capture failed: "));
}

void EditorViewModel::captureWindow()
{
    runCaptureFlow(ScreenCaptureService::windowArguments(), QStringLiteral("Window capture failed: "));
}

QCoro::Task<void> EditorViewModel::runCaptureFlow(QStringList arguments, QString failurePrefix)
{
    if (m_isCapturing)
        co_return; // one capture at a time; a second trigger is ignored
    setIsCapturing(true);
    Q_EMIT captureRequested(arguments.contains(QLatin1String("-w")));

    QList<QPointer<QObject>> hidden;
    if (hideWindowDuringCapture() && m_windowHost)
        hidden = m_windowHost->hideVisibleWindows();
    // Give the compositor a moment to take the hidden windows off the screen.
    QPointer<EditorViewModel> self(this);
    co_await QCoro::sleepFor(std::chrono::milliseconds(100));
    if (!self)
        co_return;

    std::optional<QImage> image;
    QString failure;
    bool failed = false;
    try {
        image = co_await screenCaptureService().runScreencapture(arguments);
    } catch (const CaptureError& error) {
        failed = true;
        failure = error.description();
    }
    if (!self)
        co_return;

    if (failed) {
        setErrorMessage(failurePrefix + failure);
        if (hideWindowDuringCapture() && m_windowHost)
            m_windowHost->showWindows(hidden);
    } else {
        if (image)
            loadImage(*image, SourceType::screenCapture, true);
        if (hideWindowDuringCapture() && m_windowHost) {
            // Whatever was open comes back; the editor, which shows the capture, on top.
            m_windowHost->showWindows(hidden);
            if (image)
                m_windowHost->showEditorWindow();
        }
    }
    setIsCapturing(false);
}

} // namespace pelorin

namespace pelorin {

void EditorViewModel::captureSelf()
{
    const QImage snapshot = m_windowHost ? m_windowHost->grabVisibleWindow() : QImage();
    if (snapshot.isNull()) {
        setErrorMessage(QStringLiteral("Debug capture: no visible window to capture."));
        return;
    }
    m_clipboardService.copyImageToClipboard(snapshot);
    // Second resolution on purpose: two captures in one second write the same file.
    const QString path = QDir::tempPath() + QStringLiteral("/Pelorin-debug-")
        + QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd-HHmmss")) + QStringLiteral(".png");
    try {
        FileExportService::saveImage(snapshot, path);
    } catch (const ExportError& error) {
        setErrorMessage(QStringLiteral("Debug capture: failed to write file: ") + error.description());
        return;
    }
    if (m_revealFile)
        m_revealFile(path);
    else
        revealInFileManager(path);
}

} // namespace pelorin
