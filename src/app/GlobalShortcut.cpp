#include "app/GlobalShortcut.h"

#include "core/CaptureShortcut.h"
#include "platform/GlobalHotKeys.h"
#include "platform/NotificationCenter.h"
#include "platform/SettingsKeys.h"
#include "platform/SettingsStore.h"
#include "platform/SystemLog.h"

namespace pelorin {

namespace {

void logStatus(int status)
{
    if (status != GlobalHotKeys::Registered && status != GlobalHotKeys::NotBound)
        systemLog(QStringLiteral("RegisterEventHotKey failed (%1) — %2").arg(status).arg(shortcutFailureReason(status)));
    // What Settings says, for those who read the log rather than Settings.
    if (status == GlobalHotKeys::Unavailable || status == GlobalHotKeys::NotBound)
        systemLog(shortcutNote(status, qEnvironmentVariable("XDG_CURRENT_DESKTOP")));
}

const QString commandBinding = QStringLiteral(
    "bind it in your desktop's keyboard settings (or its configuration file) to the command "
    "\u201Cpelorin --capture\u201D, or \u201Cpelorin --capture-window\u201D for a window.");

} // namespace

QString shortcutFailureReason(int status)
{
    switch (status) {
    case GlobalHotKeys::Registered: return {};
    case GlobalHotKeys::Unavailable: return QStringLiteral("this desktop does not offer apps global shortcuts");
    case GlobalHotKeys::Refused: return QStringLiteral("the desktop refused the shortcut");
    case GlobalHotKeys::NoAnswer: return QStringLiteral("the desktop did not answer");
    case GlobalHotKeys::NotBound: return QStringLiteral("the desktop has not given it a key yet");
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
    logStatus(status);
    return status;
}

QString shortcutNote(int status, const QString& desktop)
{
    if (status == GlobalHotKeys::Unavailable)
        return QStringLiteral("This desktop does not let apps set global shortcuts. To capture with a key, ") + commandBinding;
    if (status == GlobalHotKeys::Registered)
        return {};
    if (status != GlobalHotKeys::NotBound)
        return QStringLiteral("The capture shortcut is not active: %1. Choose another one, or bind "
                              "\u201Cpelorin --capture\u201D in your desktop's keyboard settings.")
            .arg(shortcutFailureReason(status));
    const QString where = desktop.split(u':').contains(QLatin1String("KDE"), Qt::CaseInsensitive)
        ? QStringLiteral("in System Settings \u2192 Shortcuts, under Pelorin")
        : QStringLiteral("in your desktop's shortcut settings, under Pelorin");
    return QStringLiteral("The desktop has not given Pelorin's \u201CCapture Screenshot\u201D shortcut a key yet. Assign one ")
        + where + QStringLiteral(", or ") + commandBinding;
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
    connect(m_hotKeys.get(), &GlobalHotKeys::registrationChanged, this, [this](int status) {
        logStatus(status);
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
