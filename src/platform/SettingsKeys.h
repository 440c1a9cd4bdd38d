#pragma once

#include <QString>
#include <QVariant>
#include <QVariantMap>

#include <span>

namespace pelorin {

// Every key of the user-defaults store that the application reads or writes, with its type
// and its default. Keys marked `registered` get their default registered at every start.
struct SettingKey {
    const char* name;
    QMetaType::Type type;
    QVariant defaultValue; // invalid: absent when nothing is stored
    bool registered;

    QString key() const { return QString::fromLatin1(name); }
};

namespace SettingsKeys {
inline constexpr const char* captureShortcutKey = "captureShortcutKey";
inline constexpr const char* captureShortcutModifiers = "captureShortcutModifiers";
inline constexpr const char* hideWindowDuringCapture = "hideWindowDuringCapture";
inline constexpr const char* captureDelay = "captureDelay"; // seconds before a capture from the tray or a shortcut
inline constexpr const char* captureIncludesPointer = "captureIncludesPointer";
inline constexpr const char* captureMagnifier = "captureMagnifier";
// Screen layout ("X,Y,W,H;…" of the monitors) → the last region captured there ("X,Y,W,H").
inline constexpr const char* lastCaptureRegions = "lastCaptureRegions";
inline constexpr const char* copyFollowUp = "copyFollowUp";
inline constexpr const char* saveFollowUp = "saveFollowUp";
inline constexpr const char* uploadScreenshots = "uploadScreenshots";
inline constexpr const char* copyClipboardContent = "copyClipboardContent";
inline constexpr const char* autoCheckForUpdates = "autoCheckForUpdates";
inline constexpr const char* formatCopiedJSON = "formatCopiedJSON";
inline constexpr const char* uploadDestination = "uploadDestination";
inline constexpr const char* lastUpdateCheckAt = "lastUpdateCheckAt";
inline constexpr const char* skippedUpdateVersion = "skippedUpdateVersion";
inline constexpr const char* pendingUpdateVersion = "pendingUpdateVersion";
inline constexpr const char* pendingUpdateAppPath = "pendingUpdateAppPath";
inline constexpr const char* lastBackground = "lastBackground";
inline constexpr const char* lastCornerRadius = "lastCornerRadius";
inline constexpr const char* lastShadowRadius = "lastShadowRadius";
inline constexpr const char* lastFramePadding = "lastFramePadding";
inline constexpr const char* lastDimmingEnabled = "lastDimmingEnabled";
inline constexpr const char* lastDimmingAmount = "lastDimmingAmount";
inline constexpr const char* lastBrowserChrome = "lastBrowserChrome";
inline constexpr const char* editorWindowGeometry = "editorWindowGeometry"; // QWidget::saveGeometry()
inline constexpr const char* cloudServerURL = "cloudServerURL";
inline constexpr const char* analysisServerURL = "analysisServerURL";
inline constexpr const char* analysisProvider = "analysisProvider"; // "device" or "cloud"
inline constexpr const char* cloudAccountEmail = "cloudAccountEmail";
inline constexpr const char* s3EndpointURL = "s3EndpointURL";
inline constexpr const char* captureToolPath = "captureToolPath";
inline constexpr const char* updateSiteURL = "updateSiteURL";
} // namespace SettingsKeys

std::span<const SettingKey> settingsTable();
const SettingKey* findSettingKey(const QString& key);

// The defaults of the keys marked `registered`.
QVariantMap registeredDefaults();

// A setting's default as the table gives it (invalid when it has none).
QVariant settingDefault(const char* key);

} // namespace pelorin
