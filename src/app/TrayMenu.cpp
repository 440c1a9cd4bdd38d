#include "app/TrayMenu.h"

#include "app/AppIcons.h"
#include "platform/NotificationCenter.h"
#include "platform/SettingsKeys.h"
#include "platform/SettingsStore.h"

#include <QActionGroup>
#include <QCursor>
#include <QGuiApplication>
#include <QMenu>
#include <QSystemTrayIcon>

namespace pelorin {

TrayMenu::TrayMenu(NotificationCenter& notifications, SettingsStore& settings, Actions actions, QObject* parent)
    : QObject(parent)
    , m_notifications(notifications)
    , m_settings(settings)
    , m_actions(std::move(actions))
    , m_menu(new QMenu)
    , m_icon(new QSystemTrayIcon(this))
{
    const auto item = [this](const QString& title, const char* iconName, std::function<void()> action,
                             const QKeySequence& keys = {}) {
        QAction* entry = m_menu->addAction(themedIcon(iconName), title);
        entry->setShortcut(keys);
        connect(entry, &QAction::triggered, this, [action = std::move(action)] {
            if (action)
                action();
        });
    };
    const auto captureIn = [this](const char* mode) {
        return [this, mode] { m_notifications.post(Notifications::triggerCapture, QVariantMap{{QStringLiteral("mode"), QLatin1String(mode)}}); };
    };
    item(QStringLiteral("Capture Region"), "camera-photo", [this] { m_notifications.post(Notifications::triggerScreenCapture); });
    item(QStringLiteral("Capture Window"), "window-new", [this] { m_notifications.post(Notifications::triggerWindowCapture); });
    item(QStringLiteral("Capture Full Screen"), "video-display", captureIn("fullScreen"));
    item(QStringLiteral("Capture Last Region"), "edit-redo", captureIn("lastRegion"));
    addCaptureOptions();
    m_menu->addSeparator();
    item(QStringLiteral("Open Pelorin"), "window", m_actions.openMainWindow);
    item(QStringLiteral("Open Last Screenshot"), "document-open-recent",
         [this] { m_notifications.post(Notifications::openLastScreenshot); });
    item(QStringLiteral("Reopen Closed Screenshot"), "edit-undo",
         [this] { m_notifications.post(Notifications::reopenClosedScreenshot); });
    item(QStringLiteral("Uploads..."), "go-up", m_actions.showUploadHistory);
    item(QStringLiteral("Format Copied JSON"), "text-x-script", [this] { toggleJSONFormatting(); });
    item(QStringLiteral("Settings..."), "preferences-system", m_actions.openSettings, QKeySequence(QStringLiteral("Ctrl+,")));
    item(QStringLiteral("Check for Updates…"), "view-refresh", m_actions.checkForUpdates);
    m_menu->addSeparator();
    item(QStringLiteral("Quit Pelorin"), "application-exit", m_actions.quit, QKeySequence(QStringLiteral("Ctrl+Q")));

    m_icon->setIcon(themedIcon("camera-photo"));
    m_icon->setToolTip(QStringLiteral("Pelorin"));
    m_icon->setContextMenu(m_menu);
    // A plain click on the icon opens the menu too, as on desktops without a context click.
    connect(m_icon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger)
            m_menu->popup(QCursor::pos());
    });
}

// The delay and the pointer apply to every capture started from the tray or the shortcut.
void TrayMenu::addCaptureOptions()
{
    QMenu* delay = m_menu->addMenu(themedIcon("chronometer"), QStringLiteral("Delay"));
    auto* delays = new QActionGroup(delay);
    const QString delayKey = QLatin1String(SettingsKeys::captureDelay);
    for (const int seconds : {0, 3, 5, 10}) {
        QAction* choice = delay->addAction(seconds == 0 ? QStringLiteral("No Delay") : QStringLiteral("%1 Seconds").arg(seconds));
        choice->setCheckable(true);
        choice->setData(seconds);
        delays->addAction(choice);
        connect(choice, &QAction::triggered, this, [this, delayKey, seconds] { m_settings.setValue(delayKey, double(seconds)); });
    }
    QAction* pointer = m_menu->addAction(QStringLiteral("Include Mouse Pointer"));
    pointer->setCheckable(true);
    const QString pointerKey = QLatin1String(SettingsKeys::captureIncludesPointer);
    connect(pointer, &QAction::toggled, this, [this, pointerKey](bool on) {
        if (m_settings.boolValue(pointerKey) != on)
            m_settings.setValue(pointerKey, on);
    });
    // The marks follow the settings, wherever they were changed.
    const auto sync = [this, delays, pointer, delayKey, pointerKey] {
        const double stored = m_settings.doubleValue(delayKey, 0);
        for (QAction* choice : delays->actions())
            choice->setChecked(choice->data().toInt() == qRound(stored));
        pointer->setChecked(m_settings.boolValue(pointerKey));
    };
    sync();
    connect(&m_settings, &SettingsStore::changed, this, [sync, delayKey, pointerKey](const QString& key) {
        if (key == delayKey || key == pointerKey)
            sync();
    });
}

TrayMenu::~TrayMenu()
{
    delete m_menu;
}

void TrayMenu::show()
{
    // Without a StatusNotifierItem host Qt falls back to the X11 tray protocol, which only an X11
    // display speaks: elsewhere (GNOME on Wayland) there is no tray to show the icon in.
    if (QGuiApplication::platformName() != u"xcb" && !QSystemTrayIcon::isSystemTrayAvailable())
        return;
    m_icon->show();
}

void TrayMenu::toggleJSONFormatting()
{
    const QString key = QLatin1String(SettingsKeys::formatCopiedJSON);
    m_settings.setValue(key, !m_settings.boolValue(key, true));
}

} // namespace pelorin
