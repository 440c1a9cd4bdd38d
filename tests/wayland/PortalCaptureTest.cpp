// pelorin-screencapture against the real desktop portal: a throw-away headless sway session
// with xdg-desktop-portal and its wlroots backend (portal-session.sh), one output of
// 1280 × 800 pixels painted #ff8800.

#include "PrivateBus.h"
#include "core/ImageFile.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <optional>

using namespace pelorin;

namespace {

struct Outcome {
    int exitCode = -1;
    QString errors;
    std::optional<QImage> image;
    bool portalFileLeft = false;
};

QString missingPackages()
{
    QStringList missing;
    for (const char* program : {"sway", "swaybg", "grim", "pipewire", "dbus-run-session"})
        if (QStandardPaths::findExecutable(QLatin1String(program)).isEmpty())
            missing << QLatin1String(program);
    for (const char* program :
         {"/usr/libexec/xdg-desktop-portal", "/usr/libexec/xdg-desktop-portal-wlr", "/usr/libexec/xdg-desktop-portal-gtk"})
        if (!QFileInfo(QLatin1String(program)).isExecutable())
            missing << QFileInfo(QLatin1String(program)).fileName();
    return missing.join(QStringLiteral(", "));
}

// Runs the capture tool in a fresh session. As root the session runs as nobody, so the tool,
// the script and the folder they work in are copied where nobody can reach them.
Outcome captureInSession(const QStringList& arguments, const QString& scale, const QString& slurp, bool withoutWaylandPlugin)
{
    Outcome outcome;
    QTemporaryDir work(QDir::tempPath() + QStringLiteral("/pelorin-portal-XXXXXX"));
    const QString tool = work.filePath(QStringLiteral("pelorin-screencapture"));
    const QString session = work.filePath(QStringLiteral("session"));
    const QString shot = session + QStringLiteral("/shot.png");
    if (!QFile::copy(QStringLiteral(SCREENCAPTURE_TOOL), tool) || !QDir().mkdir(session)) {
        outcome.errors = QStringLiteral("cannot prepare %1").arg(work.path());
        return outcome;
    }
    const auto open = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup
        | QFile::ReadOther | QFile::ExeOther;
    QFile::setPermissions(work.path(), open);
    QFile::setPermissions(tool, open);

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (withoutWaylandPlugin) {
        // Qt's platform plugins as on a machine without qt6-wayland.
        const QString plugins = work.filePath(QStringLiteral("platforms"));
        QDir().mkdir(plugins);
        QFile::setPermissions(plugins, open);
        const QString offscreen = QLibraryInfo::path(QLibraryInfo::PluginsPath) + QStringLiteral("/platforms/libqoffscreen.so");
        QFile::link(offscreen, plugins + QStringLiteral("/libqoffscreen.so"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM_PLUGIN_PATH"), plugins);
    }
    env.insert(QStringLiteral("SESSION_DIR"), session);
    env.insert(QStringLiteral("SESSION_KEEP"), QStringLiteral("1"));
    env.insert(QStringLiteral("WLP_SCALE"), scale);
    if (!slurp.isEmpty())
        env.insert(QStringLiteral("WLP_SLURP"), slurp);
    // The wlroots backend leaves its picture at a fixed path; the tool must take it away.
    const QString check = QStringLiteral("\"$@\"; rc=$?; [ -e /tmp/out.png ] && echo PORTAL-FILE-LEFT >&2; exit $rc");
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(QStringLiteral("/bin/bash"),
                  QStringList{QStringLiteral(PORTAL_SESSION), QStringLiteral("/bin/sh"), QStringLiteral("-c"), check, QStringLiteral("sh"), tool}
                      + arguments + QStringList{shot});
    if (!process.waitForFinished(60'000)) {
        process.kill();
        process.waitForFinished();
    }
    outcome.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    outcome.errors = QString::fromUtf8(process.readAllStandardError());
    outcome.portalFileLeft = outcome.errors.contains(QLatin1String("PORTAL-FILE-LEFT"));
    if (QFileInfo::exists(shot))
        outcome.image = readImageFile(shot);
    return outcome;
}

// The environment of a tool run outside any working session: an unreachable Wayland display (or
// X display), and `bus` as the session bus.
QProcessEnvironment toolEnvironment(const QString& runtimeDir, const QString& bus, bool wayland)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeDir);
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    if (wayland) {
        env.insert(QStringLiteral("WAYLAND_DISPLAY"), QStringLiteral("pelorin-test-no-such-display"));
        env.insert(QStringLiteral("XDG_SESSION_TYPE"), QStringLiteral("wayland"));
    } else {
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.insert(QStringLiteral("XDG_SESSION_TYPE"), QStringLiteral("x11"));
        env.insert(QStringLiteral("DISPLAY"), QStringLiteral(":4711"));
    }
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus);
    return env;
}

// The tool's own lines on standard error, without the session's and Qt's chatter.
QString toolMessages(const QString& errors)
{
    QStringList lines;
    for (const QString& line : errors.split(u'\n'))
        if (line.startsWith(QLatin1String("pelorin-screencapture:")))
            lines << line;
    return lines.join(u'\n');
}

} // namespace

