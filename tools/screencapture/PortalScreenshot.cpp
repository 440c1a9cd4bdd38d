#include "PortalScreenshot.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QEventLoop>
#include <QImage>
#include <QSaveFile>
#include <QTimer>
#include <QUrl>
#include <QUuid>

namespace {

// Receives the portal's Response signal for one request.
class ResponseWaiter : public QObject {
    Q_OBJECT
public:
    uint response = 2;
    QVariantMap results;
    QEventLoop loop;

public Q_SLOTS:
    void onResponse(uint code, const QVariantMap& values)
    {
        response = code;
        results = values;
        loop.quit();
    }
};

} // namespace

int portalScreenshot(const QString& output)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return 2;
    const QString token = QStringLiteral("pelorin") + QUuid::createUuid().toString(QUuid::Id128);
    const QString sender = bus.baseService().mid(1).replace(u'.', u'_');
    const QString requestPath = QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(sender, token);

    ResponseWaiter waiter;
    // Subscribe before calling, so a fast answer is not missed.
    bus.connect(QStringLiteral("org.freedesktop.portal.Desktop"), requestPath, QStringLiteral("org.freedesktop.portal.Request"),
                QStringLiteral("Response"), &waiter, SLOT(onResponse(uint, QVariantMap)));
    QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.portal.Desktop"),
                                                       QStringLiteral("/org/freedesktop/portal/desktop"),
                                                       QStringLiteral("org.freedesktop.portal.Screenshot"),
                                                       QStringLiteral("Screenshot"));
    call << QString() << QVariantMap{{QStringLiteral("handle_token"), token}, {QStringLiteral("interactive"), true}};
    const QDBusMessage reply = bus.call(call, QDBus::Block, 10000);
    if (reply.type() != QDBusMessage::ReplyMessage)
        return 2;
    // The user may take their time choosing; give up after ten minutes.
    QTimer::singleShot(10 * 60 * 1000, &waiter.loop, &QEventLoop::quit);
    waiter.loop.exec();
    if (waiter.response != 0)
        return waiter.response == 1 ? 1 : 2;
    const QImage image(QUrl(waiter.results.value(QStringLiteral("uri")).toString()).toLocalFile());
    if (image.isNull())
        return 2;
    QSaveFile file(output);
    if (!file.open(QIODevice::WriteOnly) || !image.save(&file, "PNG") || !file.commit())
        return 2;
    return 0;
}

#include "PortalScreenshot.moc"
