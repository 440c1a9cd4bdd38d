// pelorin-screencapture [options] PATH
// Captures into PATH as PNG. Without options: the whole desktop, every monitor in one picture.
//   -i            the user drags a region (Space switches to picking a window)
//   -w            with -i: the user clicks a window
//   -o            accepted for compatibility: windows are taken without shadow anyway
//   -R X,Y,W,H    this region of the desktop, in points
//   -D N          monitor N (1 is the leftmost)
//   -m            the monitor under the mouse pointer
//   -T SECONDS    wait this long first (before the overlay appears, when interactive)
//   -C            include the mouse pointer
//   -M            no magnifier in the region overlay
// A region dragged in the overlay is stamped into the PNG (text "Pelorin-Region", with the
// monitor layout as "Pelorin-Layout"), so the app can take it again. On Wayland the desktop
// portal does the capture and the choosing. Exit status 0 only when the PNG was written;
// 1 when the user cancelled; 2 on errors, each explained on standard error.
//
// pelorin-screencapture --standby: starts, connects to the display and waits for one request
// on standard input (a line holding the arguments above as a JSON array of strings), then
// runs it as if started with them. The app keeps one waiting, so a capture's overlay shows
// without the tool's start-up in between. Standard input closed first: exit 1, nothing done.

#include "CaptureOverlay.h"
#include "PointerImage.h"
#include "PortalScreenshot.h"
#include "StopSignals.h"
#include "X11Windows.h"
#include "core/AtomicFile.h"
#include "core/CaptureRegion.h"
#include "core/ImageFile.h"

#include <QApplication>
#include <QCursor>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QImageWriter>
#include <QSaveFile>
#include <QScreen>
#include <QSet>
#include <QThread>
#include <QTimer>
#include <QWindow>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

