// Pelorin on the desktops users run, each a throw-away headless session of the real thing
// (desktop-session.sh); the capture tool's failures outside a working session; the tray icon
// with a real StatusNotifierItem watcher.

#include "PrivateBus.h"
#include "TestSupport.h"
#include "core/ImageFile.h"

#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDir>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

using namespace pelorin;

namespace {

// What a session needs, by name on the PATH or by its path.
bool installed(const QString& program)
{
    return program.startsWith(u'/') ? QFileInfo::exists(program) : !QStandardPaths::findExecutable(program).isEmpty();
}
#define SKIP_WITHOUT(...)                                                                                               \
    for (const char* program : {__VA_ARGS__})                                                                          \
        if (!installed(QLatin1String(program)))                                                                         \
            GTEST_SKIP() << "scripts/test-desktops.sh installs what this needs; missing: " << program
#define PORTAL "/usr/libexec/xdg-desktop-portal", "dbus-run-session", "gdbus"

const auto openToAll = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup
    | QFile::ReadOther | QFile::ExeOther;

// One session of a desktop with its own folder. As root the session runs as nobody, so the
// app and its capture tool are copied where nobody can run them.
class DesktopSession {
public:
    DesktopSession()
    {
        QFile::setPermissions(m_work.path(), openToAll);
        for (const char* program : {PELORIN_PROGRAM, SCREENCAPTURE_TOOL}) {
            const QString copy = m_work.filePath(QFileInfo(QLatin1String(program)).fileName());
            QFile::copy(QLatin1String(program), copy);
            QFile::setPermissions(copy, openToAll);
        }
        env.insert(QStringLiteral("SESSION_DIR"), dir());
        env.insert(QStringLiteral("APP"), m_work.filePath(QStringLiteral("pelorin-app")));
        env.insert(QStringLiteral("TOOL"), m_work.filePath(QStringLiteral("pelorin-screencapture")));
    }

