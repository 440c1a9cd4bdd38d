// pelorin-screencapture [-i [-w]] [-o] PATH
// Captures into PATH as PNG: the (primary) screen, or with -i a region the user drags (with -w
// a window the user clicks). On Wayland the desktop portal does the capture and the choosing.
// Exit status 0 only when the PNG was written; 1 when the user cancelled; 2 on errors, each
// explained on standard error.

#include "CaptureOverlay.h"
#include "PortalScreenshot.h"
#include "X11Windows.h"
#include "core/AtomicFile.h"
#include "core/ImageFile.h"

#include <QApplication>
#include <QImageWriter>
#include <QSaveFile>
#include <QScreen>

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

int portalCapture(int argc, char** argv, const QString& output, bool interactive)
{
    // Only the screens' scale is wanted from the display; without the Wayland platform plugin
    // the capture still works instead of aborting in a missing X11 connection.
    qputenv("QT_QPA_PLATFORM", "wayland;offscreen");
    QGuiApplication app(argc, argv);
    ScreenScale screens;
    if (QGuiApplication::platformName() == u"wayland") {
        QRect desktop;
        for (const QScreen* screen : QGuiApplication::screens()) {
            screens.largest = std::max(screens.largest, screen->devicePixelRatio());
            desktop |= screen->geometry();
        }
        screens.desktopPoints = desktop.size();
    } else {
        std::fputs("pelorin-screencapture: Qt's Wayland platform is not installed (qt6-wayland); "
                   "the screen's scale is guessed\n", stderr);
    }
    return portalScreenshot(output, interactive, screens);
}

} // namespace

int main(int argc, char** argv)
{
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
