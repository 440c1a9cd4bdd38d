// Pelorin on the desktops most users run, each a throw-away headless session of the real thing
// (desktop-session.sh): GNOME's shell and portal take the screenshot and tell apps there are no
// global shortcuts; KDE Plasma's portal takes the capture shortcut and leaves its key to the
// user. And the tray icon registers with a real StatusNotifierItem watcher.

#include "PrivateBus.h"
#include "TestSupport.h"
#include "core/ImageFile.h"

#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <functional>

using namespace pelorin;

namespace {

QString missing(const QStringList& programs)
{
    QStringList absent;
    for (const QString& program : programs)
        if (program.startsWith(u'/') ? !QFileInfo(program).exists() : QStandardPaths::findExecutable(program).isEmpty())
            absent << QFileInfo(program).fileName();
    return absent.join(QStringLiteral(", "));
}

const QStringList gnomePrograms{QStringLiteral("gnome-shell"), QStringLiteral("/usr/libexec/xdg-desktop-portal-gnome"),
                                QStringLiteral("/usr/libexec/xdg-desktop-portal"), QStringLiteral("dbus-run-session"),
                                QStringLiteral("gdbus")};
const QStringList kdePrograms{QStringLiteral("/usr/bin/kwin_wayland"),
                              QStringLiteral("/usr/lib/x86_64-linux-gnu/libexec/xdg-desktop-portal-kde"),
                              QStringLiteral("/usr/lib/x86_64-linux-gnu/qt5/plugins/platforms/libqwayland-generic.so"),
                              QStringLiteral("/usr/libexec/xdg-desktop-portal"), QStringLiteral("dbus-run-session"),
                              QStringLiteral("gdbus")};

// One session of a desktop with its own folder. As root the session runs as nobody, so the
// program folder (the app and its capture tool) is copied where nobody can run it.
class DesktopSession {
public:
    DesktopSession()
    {
        const auto open = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup
            | QFile::ReadOther | QFile::ExeOther;
        QFile::setPermissions(m_work.path(), open);
        QDir().mkdir(dir());
        for (const char* program : {PELORIN_PROGRAM, SCREENCAPTURE_TOOL}) {
            const QString copy = m_work.filePath(QFileInfo(QLatin1String(program)).fileName());
            QFile::copy(QLatin1String(program), copy);
            QFile::setPermissions(copy, open);
        }
    }

    // Runs the shell `script` in a session of `desktop`; it finds the app in $APP and the capture
    // tool in $TOOL. Returns its exit status (3: the session did not come up).
    int run(const char* desktop, const QString& script, const QSize& pixels = QSize(1280, 800), int scale = 1)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("SESSION_DIR"), dir());
        env.insert(QStringLiteral("SESSION_KEEP"), QStringLiteral("1"));
        env.insert(QStringLiteral("DSK_SIZE"), QStringLiteral("%1x%2").arg(pixels.width()).arg(pixels.height()));
        env.insert(QStringLiteral("DSK_SCALE"), QString::number(scale));
        env.insert(QStringLiteral("APP"), m_work.filePath(QStringLiteral("pelorin-app")));
        env.insert(QStringLiteral("TOOL"), m_work.filePath(QStringLiteral("pelorin-screencapture")));
        QProcess process;
        process.setProcessEnvironment(env);
        process.start(QStringLiteral("/bin/bash"), {QStringLiteral(DESKTOP_SESSION), QLatin1String(desktop),
                                                    QStringLiteral("/bin/sh"), QStringLiteral("-c"), script});
        if (!process.waitForFinished(240'000)) {
            process.kill();
            process.waitForFinished();
        }
        m_errors = QString::fromUtf8(process.readAllStandardError());
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }

