#include "editor/EditorViewModel.h"

#include "core/AppConstants.h"
#include "detection/VisionAnalysisService.h"
#include "editor/EditorWindowHost.h"
#include "platform/NotificationCenter.h"
#include "platform/Pasteboard.h"
#include "platform/WallpaperService.h"
#include "render/OffscreenSceneRenderer.h"
#include "platform/SettingsKeys.h"
#include "platform/SettingsStore.h"

#include <QGuiApplication>
#include <QScreen>

namespace pelorin {

namespace {

constexpr int stylePersistDebounceMs = 400;

const QStringList& editorSettingKeys()
{
    static const QStringList keys{
        QLatin1String(SettingsKeys::hideWindowDuringCapture), QLatin1String(SettingsKeys::copyFollowUp),
        QLatin1String(SettingsKeys::saveFollowUp), QLatin1String(SettingsKeys::uploadScreenshots),
        QLatin1String(SettingsKeys::copyClipboardContent)};
    return keys;
}

} // namespace

EditorViewModel::EditorViewModel(SettingsStore& settings, NotificationCenter& notifications, QObject* parent)
    : QObject(parent)
    , m_settings(settings)
    , m_notifications(notifications)
    , m_clipboardService(systemPasteboard())
    , m_annotationColor(AppConstants::defaultAnnotationColor())
    , m_annotationDefaults(settings)
{
    m_wallpaper = [] { return WallpaperService().currentWallpaper(); };
    m_styling = StylingConfiguration{};
    m_browserChrome = BrowserChromeSettings{};
    loadPersistedStyling();

    if (const std::optional<QColor> stored = m_annotationDefaults.color(AnnotationDefaultsStore::colorKey()))
        setAnnotationColor(*stored);

    installStylePersistence();
    observeNotifications();
    installEditorKeyMonitor();

    connect(&m_settings, &SettingsStore::changed, this, [this](const QString& key) {
        if (editorSettingKeys().contains(key))
            Q_EMIT settingChanged(key);
    });
}

EditorViewModel::~EditorViewModel()
{
    // Let a running last-screenshot write finish; it holds only its own copy of the image.
    m_lastScreenshotSave.waitForFinished();
}

void EditorViewModel::installStylePersistence()
{
    // Only the last value of a burst of changes reaches the settings file.
    for (QTimer* timer : {&m_stylePersistTimer, &m_browserChromePersistTimer}) {
        timer->setSingleShot(true);
        timer->setInterval(stylePersistDebounceMs);
    }
    connect(&m_stylePersistTimer, &QTimer::timeout, this, &EditorViewModel::persistStyling);
    connect(&m_browserChromePersistTimer, &QTimer::timeout, this, &EditorViewModel::persistBrowserChrome);
    connect(this, &EditorViewModel::stylingChanged, &m_stylePersistTimer, qOverload<>(&QTimer::start));
    connect(this, &EditorViewModel::browserChromeChanged, &m_browserChromePersistTimer, qOverload<>(&QTimer::start));
}

void EditorViewModel::observeNotifications()
{
    m_notifications.observe(Notifications::triggerScreenCapture, this, [this](const QVariant&) { captureNewScreenshot(); });
    m_notifications.observe(Notifications::triggerWindowCapture, this, [this](const QVariant&) { captureWindow(); });
    m_notifications.observe(Notifications::triggerCapture, this, [this](const QVariant& object) { handleCaptureMessage(object); });
    m_notifications.observe(Notifications::openLastScreenshot, this, [this](const QVariant&) { handleOpenLastScreenshot(); });
    m_notifications.observe(Notifications::reopenClosedScreenshot, this, [this](const QVariant&) { reopenClosedDocument(); });
    m_notifications.observe(Notifications::openDroppedFile, this,
                            [this](const QVariant& object) { handleDroppedMenuBarFile(object); });
}

double EditorViewModel::currentScreenScale() const
{
    if (m_screenScale)
        return m_screenScale();
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->devicePixelRatio() : 2.0;
}

// --- Published state without further rules

void EditorViewModel::setDetectedComponents(std::vector<DetectedComponent> components)
{
    m_detectedComponents = std::move(components);
    Q_EMIT detectedComponentsChanged();
}

void EditorViewModel::setIsAnalyzing(bool value)
{
    if (m_isAnalyzing == value)
        return;
    m_isAnalyzing = value;
    Q_EMIT isAnalyzingChanged();
}

void EditorViewModel::setShowComponentOverlay(bool value)
{
    if (m_showComponentOverlay == value)
        return;
    m_showComponentOverlay = value;
    Q_EMIT showComponentOverlayChanged();
}

void EditorViewModel::setIsCapturing(bool value)
{
    if (m_isCapturing == value)
        return;
    m_isCapturing = value;
    Q_EMIT isCapturingChanged();
}

void EditorViewModel::setShowingExportOptions(bool value)
{
    if (m_showingExportOptions == value)
        return;
    m_showingExportOptions = value;
    Q_EMIT showingExportOptionsChanged();
}

void EditorViewModel::setErrorMessage(const QString& message)
{
    if (m_errorMessage == message)
        return;
    m_errorMessage = message;
    Q_EMIT errorMessageChanged();
}

// --- Settings-backed fields: read through to the store every time.

bool EditorViewModel::hideWindowDuringCapture() const
{
    return m_settings.boolValue(QLatin1String(SettingsKeys::hideWindowDuringCapture), true);
}

static ExportFollowUp followUp(const SettingsStore& settings, const char* key)
{
    return settings.stringValue(QLatin1String(key)) == u"stay" ? ExportFollowUp::stay : ExportFollowUp::close;
}

ExportFollowUp EditorViewModel::copyFollowUp() const
{
    return followUp(m_settings, SettingsKeys::copyFollowUp);
}

ExportFollowUp EditorViewModel::saveFollowUp() const
{
    return followUp(m_settings, SettingsKeys::saveFollowUp);
}

bool EditorViewModel::uploadScreenshots() const
{
    return m_settings.boolValue(QLatin1String(SettingsKeys::uploadScreenshots), true);
}

CopyClipboardContent EditorViewModel::copyClipboardContent() const
{
    return m_settings.stringValue(QLatin1String(SettingsKeys::copyClipboardContent)) == u"url" ? CopyClipboardContent::url
                                                                                                : CopyClipboardContent::image;
}

} // namespace pelorin
