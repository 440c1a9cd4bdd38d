#include "editor/EditorViewModel.h"

#include "core/CaptureRegion.h"
#include "editor/EditorWindowHost.h"
#include "platform/FileReveal.h"
#include "platform/SettingsKeys.h"
#include "platform/SettingsStore.h"

#include <QDateTime>
#include <QDir>
#include <QGuiApplication>
#include <QScreen>

#include <QCoro/QCoroTimer>

#include <chrono>

namespace pelorin {

ScreenCaptureService EditorViewModel::screenCaptureService() const
{
    return ScreenCaptureService(m_settings.stringValue(QLatin1String(SettingsKeys::captureToolPath)));
}

namespace {

QString currentScreenLayout()
{
    QList<QRect> monitors;
    for (const QScreen* screen : QGuiApplication::screens())
        monitors << screen->geometry();
    return screenLayoutKey(monitors);
}

} // namespace

void EditorViewModel::captureNewScreenshot()
{
    capture({CaptureMode::region, 0, std::nullopt});
}

void EditorViewModel::captureWindow()
{
    capture({CaptureMode::window, 0, std::nullopt});
}

void EditorViewModel::capture(const CaptureRequest& request)
{
    QStringList arguments = ScreenCaptureService::optionArguments(
        request.delaySeconds.value_or(m_settings.doubleValue(QLatin1String(SettingsKeys::captureDelay), 0)),
        m_settings.boolValue(QLatin1String(SettingsKeys::captureIncludesPointer), false),
        m_settings.boolValue(QLatin1String(SettingsKeys::captureMagnifier), true));
    switch (request.mode) {
    case CaptureMode::region:
        arguments += ScreenCaptureService::regionArguments();
        break;
    case CaptureMode::window:
        runCaptureFlow(arguments + ScreenCaptureService::windowArguments(), QStringLiteral("Window capture failed: "));
        return;
    case CaptureMode::fullScreen:
        arguments += ScreenCaptureService::fullScreenArguments();
        break;
    case CaptureMode::monitor:
        arguments += ScreenCaptureService::monitorArguments(request.monitor);
        break;
    case CaptureMode::lastRegion: {
        const QVariantMap regions = m_settings.value(QLatin1String(SettingsKeys::lastCaptureRegions)).toMap();
        const std::optional<QRect> last = parseCaptureRegion(regions.value(currentScreenLayout()).toString());
        // Nothing taken on these monitors yet: the user picks the region this once.
        arguments += last ? ScreenCaptureService::fixedRegionArguments(*last) : ScreenCaptureService::regionArguments();
        break;
    }
    }
    runCaptureFlow(arguments, QStringLiteral("Screen capture failed: "));
}

void EditorViewModel::handleCaptureMessage(const QVariant& object)
{
    const QVariantMap message = object.toMap();
    const std::optional<CaptureMode> mode = captureModeFromName(message.value(QStringLiteral("mode")).toString());
    if (!mode)
        return;
    CaptureRequest request{*mode, message.value(QStringLiteral("monitor")).toInt(), std::nullopt};
    if (message.contains(QStringLiteral("delay")))
        request.delaySeconds = message.value(QStringLiteral("delay")).toDouble();
    capture(request);
}

void EditorViewModel::rememberCaptureRegion(const QImage& image)
{
    const QString region = image.text(QLatin1String(captureRegionTextKey));
    const QString layout = image.text(QLatin1String(captureLayoutTextKey));
    if (!parseCaptureRegion(region) || layout.isEmpty())
        return;
    const QString key = QLatin1String(SettingsKeys::lastCaptureRegions);
    QVariantMap regions = m_settings.value(key).toMap();
    regions.insert(layout, region);
    m_settings.setValue(key, regions);
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
    // Give the compositor a moment to take the hidden windows off the screen; with nothing
    // hidden the overlay comes at once.
    QPointer<EditorViewModel> self(this);
    if (!hidden.isEmpty()) {
        co_await QCoro::sleepFor(std::chrono::milliseconds(100));
        if (!self)
            co_return;
    }

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
        if (image) {
            rememberCaptureRegion(*image);
            loadImage(*image, SourceType::screenCapture, true);
        }
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