TEST(PortalCapture, RealPortalSession)
{
    if (const QString missing = missingPackages(); !missing.isEmpty())
        GTEST_SKIP() << "the real-portal tests need sway, swaybg, grim, pipewire, xdg-desktop-portal, "
                        "xdg-desktop-portal-wlr and xdg-desktop-portal-gtk (scripts/deps.sh installs them); missing: "
                     << missing.toStdString();
    const struct {
        const char* name;
        QStringList arguments;
        const char* scale;
        const char* slurp;
        int exitCode;
        QSize pixels; // empty: no file
        double pixelsPerPoint;
        bool withoutWaylandPlugin = false;
    } cases[] = {
        {"full screen", {}, "1", "", 0, QSize(1280, 800), 1.0},
        {"region", {QStringLiteral("-i"), QStringLiteral("-o")}, "1", "100,50 300x200", 0, QSize(300, 200), 1.0},
        // The wlroots backend reports a cancelled selection as a failure (response 2).
        {"cancel", {QStringLiteral("-i"), QStringLiteral("-o")}, "1", "cancel", 2, QSize(), 0},
        // The same 1280 × 800 pixels at scale 2 are 640 × 400 points.
        {"full screen at scale 2", {}, "2", "", 0, QSize(1280, 800), 2.0},
        {"region at scale 2", {QStringLiteral("-i"), QStringLiteral("-o")}, "2", "10,20 300x200", 0, QSize(600, 400), 2.0},
        // One monitor is cut from the whole desktop the portal gives.
        {"monitor 1", {QStringLiteral("-D"), QStringLiteral("1")}, "2", "", 0, QSize(1280, 800), 2.0},
        // The portal cannot take an exact region without its picker: refused, and said so.
        {"exact region", {QStringLiteral("-R"), QStringLiteral("0,0,10,10")}, "1", "", 2, QSize(), 0},
        // Without Qt's Wayland plugin the portal still answers; nothing falls back to X11.
        {"without qt6-wayland", {}, "1", "", 0, QSize(1280, 800), 1.0, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Outcome outcome = captureInSession(c.arguments, QLatin1String(c.scale), QLatin1String(c.slurp), c.withoutWaylandPlugin);
        ASSERT_NE(outcome.exitCode, 3) << "the session did not come up: " << outcome.errors.toStdString();
        EXPECT_EQ(outcome.exitCode, c.exitCode) << outcome.errors.toStdString();
        EXPECT_FALSE(outcome.portalFileLeft) << "the portal's copy of the screenshot was left behind";
        if (c.pixels.isEmpty()) {
            EXPECT_FALSE(outcome.image) << "no file after a cancelled capture";
            EXPECT_FALSE(toolMessages(outcome.errors).isEmpty()) << "a failure is explained: " << outcome.errors.toStdString();
            continue;
        }
        ASSERT_TRUE(outcome.image) << outcome.errors.toStdString();
        const QImage& image = *outcome.image;
        EXPECT_EQ(image.size(), c.pixels);
        EXPECT_DOUBLE_EQ(image.devicePixelRatio(), c.pixelsPerPoint) << "the file carries the screen's scale";
        for (const QPoint at : {QPoint(0, 0), QPoint(image.width() - 1, image.height() - 1), image.rect().center()})
            EXPECT_EQ(image.pixelColor(at).name(), QStringLiteral("#ff8800")) << at.x() << "," << at.y();
    }
}

// Failures outside a working session are explained, never an abort. A portal backend that takes
// the request and never answers (SilentPortal): a screenshot without a choice gives up after a
// few seconds; one where the user chooses waits until the app stops the tool. Either way the
// request is closed, so the desktop's dialog goes too.
TEST(PortalCapture, FailuresAreExplained)
{
    if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty())
        GTEST_SKIP() << "needs dbus-daemon (package dbus)";
    test::PrivateBus withoutPortal;
    ASSERT_FALSE(withoutPortal.address().isEmpty());
    QTemporaryDir dir;
    const QString shot = dir.filePath(QStringLiteral("shot.png"));
    const QStringList region{QStringLiteral("-i"), QStringLiteral("-o")};
    const struct {
        const char* name;
        QString bus; // empty: a private one with the silent portal on it
        bool wayland;
        QStringList arguments;
        bool appStops;
        int exitCode;
        const char* message;
    } cases[] = {
        {"no session bus", QStringLiteral("unix:path=/nonexistent/bus"), true, {}, false, 2,
         "cannot connect to the Wayland display pelorin-test-no-such-display"},
        {"a bus without the portal", withoutPortal.address(), true, {}, false, 2, "Screenshot call failed"},
        {"an X display that is not there", QStringLiteral("unix:path=/nonexistent/bus"), false, {}, false, 2,
         "cannot connect to the X display :4711"},
        {"unanswered full screen", {}, true, {}, false, 2, "did not answer within 10 s"},
        {"unanswered region, the app gives up", {}, true, region, true, 1, "cancelled"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::PrivateBus bus;
        const QProcessEnvironment env = toolEnvironment(dir.path(), c.bus.isEmpty() ? bus.address() : c.bus, c.wayland);
        QProcess portal;
        if (c.bus.isEmpty()) {
            portal.setProcessEnvironment(env);
            portal.start(QStringLiteral(SILENT_PORTAL), QStringList());
            ASSERT_TRUE(portal.waitForReadyRead(10'000));
            ASSERT_EQ(portal.readLine().trimmed(), "ready");
        }
        QProcess tool;
        tool.setProcessEnvironment(env);
        tool.start(QStringLiteral(SCREENCAPTURE_TOOL), c.arguments + QStringList{shot});
        if (c.appStops) {
            EXPECT_FALSE(tool.waitForFinished(3000)) << "the user may take their time";
            tool.terminate();
        }
        ASSERT_TRUE(tool.waitForFinished(30'000));
        EXPECT_EQ(tool.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(tool.exitCode(), c.exitCode);
        const QString messages = toolMessages(QString::fromUtf8(tool.readAllStandardError()));
        EXPECT_TRUE(messages.contains(QLatin1String(c.message))) << messages.toStdString();
        EXPECT_FALSE(QFileInfo::exists(shot));
        if (c.bus.isEmpty()) {
            portal.waitForReadyRead(2000);
            EXPECT_TRUE(portal.readAll().startsWith("closed /org/freedesktop/portal/desktop/request/"));
            portal.kill();
            portal.waitForFinished();
        }
    }
}
