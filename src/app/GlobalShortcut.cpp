#include "app/GlobalShortcut.h"

#include "core/CaptureShortcut.h"
#include "platform/GlobalHotKeys.h"
#include "platform/NotificationCenter.h"
#include "platform/SettingsKeys.h"
#include "platform/SettingsStore.h"
#include "platform/SystemLog.h"

namespace pelorin {

namespace {

void logFailure(int status)
{
    systemLog(QStringLiteral("RegisterEventHotKey failed (%1) — %2").arg(status).arg(shortcutFailureReason(status)));
}

} // namespace

QString shortcutFailureReason(int status)
{
    switch (status) {
    case GlobalHotKeys::Registered: return {};
    case GlobalHotKeys::Unavailable: return QStringLiteral("this desktop does not offer apps global shortcuts");
    case GlobalHotKeys::Refused: return QStringLiteral("the desktop refused the shortcut");
    case GlobalHotKeys::NoAnswer: return QStringLiteral("the desktop did not answer");
    case 10: return QStringLiteral("shortcut may be taken by another app"); // X11 BadAccess
    default: return QStringLiteral("the X server refused the shortcut");
    }
}

int setupGlobalHotkeys(SettingsStore& settings, GlobalHotKeys& hotKeys)
{
    hotKeys.unregisterHotKey();
    const QString key = settings.stringValue(QString::fromLatin1(SettingsKeys::captureShortcutKey), QStringLiteral("1"));
    const qint64 modifiers = settings.value(QString::fromLatin1(SettingsKeys::captureShortcutModifiers)).toLongLong();
    const int status = hotKeys.registerHotKey(effectiveShortcut(key, modifiers));
    if (status != GlobalHotKeys::Registered)
        logFailure(status);
    return status;
}

GlobalShortcut::GlobalShortcut(SettingsStore& settings, NotificationCenter& notifications,
                               std::unique_ptr<GlobalHotKeys> hotKeys, QObject* parent)
    : QObject(parent)
    , m_settings(settings)
    , m_hotKeys(std::move(hotKeys))
{
    connect(m_hotKeys.get(), &GlobalHotKeys::pressed, this,
            [&notifications] { notifications.post(Notifications::triggerScreenCapture); });
    // Desktops that ask the user answer later; their refusal is logged like an immediate one.
    connect(m_hotKeys.get(), &GlobalHotKeys::registrationFailed, this, [this](int status) {
        logFailure(status);
        setStatus(status);
    });
    notifications.observe(Notifications::shortcutChanged, this,
                          [this](const QVariant&) { setStatus(setupGlobalHotkeys(m_settings, *m_hotKeys)); });
    setStatus(setupGlobalHotkeys(m_settings, *m_hotKeys));
}

void GlobalShortcut::setStatus(int status)
{
    if (status == m_status)
        return;
    m_status = status;
    Q_EMIT statusChanged();
}

GlobalShortcut::~GlobalShortcut()
{
    m_hotKeys->unregisterHotKey();
}

} // namespace pelorin