    QString dir() const { return m_work.filePath(QStringLiteral("session")); }
    QString file(const QString& name) const { return QString::fromUtf8(test::readBytes(dir() + u'/' + name)); }
    const QString& errors() const { return m_errors; }

private:
    QTemporaryDir m_work{QDir::tempPath() + QStringLiteral("/pelorin-desktop-XXXXXX")};
    QString m_errors;
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

// The real pixels of GNOME's desktop (background #ff8800, the top bar black) through its portal,
// at scale 1 and 2; and the app tells that GNOME gives apps no global shortcuts, in Settings' words.
TEST(Gnome, CaptureAndShortcutNote)
{
    if (const QString absent = missing(gnomePrograms); !absent.isEmpty())
        GTEST_SKIP() << "needs gnome-shell and xdg-desktop-portal-gnome (scripts/deps.sh installs them); missing: "
                     << absent.toStdString();
    const struct {
        QSize pixels;
        int scale;
        bool app;
    } cases[] = {{QSize(1280, 800), 1, true}, {QSize(2560, 1600), 2, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.scale);
        DesktopSession session;
        QString script = QStringLiteral("\"$TOOL\" \"$SESSION_DIR/shot.png\" 2> \"$SESSION_DIR/tool.log\"\n");
        if (c.app)
            script += appUntil(QStringLiteral("does not let apps set global shortcuts"));
        ASSERT_NE(session.run("gnome", script, c.pixels, c.scale), 3) << session.errors().toStdString();
        const std::optional<QImage> shot = readImageFile(session.dir() + QStringLiteral("/shot.png"));
        ASSERT_TRUE(shot) << session.file(QStringLiteral("tool.log")).toStdString();
        EXPECT_EQ(shot->size(), c.pixels);
        EXPECT_DOUBLE_EQ(shot->devicePixelRatio(), c.scale) << "the file carries the screen's scale";
        const QRect screen = shot->rect();
        for (const QPoint at : {screen.center(), screen.bottomRight(), screen.bottomLeft()})
            EXPECT_EQ(shot->pixelColor(at).name(), QStringLiteral("#ff8800")) << at.x() << "," << at.y();
        EXPECT_EQ(shot->pixelColor(screen.topRight()).name(), QStringLiteral("#000000")) << "the top bar";
        if (!c.app)
            continue;
        const QString log = session.file(QStringLiteral("app.log"));
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
    if (const QString absent = missing(kdePrograms); !absent.isEmpty())
        GTEST_SKIP() << "needs kwin-wayland, xdg-desktop-portal-kde and qtwayland5 (scripts/test-desktops.sh installs "
                        "them); missing: "
                     << absent.toStdString();
    DesktopSession session;
    const QString script = appUntil(QStringLiteral("System Settings"), QStringLiteral("first.log"))
        + appUntil(QStringLiteral("System Settings"), QStringLiteral("second.log"));
    ASSERT_NE(session.run("kde", script), 3) << session.errors().toStdString();
    for (const char* log : {"first.log", "second.log"}) {
        const QString text = session.file(QLatin1String(log));
        EXPECT_TRUE(text.contains(QStringLiteral("has not given Pelorin's \u201CCapture Screenshot\u201D shortcut a key yet. "
                                                "Assign one in System Settings \u2192 Shortcuts, under Pelorin")))
            << log << ": " << text.toStdString();
        EXPECT_TRUE(text.contains(QLatin1String("pelorin --capture"))) << log;
    }
    EXPECT_EQ(session.file(QStringLiteral("xdg-open.log")),
              QStringLiteral("systemsettings://kcm_keys/pelorin\nsystemsettings://kcm_keys/pelorin\n"));
}

// The tray icon registers with a StatusNotifierItem watcher (where a panel shows it) and is
// gone from it when the app ends.
TEST(Tray, RegistersWithAStatusNotifierWatcher)
{
    if (const QString absent = missing({QStringLiteral("status-notifier-watcher"), QStringLiteral("dbus-daemon")});
        !absent.isEmpty())
        GTEST_SKIP() << "needs status-notifier-watcher (package haskell-status-notifier-item-utils; "
                        "scripts/test-desktops.sh installs it); missing: "
                     << absent.toStdString();
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        GTEST_SKIP() << "needs an X display (xvfb-run)";
    test::PrivateBus bus;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus.address());
    QProcess watcher;
    watcher.setProcessEnvironment(env);
    watcher.start(QStringLiteral("status-notifier-watcher"), QStringList());
    QDBusConnection connection = QDBusConnection::connectToBus(bus.address(), QStringLiteral("tray-test"));
    const auto poll = [](const std::function<bool()>& done) {
        QElapsedTimer clock;
        clock.start();
        while (!done() && clock.elapsed() < 30'000)
            QThread::msleep(100);
        return done();
    };
    const QString watcherName = QStringLiteral("org.kde.StatusNotifierWatcher");
    ASSERT_TRUE(poll([&] { return connection.interface()->isServiceRegistered(watcherName).value(); }));
    const auto watcherCall = [&](const QString& interface, const QString& method, const QVariantList& arguments) {
        QDBusMessage call = QDBusMessage::createMethodCall(watcherName, QStringLiteral("/StatusNotifierWatcher"), interface, method);
        call.setArguments(arguments);
        return connection.call(call, QDBus::Block, 5000);
    };
    const auto items = [&] {
        const QDBusMessage reply = watcherCall(QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"),
                                               {watcherName, QStringLiteral("RegisteredStatusNotifierItems")});
        return reply.arguments().value(0).value<QDBusVariant>().variant().toStringList();
    };
    // A panel's side: a host that shows the items.
    ASSERT_TRUE(connection.registerService(QStringLiteral("org.kde.StatusNotifierHost-pelorin-test")));
    watcherCall(watcherName, QStringLiteral("RegisterStatusNotifierHost"), {QStringLiteral("org.kde.StatusNotifierHost-pelorin-test")});

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
    watcher.kill();
    watcher.waitForFinished();
}
