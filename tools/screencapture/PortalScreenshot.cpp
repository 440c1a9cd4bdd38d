#include "PortalScreenshot.h"

#include "StopSignals.h"
#include "core/AtomicFile.h"
#include "core/ImageFile.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QEventLoop>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageWriter>
#include <QSaveFile>
#include <QTimer>
#include <QUrl>
#include <QUuid>

#include <cmath>
#include <cstdio>

namespace {

// Receives the portal's Response signal for one request.
class ResponseWaiter : public QObject {
    Q_OBJECT
public:
    uint response = 2;
    bool answered = false;
    QVariantMap results;
    QEventLoop loop;

public Q_SLOTS:
    void onResponse(uint code, const QVariantMap& values)
    {
        response = code;
        answered = true;
        results = values;
        loop.quit();
    }
};

int fail(const QString& message)
{
    std::fprintf(stderr, "pelorin-screencapture: %s\n", qPrintable(message));
    return 2;
}

// A request that shows the user nothing is answered within a second or so.
constexpr int nonInteractiveWaitSeconds = 10;

} // namespace

int portalScreenshot(const QString& output, bool interactive, const ScreenScale& screens)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return fail(QStringLiteral("no D-Bus session bus, so no desktop portal to take the screenshot"));
    const QString token = QStringLiteral("pelorin") + QUuid::createUuid().toString(QUuid::Id128);
    const QString sender = bus.baseService().mid(1).replace(u'.', u'_');
    const QString requestPath = QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(sender, token);

    ResponseWaiter waiter;
    StopSignals stop;
    QObject::connect(&stop, &StopSignals::stopped, &waiter.loop, &QEventLoop::quit);
    // Subscribe before calling, so a fast answer is not missed.
    bus.connect(QStringLiteral("org.freedesktop.portal.Desktop"), requestPath, QStringLiteral("org.freedesktop.portal.Request"),
                QStringLiteral("Response"), &waiter, SLOT(onResponse(uint, QVariantMap)));
    QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.portal.Desktop"),
                                                       QStringLiteral("/org/freedesktop/portal/desktop"),
                                                       QStringLiteral("org.freedesktop.portal.Screenshot"),
                                                       QStringLiteral("Screenshot"));
    call << QString() << QVariantMap{{QStringLiteral("handle_token"), token}, {QStringLiteral("interactive"), interactive}};
    const QDBusMessage reply = bus.call(call, QDBus::Block, 10000);
    if (reply.type() != QDBusMessage::ReplyMessage)
        return fail(QStringLiteral("the desktop portal's Screenshot call failed: %1").arg(reply.errorMessage()));
    // Portals older than the handle_token option answer on a path of their own choosing.
    const QString answeredPath = reply.arguments().value(0).value<QDBusObjectPath>().path();
    if (!answeredPath.isEmpty() && answeredPath != requestPath)
        bus.connect(QStringLiteral("org.freedesktop.portal.Desktop"), answeredPath, QStringLiteral("org.freedesktop.portal.Request"),
                    QStringLiteral("Response"), &waiter, SLOT(onResponse(uint, QVariantMap)));
    // A backend may take the request and never answer (xdg-desktop-portal-gnome without
    // gnome-shell): without a choice to make, that is known after a few seconds. The user may
    // take as long as they like choosing, until the app stops the tool.
    if (!interactive)
        QTimer::singleShot(nonInteractiveWaitSeconds * 1000, &waiter.loop, &QEventLoop::quit);
    if (!waiter.answered && !stop.received())
        waiter.loop.exec();
    if (!waiter.answered) {
        // Closing the request takes the desktop's dialog away.
        bus.call(QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.portal.Desktop"),
                                                answeredPath.isEmpty() ? requestPath : answeredPath,
                                                QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Close")),
                 QDBus::Block, 2000);
        if (stop.received()) {
            std::fputs("pelorin-screencapture: cancelled\n", stderr);
            return 1;
        }
        return fail(QStringLiteral("the desktop portal took the screenshot request but did not answer within %1 s; "
                                   "its backend for this desktop (%2) may not be working")
                        .arg(nonInteractiveWaitSeconds)
                        .arg(qEnvironmentVariable("XDG_CURRENT_DESKTOP", QStringLiteral("unknown"))));
    }
    if (waiter.response == 1) {
        std::fputs("pelorin-screencapture: cancelled\n", stderr);
        return 1;
    }
    if (waiter.response != 0)
        return fail(QStringLiteral("the desktop portal ended without a screenshot (cancelled, or it failed; response %1)")
                        .arg(waiter.response));

    const QUrl uri(waiter.results.value(QStringLiteral("uri")).toString());
    if (!uri.isLocalFile())
        return fail(QStringLiteral("the desktop portal answered without a screenshot file"));
    const QString portalFile = uri.toLocalFile();
    QString error;
    std::optional<QImage> image = pelorin::readImageFile(portalFile, &error);
    // A copy in a temporary place may be readable by anyone (/tmp/out.png with wlroots): it goes
    // as soon as it is read, whatever happens next. One in the home folder is where the desktop
    // keeps the user's screenshots (GNOME's Screenshots folder), and stays.
    const QString home = QDir(QDir::homePath()).canonicalPath() + u'/';
    if (!QFileInfo(portalFile).canonicalFilePath().startsWith(home) && !QFile::remove(portalFile))
        std::fprintf(stderr, "pelorin-screencapture: could not remove the portal's copy %s\n", qPrintable(portalFile));
    if (!image)
        return fail(QStringLiteral("cannot read the portal's screenshot %1: %2").arg(portalFile, error));
    // A whole-desktop picture shows its scale in its width over the desktop's; a region the
    // user chose is taken at the largest scale of the outputs, as the backends render it.
    double scale = screens.largest;
    if (!interactive && !screens.desktopPoints.isEmpty()) {
        const double measured = std::round(image->width() * 100.0 / screens.desktopPoints.width()) / 100.0;
        if (measured >= 0.5 && measured <= 8.0)
            scale = measured;
    }
    image->setDevicePixelRatio(scale);
    pelorin::setResolutionFromScale(*image);
    QSaveFile file(output);
    QImageWriter writer(&file, "png");
    if (!file.open(QIODevice::WriteOnly))
        return fail(QStringLiteral("cannot write %1: %2").arg(output, file.errorString()));
    if (!writer.write(*image))
        return fail(QStringLiteral("cannot write %1: %2").arg(output, writer.errorString()));
    if (const std::optional<QString> failed = pelorin::commitAtomically(file))
        return fail(QStringLiteral("cannot write ") + *failed);
    return 0;
}

#include "PortalScreenshot.moc"
