// pelorin-screencapture [-i [-w]] [-o] PATH
// Captures into PATH as PNG: the (primary) screen, or with -i a region the user drags (with -w
// a window the user clicks). On Wayland the desktop portal does the capture and the choosing.
// Exit status 0 only when the PNG was written; 1 when the user cancelled; 2 on errors, each
// explained on standard error.

#include "CaptureOverlay.h"
#include "PortalScreenshot.h"
#include "StopSignals.h"
#include "X11Windows.h"
#include "core/AtomicFile.h"
#include "core/ImageFile.h"

#include <QApplication>
#include <QImageWriter>
#include <QSaveFile>
#include <QScreen>
#include <QSet>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

int usage()
{
    std::fputs("usage: pelorin-screencapture [-i [-w]] [-o] PATH\n", stderr);
    return 2;
}

int fail(const QString& message)
{
    std::fprintf(stderr, "pelorin-screencapture: %s\n", qPrintable(message));
    return 2;
}

// The screen's scale goes into the file's resolution, so the app opens it at its point size.
int writePng(QImage image, const QString& path)
{
    pelorin::setResolutionFromScale(image);
    QSaveFile file(path);
    QImageWriter writer(&file, "png");
    if (!file.open(QIODevice::WriteOnly) || !writer.write(image))
        return fail(QStringLiteral("cannot write %1: %2")
                        .arg(path, writer.error() != QImageWriter::UnknownError ? writer.errorString() : file.errorString()));
    if (const std::optional<QString> failed = pelorin::commitAtomically(file))
        return fail(QStringLiteral("cannot write ") + *failed);
    return 0;
}

// A Wayland session is decided by the session, not by whichever Qt platform would start:
// X11 grabs through Xwayland see only X11 clients, or nothing at all.
bool waylandSession()
{
    return !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") || qgetenv("XDG_SESSION_TYPE") == "wayland";
}

// Whether the compositor's socket takes a connection, tried before Qt so a failure can be told
// apart from a missing Wayland platform plugin.
bool waylandDisplayReachable()
{
    QString path = qEnvironmentVariable("WAYLAND_DISPLAY", QStringLiteral("wayland-0"));
    if (!path.startsWith(u'/'))
        path = qEnvironmentVariable("XDG_RUNTIME_DIR") + u'/' + path;
    const QByteArray name = path.toLocal8Bit();
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    if (name.size() >= qsizetype(sizeof(address.sun_path)))
        return false;
    std::memcpy(address.sun_path, name.constData(), name.size());
    const int socket = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const bool reached = socket >= 0 && ::connect(socket, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    if (socket >= 0)
        ::close(socket);
    return reached;
}

int portalCapture(int argc, char** argv, const QString& output, bool interactive)
{
    const bool reachable = waylandDisplayReachable();
    // Only the screens' scale is wanted from the display; without the Wayland platform plugin
    // the capture still works instead of aborting in a missing X11 connection.
    qputenv("QT_QPA_PLATFORM", "wayland;offscreen");
    QGuiApplication app(argc, argv);
    ScreenScale screens;
    if (QGuiApplication::platformName() == u"wayland") {
        QRect desktop;
        QSet<qreal> scales;
        for (const QScreen* screen : QGuiApplication::screens()) {
            screens.largest = std::max(screens.largest, screen->devicePixelRatio());
            scales.insert(screen->devicePixelRatio());
            desktop |= screen->geometry();
        }
        // Where every screen has one scale, that is the picture's. Only mixed scales need the
        // picture measured against the desktop's size, which GNOME's shell (in its default
        // layout) reports in pixels where others report points.
        if (scales.size() > 1)
            screens.desktopPoints = desktop.size();
    } else if (!reachable) {
        std::fprintf(stderr, "pelorin-screencapture: cannot connect to the Wayland display %s; the screen's scale is guessed\n",
                     qPrintable(qEnvironmentVariable("WAYLAND_DISPLAY", QStringLiteral("wayland-0"))));
    } else {
        std::fputs("pelorin-screencapture: Qt's Wayland platform is not installed (qt6-wayland); "
                   "the screen's scale is guessed\n", stderr);
    }
    return portalScreenshot(output, interactive, screens);
}

} // namespace

int main(int argc, char** argv)
{
    // A capture the app no longer waits for (it quit or died) ends with it.
    if (!StopSignals::stopWithParent())
        return 1;
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    if (args.isEmpty() || args.last().startsWith(u'-'))
        return usage();
    for (const QString& arg : args.mid(0, args.size() - 1))
        if (arg != u"-i" && arg != u"-w" && arg != u"-o")
            return usage();
    const bool interactive = args.contains(QLatin1String("-i"));
    const bool windowMode = args.contains(QLatin1String("-w"));
    const QString output = args.last();

    // Chosen before any platform plugin loads: the portal path needs no X11 connection.
    if (waylandSession())
        return portalCapture(argc, argv, output, interactive || windowMode);

    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        if (qEnvironmentVariableIsEmpty("DISPLAY"))
            return fail(QStringLiteral("no display: neither WAYLAND_DISPLAY nor DISPLAY is set"));
        // Qt aborts when its platform cannot start; say what is wrong instead.
        xcb_connection_t* probe = xcb_connect(nullptr, nullptr);
        const bool reachable = xcb_connection_has_error(probe) == 0;
        xcb_disconnect(probe);
        if (!reachable)
            return fail(QStringLiteral("cannot connect to the X display %1").arg(qEnvironmentVariable("DISPLAY")));
        qputenv("QT_QPA_PLATFORM", "xcb");
    }
    QApplication app(argc, argv);
    if (QGuiApplication::platformName() != u"xcb")
        return fail(QStringLiteral("capturing needs an X11 display or a Wayland session with the desktop portal (platform %1)")
                        .arg(QGuiApplication::platformName()));

    if (!interactive) { // the primary screen
        QScreen* primary = QGuiApplication::primaryScreen();
        QImage picture = primary->grabWindow(0).toImage();
        if (picture.isNull())
            return fail(QStringLiteral("the X server gave no picture of the screen"));
        picture.setDevicePixelRatio(primary->devicePixelRatio());
        return writePng(picture, output);
    }

    const QList<QRect> windows = windowMode ? x11WindowRects() : QList<QRect>();
    int result = 1;
    QList<CaptureOverlay*> overlays;
    // Freeze every screen first, then cover them, so the overlays are not in the picture.
    QList<std::pair<QScreen*, QImage>> frozen;
    for (QScreen* screen : QGuiApplication::screens())
        frozen.append({screen, screen->grabWindow(0).toImage()});
    for (const auto& [screen, picture] : frozen) {
        auto* overlay = new CaptureOverlay(screen, picture, windowMode, windows);
        QObject::connect(overlay, &CaptureOverlay::chosen, &app, [&](const QImage& image) {
            result = writePng(image, output);
            QApplication::quit();
        });
        QObject::connect(overlay, &CaptureOverlay::cancelled, &app, [] { QApplication::quit(); });
        overlays.append(overlay);
        overlay->show();
        overlay->activateWindow();
        overlay->grabKeyboard();
    }
    QApplication::exec();
    if (result == 1)
        std::fputs("pelorin-screencapture: cancelled\n", stderr);
    return result;
}
