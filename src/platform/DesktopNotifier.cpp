#include "platform/DesktopNotifier.h"

#include "platform/SystemLog.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

namespace pelorin {

namespace {

const QString service = QStringLiteral("org.freedesktop.Notifications");
const QString path = QStringLiteral("/org/freedesktop/Notifications");

} // namespace

DesktopNotifier::DesktopNotifier(QObject* parent)
    : QObject(parent)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.connect(service, path, service, QStringLiteral("ActionInvoked"), this, SLOT(actionInvoked(uint, QString)));
    bus.connect(service, path, service, QStringLiteral("NotificationClosed"), this, SLOT(closed(uint, uint)));
}

void DesktopNotifier::notify(const QString& summary, const QString& body, const QString& actionLabel,
                             std::function<void()> onAction)
{
    const QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        systemLog(summary + QStringLiteral(": ") + body);
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(service, path, service, QStringLiteral("Notify"));
    // "default" is the click on the notification itself.
    call << QStringLiteral("Pelorin") << uint(0) << QStringLiteral("camera-photo") << summary << body
         << QStringList{QStringLiteral("default"), actionLabel, QStringLiteral("open"), actionLabel}
         << QVariantMap{{QStringLiteral("desktop-entry"), QStringLiteral(PELORIN_APP_ID)}} << int(-1);
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, 3000), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, watcher, summary, body, onAction = std::move(onAction)] {
                const QDBusPendingReply<uint> reply = *watcher;
                if (reply.isError())
                    systemLog(summary + QStringLiteral(": ") + body);
                else if (onAction)
                    m_actions[reply.value()] = onAction;
                watcher->deleteLater();
            });
}

void DesktopNotifier::actionInvoked(uint id, const QString&)
{
    const auto found = m_actions.find(id);
    if (found == m_actions.end())
        return;
    const std::function<void()> action = found->second;
    m_actions.erase(found);
    action();
}

void DesktopNotifier::closed(uint id, uint)
{
    m_actions.erase(id);
}

} // namespace pelorin
