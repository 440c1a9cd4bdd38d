#include "platform/SettingsKeys.h"

#include <array>

namespace pelorin {

namespace {

using namespace SettingsKeys;
using T = QMetaType::Type;

const std::array<SettingKey, 33>& table()
{
    static const std::array<SettingKey, 33> keys{{
        {captureShortcutKey, T::QString, QStringLiteral("1"), true},
        {captureShortcutModifiers, T::LongLong, qint64{3}, true},
        {hideWindowDuringCapture, T::Bool, true, true},
        {captureDelay, T::Double, 0.0, false},
        {captureIncludesPointer, T::Bool, false, false},
        {captureMagnifier, T::Bool, true, false},
        {lastCaptureRegions, T::QVariantMap, {}, false},
        {copyFollowUp, T::QString, QStringLiteral("close"), true},
        {saveFollowUp, T::QString, QStringLiteral("close"), true},
        {uploadScreenshots, T::Bool, true, true},
        {copyClipboardContent, T::QString, QStringLiteral("image"), true},
        {autoCheckForUpdates, T::Bool, true, true},
        {formatCopiedJSON, T::Bool, true, true},
        {uploadDestination, T::QString, {}, false},
        {lastUpdateCheckAt, T::Double, {}, false},
        {skippedUpdateVersion, T::QString, {}, false},
        {pendingUpdateVersion, T::QString, {}, false},
        {pendingUpdateAppPath, T::QString, {}, false},
        {lastBackground, T::QByteArray, {}, false},
        {lastCornerRadius, T::Double, 18.0, false},
        {lastShadowRadius, T::Double, 40.0, false},
        {lastFramePadding, T::Double, 0.0, false},
        {lastDimmingEnabled, T::Bool, false, false},
        {lastDimmingAmount, T::Double, 0.5, false},
        {lastBrowserChrome, T::QByteArray, {}, false},
        {editorWindowGeometry, T::QByteArray, {}, false},
        {cloudServerURL, T::QString, {}, false},
        {analysisServerURL, T::QString, {}, false},
        {analysisProvider, T::QString, QStringLiteral("device"), false},
        {cloudAccountEmail, T::QString, {}, false},
        {s3EndpointURL, T::QString, {}, false},
        {captureToolPath, T::QString, {}, false},
        {updateSiteURL, T::QString, {}, false},
    }};
    return keys;
}

} // namespace

std::span<const SettingKey> settingsTable()
{
    return table();
}

const SettingKey* findSettingKey(const QString& key)
{
    for (const SettingKey& entry : table()) {
        if (key == QLatin1String(entry.name))
            return &entry;
    }
    return nullptr;
}

QVariantMap registeredDefaults()
{
    QVariantMap defaults;
    for (const SettingKey& entry : table()) {
        if (entry.registered)
            defaults.insert(entry.key(), entry.defaultValue);
    }
    return defaults;
}

QVariant settingDefault(const char* key)
{
    const SettingKey* entry = findSettingKey(QLatin1String(key));
    return entry ? entry->defaultValue : QVariant();
}

} // namespace pelorin
