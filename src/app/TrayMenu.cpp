#include "app/TrayMenu.h"

#include "app/AppIcons.h"
#include "platform/NotificationCenter.h"
#include "platform/SettingsKeys.h"
#include "platform/SettingsStore.h"

#include <QCursor>
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
    item(QStringLiteral("Capture Screenshot"), "camera-photo", [this] { m_notifications.post(Notifications::triggerScreenCapture); });
    item(QStringLiteral("Capture Window"), "window-new", [this] { m_notifications.post(Notifications::triggerWindowCapture); });
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

TrayMenu::~TrayMenu()
{
    delete m_menu;
}

void TrayMenu::show()
{
    m_icon->show();
}

void TrayMenu::toggleJSONFormatting()
{
    const QString key = QLatin1String(SettingsKeys::formatCopiedJSON);
    m_settings.setValue(key, !m_settings.boolValue(key, true));
}

} // namespace pelorin