namespace {

struct Request {
    bool interactive = false;
    bool windowMode = false;
    std::optional<QRect> region;
    int monitor = 0; // 1-based; 0: none asked for
    bool monitorUnderPointer = false;
    double delaySeconds = 0;
    bool pointer = false;
    bool magnifier = true;
    QString output;
};

int usage()
{
    std::fputs("usage: pelorin-screencapture [-i [-w]] [-o] [-R X,Y,W,H | -D N | -m] [-T SECONDS] [-C] [-M] PATH\n", stderr);
    return 2;
}

int fail(const QString& message)
{
    std::fprintf(stderr, "pelorin-screencapture: %s\n", qPrintable(message));
    return 2;
}

std::optional<Request> parse(const QStringList& args)
{
    Request request;
    if (args.isEmpty() || args.last().startsWith(u'-'))
        return std::nullopt;
    request.output = args.last();
    const QStringList options = args.mid(0, args.size() - 1);
    for (qsizetype i = 0; i < options.size(); ++i) {
        const QString& option = options[i];
        const auto value = [&]() -> std::optional<QString> {
            if (i + 1 >= options.size())
                return std::nullopt;
            return options[++i];
        };
        if (option == u"-i") {
            request.interactive = true;
        } else if (option == u"-w") {
            request.windowMode = true;
        } else if (option == u"-o") {
        } else if (option == u"-C") {
            request.pointer = true;
        } else if (option == u"-M") {
            request.magnifier = false;
        } else if (option == u"-m") {
            request.monitorUnderPointer = true;
        } else if (option == u"-R") {
            const auto text = value();
            request.region = text ? pelorin::parseCaptureRegion(*text) : std::nullopt;
            if (!request.region)
                return std::nullopt;
        } else if (option == u"-D") {
            const auto text = value();
            bool ok = false;
            request.monitor = text ? text->toInt(&ok) : 0;
            if (!ok || request.monitor < 1)
                return std::nullopt;
        } else if (option == u"-T") {
            const auto text = value();
            bool ok = false;
            request.delaySeconds = text ? text->toDouble(&ok) : -1;
            if (!ok || !std::isfinite(request.delaySeconds) || request.delaySeconds < 0 || request.delaySeconds > 3600)
                return std::nullopt;
        } else {
            return std::nullopt;
        }
    }
    if (request.windowMode)
        request.interactive = true;
    const int targets = int(request.interactive) + int(request.region.has_value()) + int(request.monitor > 0)
        + int(request.monitorUnderPointer);
    if (targets > 1)
        return std::nullopt;
    return request;
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

QList<QRect> monitorGeometries()
{
    QList<QRect> monitors;
    for (const QScreen* screen : QGuiApplication::screens())
        monitors << screen->geometry();
    return pelorin::monitorsInReadingOrder(monitors);
}

// The monitor a request names, in desktop points; empty (with the error told) when there is none.
QRect requestedMonitor(const Request& request, const QList<QRect>& monitors, QPoint pointer = QCursor::pos())
{
    if (request.monitor > 0) {
        if (request.monitor > monitors.size()) {
            fail(QStringLiteral("there is no monitor %1 (this desktop has %2)").arg(request.monitor).arg(monitors.size()));
            return {};
        }
        return monitors[request.monitor - 1];
    }
    for (const QRect& monitor : monitors)
        if (monitor.contains(pointer))
            return monitor;
    return monitors.value(0);
}

int portalCapture(int argc, char** argv, const Request& request)
{
    if (request.region)
        return fail(QStringLiteral("an exact region cannot be captured on Wayland: the desktop lets only its own picker choose "
                                   "one (capture a region interactively, or a whole screen)"));
    if (request.pointer)
        std::fputs("pelorin-screencapture: the desktop portal decides itself whether the pointer is in the picture\n", stderr);
    const bool reachable = waylandDisplayReachable();
    // Only the screens' scale is wanted from the display; without the Wayland platform plugin
    // the capture still works instead of aborting in a missing X11 connection.
    qputenv("QT_QPA_PLATFORM", "wayland;offscreen");
    QGuiApplication app(argc, argv);
    ScreenScale screens;
    QRect desktop;
    const bool wayland = QGuiApplication::platformName() == u"wayland";
    if (wayland) {
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
    const bool oneMonitor = request.monitor > 0 || request.monitorUnderPointer;
    if (oneMonitor && !wayland)
        return fail(QStringLiteral("one monitor alone needs Qt's Wayland platform (qt6-wayland) to know where it lies"));
    QRect monitor;
    if (oneMonitor && (monitor = requestedMonitor(request, monitorGeometries())).isEmpty())
        return 2;
    if (request.delaySeconds > 0)
        QThread::msleep(static_cast<unsigned long>(request.delaySeconds * 1000));
    const int result = portalScreenshot(request.output, request.interactive, screens);
    if (result != 0 || !oneMonitor)
        return result;
    // The portal gives the whole desktop; one monitor is cut from it.
    QString error;
    std::optional<QImage> whole = pelorin::readImageFile(request.output, &error);
    if (!whole)
        return fail(QStringLiteral("cannot read back %1: %2").arg(request.output, error));
    const qreal scale = whole->devicePixelRatio();
    const QRect pixels(QPointF((monitor.topLeft() - desktop.topLeft()) * scale).toPoint(), QSizeF(monitor.size() * scale).toSize());
    QImage part = whole->copy(pixels);
    part.setDevicePixelRatio(scale);
    return writePng(part, request.output);
}

// On X11 the tool counts in points: the root's pixels over the one scale every screen has (see
// useOneScaleOnEveryScreen). Qt keeps each screen's corner in root pixels and shrinks only its
// size, which leaves gaps between neighbouring screens at any scale but 1; points have none.
struct RootPoints {
    qreal scale = 1;

    static RootPoints ofScreens()
    {
        RootPoints space;
        for (const QScreen* screen : QGuiApplication::screens())
            space.scale = std::max(space.scale, screen->devicePixelRatio());
        return space;
    }
    QRect fromPixels(const QRect& pixels) const
    {
        return QRectF(QPointF(pixels.topLeft()) / scale, QSizeF(pixels.size()) / scale).toAlignedRect();
    }
    static QRect pixelsOf(const QScreen* screen)
    {
        const QRect g = screen->geometry();
        return QRect(g.topLeft(), (QSizeF(g.size()) * screen->devicePixelRatio()).toSize());
    }
    // Where to ask Qt to place a window that covers these points: Qt counts a window's position
    // from the corner of the screen under its centre.
    QPoint qtPosition(const QRect& points) const
    {
        const QPointF corner = QPointF(points.topLeft()) * scale;
        for (const QScreen* screen : QGuiApplication::screens())
            if (pixelsOf(screen).contains((QPointF(points.center()) * scale).toPoint())) {
                const QPointF screenCorner = screen->geometry().topLeft();
                return (screenCorner + (corner - screenCorner) / screen->devicePixelRatio()).toPoint();
            }
        return corner.toPoint();
    }
    QPoint pointer() const
    {
        const QPoint at = QCursor::pos();
        for (const QScreen* screen : QGuiApplication::screens())
            if (screen->geometry().contains(at)) {
                const QPoint corner = screen->geometry().topLeft();
                return (QPointF(corner) + QPointF(at - corner) * screen->devicePixelRatio()).toPoint() / scale;
            }
        return at;
    }
    QList<QRect> monitors() const
    {
        QList<QRect> monitors;
        for (const QScreen* screen : QGuiApplication::screens())
            monitors << fromPixels(pixelsOf(screen));
        return pelorin::monitorsInReadingOrder(monitors);
    }
};

// The whole desktop (in points) in device pixels, every monitor in one picture: X11 keeps them
// in one root.
QImage grabDesktop(const QRect& desktop, const RootPoints& space, bool withPointer)
{
    QScreen* primary = QGuiApplication::primaryScreen();
    // Qt takes the area relative to the screen's corner, in that screen's points.
    const QPointF corner = primary->geometry().topLeft();
    const QPointF from = (QPointF(desktop.topLeft()) * space.scale - corner) / primary->devicePixelRatio();
    const QSizeF size = QSizeF(desktop.size()) * space.scale / primary->devicePixelRatio();
    QImage picture = x11GrabRootShared(QRect((QPointF(desktop.topLeft()) * space.scale).toPoint(), (QSizeF(desktop.size()) * space.scale).toSize()));
    if (picture.isNull())
        picture = primary->grabWindow(0, qRound(from.x()), qRound(from.y()), qRound(size.width()), qRound(size.height()))
                      .toImage()
                      .convertToFormat(QImage::Format_RGB32);
    if (picture.isNull())
        return picture;
    picture.setDevicePixelRatio(picture.width() / qreal(std::max(1, desktop.width())));
    if (withPointer)
        drawPointer(picture, desktop.topLeft());
    return picture;
}

QImage cropToPoints(const QImage& desktopPicture, const QRect& desktop, const QRect& points)
{
    const qreal scale = desktopPicture.devicePixelRatio();
    const QRect local = points.translated(-desktop.topLeft());
    const QRect pixels = QRect(QPoint(qFloor(local.left() * scale), qFloor(local.top() * scale)),
                               QPoint(qCeil((local.right() + 1) * scale) - 1, qCeil((local.bottom() + 1) * scale) - 1))
        & desktopPicture.rect();
    QImage part = desktopPicture.copy(pixels);
    part.setDevicePixelRatio(scale);
    return part;
}

int captureOnX11(const Request& request)
{
    const RootPoints space = RootPoints::ofScreens();
    const QList<QRect> monitors = space.monitors();
    QRect desktop;
    for (const QRect& monitor : monitors)
        desktop |= monitor;

    if (!request.interactive) {
        QRect area = desktop;
        if (request.region) {
            area = *request.region & desktop;
            if (area.isEmpty())
                return fail(QStringLiteral("the region %1 lies outside the screens (%2)")
                                .arg(pelorin::captureRegionText(*request.region), pelorin::captureRegionText(desktop)));
        } else if (request.monitor > 0 || request.monitorUnderPointer) {
            if ((area = requestedMonitor(request, monitors, space.pointer())).isEmpty())
                return 2;
        }
        const QImage picture = grabDesktop(desktop, space, request.pointer);
        if (picture.isNull())
            return fail(QStringLiteral("the X server gave no picture of the screen"));
        return writePng(cropToPoints(picture, desktop, area), request.output);
    }

    // Freeze the desktop first, then cover it, so the overlay is not in the picture.
    const QImage frozen = grabDesktop(desktop, space, request.pointer);
    if (frozen.isNull())
        return fail(QStringLiteral("the X server gave no picture of the screen"));
    int result = 1;
    QEventLoop choosing;
    QList<QRect> windows;
    for (const QRect& window : x11WindowRects())
        windows << space.fromPixels(window);
    auto* overlay = new CaptureOverlay(desktop, space.qtPosition(desktop), monitors,
                                       frozen, {request.windowMode, request.magnifier}, windows, space.pointer());
    QObject::connect(overlay, &CaptureOverlay::chosen, &choosing, [&](QImage image, const QRect& region) {
        // Only a dragged region is offered again as the last region, not a window's area.
        if (!overlay->windowMode()) {
            image.setText(QLatin1String(pelorin::captureRegionTextKey), pelorin::captureRegionText(region));
            image.setText(QLatin1String(pelorin::captureLayoutTextKey), pelorin::screenLayoutKey(monitors));
        }
        result = writePng(image, request.output);
        choosing.quit();
    });
    QObject::connect(overlay, &CaptureOverlay::cancelled, &choosing, &QEventLoop::quit);
    overlay->show();
    overlay->activateWindow();
    overlay->grabKeyboard();
    // The server refuses a keyboard grab while the window is not yet viewable or another
    // client still holds one; the keys would then go elsewhere. Asked again until it holds.
    const auto keyboardGrabbed = [overlay] {
        QWindow* window = overlay->windowHandle();
        return window && window->setKeyboardGrabEnabled(true);
    };
    QTimer grabbing;
    grabbing.setInterval(20);
    int grabAttempts = 0;
    QObject::connect(&grabbing, &QTimer::timeout, overlay, [&] {
        if (keyboardGrabbed() || ++grabAttempts >= 100)
            grabbing.stop();
    });
    if (!keyboardGrabbed())
        grabbing.start();
    choosing.exec();
    overlay->close();
    if (result == 1)
        std::fputs("pelorin-screencapture: cancelled\n", stderr);
    return result;
}

// Qt scales each X11 screen by its own factor only where QT_SCREEN_SCALE_FACTORS asks for it.
// X11 still draws every monitor into one root of real pixels, so an overlay spanning monitors
// of different factors would map its points to the wrong pixels at the seam. One factor for
// every screen, the highest, keeps one mapping, and the picture comes out at that resolution.
void useOneScaleOnEveryScreen()
{
    const QString perScreen = qEnvironmentVariable("QT_SCREEN_SCALE_FACTORS");
    qreal highest = 0;
    QSet<qreal> factors;
    for (const QString& entry : perScreen.split(u';', Qt::SkipEmptyParts)) {
        bool ok = false;
        const qreal factor = entry.section(u'=', -1).toDouble(&ok);
        if (ok && factor > 0) {
            factors.insert(factor);
            highest = std::max(highest, factor);
        }
    }
    if (factors.size() < 2)
        return;
    bool ok = false;
    qreal global = qEnvironmentVariable("QT_SCALE_FACTOR").toDouble(&ok);
    if (!ok || global <= 0)
        global = 1;
    qunsetenv("QT_SCREEN_SCALE_FACTORS");
    qputenv("QT_SCALE_FACTOR", QByteArray::number(global * highest));
}

// What the first overlay loads on first use (fonts and glyphs, the style, the cursor theme,
// the window's platform parts) is loaded while the tool waits, so its overlay paints sooner.
void warmUp()
{
    const RootPoints space = RootPoints::ofScreens();
    const QList<QRect> monitors = space.monitors();
    QRect desktop;
    for (const QRect& monitor : monitors)
        desktop |= monitor;
    QImage frozen(16, 16, QImage::Format_RGB32);
    frozen.fill(Qt::black);
    CaptureOverlay overlay(desktop, space.qtPosition(desktop), monitors, frozen, {false, true}, {}, space.pointer());
    overlay.winId();
    QImage scratch(desktop.size(), QImage::Format_RGB32);
    overlay.render(&scratch);
}

// The request a waiting tool is given; none when standard input closes first.
std::optional<QStringList> standbyRequest()
{
    std::string line;
    if (!std::getline(std::cin, line))
        return std::nullopt;
    QStringList args;
    for (const QJsonValue& value : QJsonDocument::fromJson(QByteArray::fromStdString(line)).array())
        args << value.toString();
    return args;
}

} // namespace

int main(int argc, char** argv)
{
    // A capture the app no longer waits for (it quit or died) ends with it.
    if (!StopSignals::stopWithParent())
        return 1;
    const bool standby = argc == 2 && std::strcmp(argv[1], "--standby") == 0;
    QStringList args;
    for (int i = 1; i < argc && !standby; ++i)
        args << QString::fromLocal8Bit(argv[i]);

    // Chosen before any platform plugin loads: the portal path needs no X11 connection.
    if (waylandSession()) {
        // The portal starts its own dialog: nothing of ours to have ready.
        if (standby) {
            const std::optional<QStringList> given = standbyRequest();
            if (!given)
                return 1;
            args = *given;
        }
        const std::optional<Request> request = parse(args);
        return request ? portalCapture(argc, argv, *request) : usage();
    }
    std::optional<Request> request;
    if (!standby && !(request = parse(args)))
        return usage();

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
    useOneScaleOnEveryScreen();
    QApplication app(argc, argv);
    if (QGuiApplication::platformName() != u"xcb")
        return fail(QStringLiteral("capturing needs an X11 display or a Wayland session with the desktop portal (platform %1)")
                        .arg(QGuiApplication::platformName()));
    if (standby) {
        // Ready: the display is open and Qt started. What happened on the display meanwhile
        // (monitors added or moved) is taken in before the request runs.
        warmUp();
        const std::optional<QStringList> given = standbyRequest();
        if (!given)
            return 1;
        if (!(request = parse(*given)))
            return usage();
        QApplication::processEvents();
    }
    // The delay runs on the event loop: the tool stays responsive to being stopped.
    int result = 2;
    QTimer::singleShot(std::chrono::milliseconds(qRound64(request->delaySeconds * 1000)), &app, [&] {
        result = captureOnX11(*request);
        QApplication::quit();
    });
    QApplication::exec();
    return result;
}