    // Qt's platform plugins as on a machine without its Wayland plugin.
    void withoutWaylandPlugin()
    {
        const QString plugins = m_work.filePath(QStringLiteral("platforms"));
        QDir().mkdir(plugins);
        QFile::setPermissions(plugins, openToAll);
        QFile::link(QLibraryInfo::path(QLibraryInfo::PluginsPath) + QStringLiteral("/platforms/libqoffscreen.so"),
                    plugins + QStringLiteral("/libqoffscreen.so"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM_PLUGIN_PATH"), plugins);
    }

    // Runs the shell `script` in a session of `desktop`; it finds the app in $APP and the capture
    // tool in $TOOL. Returns its exit status (3: the session did not come up).
    int run(const char* desktop, const QString& script)
    {
        QProcess process;
        process.setProcessEnvironment(env);
        process.start(QStringLiteral("/bin/bash"), {QStringLiteral(DESKTOP_SESSION), QLatin1String(desktop),
                                                    QStringLiteral("/bin/sh"), QStringLiteral("-c"), script});
        if (!process.waitForFinished(240'000)) {
            process.kill();
            process.waitForFinished();
        }
        errors = QString::fromUtf8(process.readAllStandardError());
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }

    QString dir() const { return m_work.filePath(QStringLiteral("session")); }
    QString file(const char* name) const { return QString::fromUtf8(test::readBytes(dir() + u'/' + QLatin1String(name))); }

    // The screenshot the script left in the session folder: the whole screen of `pixels` at
    // `scale`, painted #ff8800 but for the desktop's own top edge.
    void expectScreenshot(QSize pixels, double scale, const char* topRight = "#ff8800") const
    {
        const std::optional<QImage> shot = readImageFile(dir() + QStringLiteral("/shot.png"));
        ASSERT_TRUE(shot) << errors.toStdString();
        EXPECT_EQ(shot->size(), pixels);
        EXPECT_DOUBLE_EQ(shot->devicePixelRatio(), scale) << "the file carries the screen's scale";
        const QRect screen = shot->rect();
        for (const QPoint at : {screen.center(), screen.bottomRight(), screen.bottomLeft()})
            EXPECT_EQ(shot->pixelColor(at).name(), QStringLiteral("#ff8800")) << at.x() << "," << at.y();
        EXPECT_EQ(shot->pixelColor(screen.topRight()).name(), QLatin1String(topRight));
    }

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    QString errors;

private:
    QTemporaryDir m_work{QDir::tempPath() + QStringLiteral("/pelorin-desktop-XXXXXX")};
};

// Starts the app in the tray, waits until its log holds `line` (or a minute passes), and quits it.
QString appUntil(const QString& line, const QString& log = QStringLiteral("app.log"))
{
    return QStringLiteral("QT_QPA_PLATFORM=wayland \"$APP\" --background 2> \"$SESSION_DIR/%2\" & app=$!\n"
                          "for i in $(seq 600); do grep -q '%1' \"$SESSION_DIR/%2\" && break; sleep 0.1; done\n"
                          "kill $app; wait $app\n")
        .arg(line, log);
}

} // namespace

// sway's screen, 1280 × 800 pixels, through the portal's wlroots backend.
TEST(PortalCapture, RealPortalSession)
{
    SKIP_WITHOUT(PORTAL, "sway", "swaybg", "grim", "pipewire", "/usr/libexec/xdg-desktop-portal-wlr",
                 "/usr/libexec/xdg-desktop-portal-gtk");
    const struct {
        const char* name;
        const char* arguments;
        const char* scale;
        const char* slurp; // the user's drag
        int exitCode;
        QSize pixels; // empty: no file
        bool withoutWaylandPlugin = false;
    } cases[] = {
        {"full screen", "", "1", "", 0, QSize(1280, 800)},
        {"region", "-i -o", "1", "100,50 300x200", 0, QSize(300, 200)},
        // The wlroots backend reports a cancelled selection as a failure (response 2).
        {"cancel", "-i -o", "1", "cancel", 2, QSize()},
        // The same 1280 × 800 pixels at scale 2 are 640 × 400 points.
        {"region at scale 2", "-i -o", "2", "10,20 300x200", 0, QSize(600, 400)},
        // One monitor is cut from the whole desktop the portal gives.
        {"monitor 1", "-D 1", "2", "", 0, QSize(1280, 800)},
        // The portal cannot take an exact region without its picker: refused, and said so.
        {"exact region", "-R 0,0,10,10", "1", "", 2, QSize()},
        // Without Qt's Wayland plugin the portal still answers; nothing falls back to X11.
        {"without qt6-wayland", "", "1", "", 0, QSize(1280, 800), true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DesktopSession session;
        session.env.insert(QStringLiteral("DSK_SCALE"), QLatin1String(c.scale));
        session.env.insert(QStringLiteral("DSK_SLURP"), QLatin1String(c.slurp));
        if (c.withoutWaylandPlugin)
            session.withoutWaylandPlugin();
        // The wlroots backend leaves its picture at a fixed path: the tool must take it away.
        const int exitCode = session.run("sway", QStringLiteral("\"$TOOL\" %1 \"$SESSION_DIR/shot.png\"; rc=$?\n"
                                                                "[ -e /tmp/out.png ] && echo PORTAL-FILE-LEFT >&2; exit $rc")
                                                     .arg(QLatin1String(c.arguments)));
        ASSERT_NE(exitCode, 3) << "the session did not come up: " << session.errors.toStdString();
        EXPECT_EQ(exitCode, c.exitCode) << session.errors.toStdString();
        EXPECT_FALSE(session.errors.contains(QLatin1String("PORTAL-FILE-LEFT"))) << "the portal's copy was left behind";
        if (!c.pixels.isEmpty()) {
            session.expectScreenshot(c.pixels, QLatin1String(c.scale).toDouble());
            continue;
        }
        EXPECT_FALSE(QFileInfo::exists(session.dir() + QStringLiteral("/shot.png")));
        EXPECT_TRUE(session.errors.contains(QLatin1String("pelorin-screencapture: ")))
            << "a failure is explained: " << session.errors.toStdString();
    }
}

// Failures outside a working session are explained, never an abort. A portal backend that takes
// the request and never answers (SilentPortal): a screenshot without a choice gives up after a
// few seconds; one where the user chooses waits until the app stops the tool. Either way the
// request is closed, so the desktop's dialog goes too.
TEST(PortalCapture, FailuresAreExplained)
{
    SKIP_WITHOUT("dbus-daemon");
    QTemporaryDir dir;
    const QString shot = dir.filePath(QStringLiteral("shot.png"));
    enum Bus { none, withoutPortal, silentPortal };
    const struct {
        const char* name;
        Bus bus;
        const char* display; // a Wayland display unless it starts with ':'
        QStringList arguments; // given: the user chooses, until the app stops the tool
        int exitCode;
        const char* message;
    } cases[] = {
        {"no session bus", none, "no-such-display", {}, 2, "cannot connect to the Wayland display no-such-display"},
        {"a bus without the portal", withoutPortal, "no-such-display", {}, 2, "Screenshot call failed"},
        {"an X display that is not there", none, ":4711", {}, 2, "cannot connect to the X display :4711"},
        {"unanswered full screen", silentPortal, "no-such-display", {}, 2, "did not answer within 10 s"},
        {"unanswered region, the app gives up", silentPortal, "no-such-display", {QStringLiteral("-i"), QStringLiteral("-o")}, 1,
         "pelorin-screencapture: cancelled"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::PrivateBus bus;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.path());
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        const bool x11 = *c.display == ':';
        env.insert(QLatin1String(x11 ? "DISPLAY" : "WAYLAND_DISPLAY"), QLatin1String(c.display));
        env.insert(QStringLiteral("XDG_SESSION_TYPE"), QLatin1String(x11 ? "x11" : "wayland"));
        const QString address = c.bus == none ? QStringLiteral("unix:path=/nonexistent/bus") : bus.address();
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address);
        QProcess portal;
        if (c.bus == silentPortal) {
            portal.setProcessEnvironment(env);
            portal.start(QStringLiteral(SILENT_PORTAL), QStringList());
            ASSERT_TRUE(portal.waitForReadyRead(10'000));
            ASSERT_EQ(portal.readLine().trimmed(), "ready");
        }
        QProcess tool;
        tool.setProcessEnvironment(env);
        tool.start(QStringLiteral(SCREENCAPTURE_TOOL), c.arguments + QStringList{shot});
        if (!c.arguments.isEmpty()) {
            EXPECT_FALSE(tool.waitForFinished(3000)) << "the user may take their time";
            tool.terminate();
        }
        ASSERT_TRUE(tool.waitForFinished(30'000));
        EXPECT_EQ(tool.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(tool.exitCode(), c.exitCode);
        const QString messages = QString::fromUtf8(tool.readAllStandardError());
        EXPECT_TRUE(messages.contains(QLatin1String(c.message))) << messages.toStdString();
        EXPECT_FALSE(QFileInfo::exists(shot));
        if (c.bus == silentPortal) {
            portal.waitForReadyRead(2000);
            EXPECT_TRUE(portal.readAll().startsWith("closed /org/freedesktop/portal/desktop/request/"));
            portal.kill();
            portal.waitForFinished();
        }
    }
}

// The real pixels of GNOME's desktop (background #ff8800, the top bar black) through its portal,
// at scale 1 and 2; and the app tells that GNOME gives apps no global shortcuts, in Settings' words.
TEST(Gnome, CaptureAndShortcutNote)
{
    SKIP_WITHOUT(PORTAL, "gnome-shell", "/usr/libexec/xdg-desktop-portal-gnome");
    for (const int scale : {1, 2}) {
        SCOPED_TRACE(scale);
        DesktopSession session;
        const QSize pixels = QSize(1280, 800) * scale;
        session.env.insert(QStringLiteral("DSK_SIZE"), QStringLiteral("%1x%2").arg(pixels.width()).arg(pixels.height()));
        session.env.insert(QStringLiteral("DSK_SCALE"), QString::number(scale));
        const QString script = QStringLiteral("\"$TOOL\" \"$SESSION_DIR/shot.png\"\n")
            + appUntil(QStringLiteral("does not let apps set global shortcuts"));
        ASSERT_NE(session.run("gnome", script), 3) << session.errors.toStdString();
        session.expectScreenshot(pixels, scale, "#000000");
        const QString log = session.file("app.log");
        EXPECT_TRUE(log.contains(QStringLiteral("This desktop does not let apps set global shortcuts. To capture with a key, "
                                                "bind it in your desktop's keyboard settings (or its configuration file) to "
                                                "the command \u201Cpelorin --capture\u201D")))
            << log.toStdString();
        EXPECT_FALSE(log.contains(QLatin1String("systemTrayWindowChanged"))) << log.toStdString();
    }
}

// KDE Plasma's portal takes the capture shortcut without a key (the key is the user's to
// assign in System Settings): the app says so and where, instead of believing it bound. The
// portal files the shortcut under the app's session name and opens System Settings there; the
// name is the same on every start, so a key the user assigns keeps applying.
TEST(KdePlasma, ShortcutKeyLeftToTheUser)
{
    SKIP_WITHOUT(PORTAL, "/usr/bin/kwin_wayland", "/usr/lib/x86_64-linux-gnu/libexec/xdg-desktop-portal-kde",
                 "/usr/lib/x86_64-linux-gnu/qt5/plugins/platforms/libqwayland-generic.so");
    DesktopSession session;
    const QString script = appUntil(QStringLiteral("System Settings"), QStringLiteral("first.log"))
        + appUntil(QStringLiteral("System Settings"), QStringLiteral("second.log"));
    ASSERT_NE(session.run("kde", script), 3) << session.errors.toStdString();
    for (const char* log : {"first.log", "second.log"}) {
        const QString text = session.file(log);
        EXPECT_TRUE(text.contains(QStringLiteral("has not given Pelorin's \u201CCapture Screenshot\u201D shortcut a key yet. "
                                                "Assign one in System Settings \u2192 Shortcuts, under Pelorin")))
            << log << ": " << text.toStdString();
        EXPECT_TRUE(text.contains(QLatin1String("pelorin --capture"))) << log;
    }
    EXPECT_EQ(session.file("xdg-open.log"), QStringLiteral("systemsettings://kcm_keys/pelorin\nsystemsettings://kcm_keys/pelorin\n"));
}

// The tray icon registers with a StatusNotifierItem watcher (where a panel shows it) and is
// gone from it when the app ends.
TEST(Tray, RegistersWithAStatusNotifierWatcher)
{
    SKIP_WITHOUT("status-notifier-watcher", "dbus-daemon");
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        GTEST_SKIP() << "needs an X display (xvfb-run)";
    test::PrivateBus bus;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus.address());
    QProcess watcherProcess;
    watcherProcess.setProcessEnvironment(env);
    watcherProcess.start(QStringLiteral("status-notifier-watcher"), QStringList());
    QDBusConnection connection = QDBusConnection::connectToBus(bus.address(), QStringLiteral("tray-test"));
    // Asked much more often than every 100 ms, the watcher never takes the app's registration.
    const auto poll = [](const std::function<bool()>& done) {
        return test::waitUntil([&] {
            QThread::msleep(100);
            return done();
        }, 30'000);
    };
    const QString watcherName = QStringLiteral("org.kde.StatusNotifierWatcher");
    ASSERT_TRUE(poll([&] { return connection.interface()->isServiceRegistered(watcherName).value(); }));
    QDBusInterface watcher(watcherName, QStringLiteral("/StatusNotifierWatcher"), watcherName, connection);
    const auto items = [&] { return watcher.property("RegisteredStatusNotifierItems").toStringList(); };
    // A panel's side: a host that shows the items.
    const QString host = QStringLiteral("org.kde.StatusNotifierHost-pelorin-test");
    ASSERT_TRUE(connection.registerService(host));
    watcher.call(QStringLiteral("RegisterStatusNotifierHost"), host);

    QTemporaryDir home;
    env.insert(QStringLiteral("HOME"), home.path());
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    QProcess app;
    app.setProcessEnvironment(env);
    app.start(QStringLiteral(PELORIN_PROGRAM), {QStringLiteral("--background")});
    EXPECT_TRUE(poll([&] { return !items().isEmpty(); })) << "the tray icon never registered";
    app.terminate();
    app.waitForFinished(10'000);
    EXPECT_TRUE(poll([&] { return items().isEmpty(); })) << items().join(u' ').toStdString();
    QDBusConnection::disconnectFromBus(QStringLiteral("tray-test"));
    watcherProcess.kill();
    watcherProcess.waitForFinished();
}
