// A desktop portal whose backend takes every screenshot request and never answers, as
// xdg-desktop-portal-gnome does without gnome-shell. Owns org.freedesktop.portal.Desktop on the
// session bus, prints "ready" once it does, and "closed PATH" when a request is closed.

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVirtualObject>

#include <cstdio>

class SilentPortal : public QDBusVirtualObject {
public:
    QString introspect(const QString&) const override { return {}; }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override
    {
        if (message.member() == QLatin1String("Screenshot")) {
            const QVariantMap options = qdbus_cast<QVariantMap>(message.arguments().value(1));
            QString sender = message.service().mid(1);
            sender.replace(u'.', u'_');
            const QString request = QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2")
                                        .arg(sender, options.value(QStringLiteral("handle_token")).toString());
            connection.send(message.createReply(QVariant::fromValue(QDBusObjectPath(request))));
            return true;
        }
        if (message.interface() == QLatin1String("org.freedesktop.portal.Request") && message.member() == QLatin1String("Close")) {
            std::printf("closed %s\n", qPrintable(message.path()));
            std::fflush(stdout);
            connection.send(message.createReply());
            return true;
        }
        return false;
    }
};

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QDBusConnection bus = QDBusConnection::sessionBus();
    SilentPortal portal;
    if (!bus.registerVirtualObject(QStringLiteral("/org/freedesktop/portal/desktop"), &portal, QDBusConnection::SubPath)
        || !bus.registerService(QStringLiteral("org.freedesktop.portal.Desktop")))
        return 1;
    std::puts("ready");
    std::fflush(stdout);
    return QCoreApplication::exec();
}
