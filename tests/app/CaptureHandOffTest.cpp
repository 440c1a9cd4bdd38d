// What `pelorin` makes of its arguments, and `pelorin --capture` as a compositor's key binding
// runs it: real processes, a stand-in for the capture tool that records how it was called.

#include "RunPelorin.h"
#include "TestSupport.h"

#include "app/CommandLine.h"

#include <gtest/gtest.h>

#include <QScopeGuard>
#include <QTemporaryDir>
#include <QUrl>

// An installed tree as a key binding reaches it: bin/pelorin is the launcher, which hands over to
// the program, and the app runs the capture tool found beside the program: a stand-in here.
TEST(CaptureHandOff, TheFirstStartCapturesAndLaterOnesHandTheirCaptureOver)
{
    QTemporaryDir dir{QStringLiteral(PELORIN_BUILD_DIR "/handoff-XXXXXX")};
    const QString program = dir.filePath(QStringLiteral("bin/pelorin"));
    ASSERT_TRUE(pelorin::test::installPelorin(dir.path(), true));
    // Records its arguments, then answers as a user pressing Esc does. Kept ready by the app, it
    // leaves at once: the app then starts it for each capture.
    const QString captures = dir.filePath(QStringLiteral(PELORIN_PROGRAM_DIR "/captures"));
    ASSERT_TRUE(pelorin::test::writeScript(dir.filePath(QStringLiteral(PELORIN_PROGRAM_DIR "/pelorin-screencapture")),
                                           "#!/bin/sh\n[ \"$1\" = --standby ] && exit 1\n"
                                           "echo \"$@\" >> \"$(dirname \"$0\")/captures.tmp\"\n"
                                           "mv \"$(dirname \"$0\")/captures.tmp\" \"$(dirname \"$0\")/captures\"\nexit 1\n"));
    QProcessEnvironment env = pelorin::test::ownHome(dir.filePath(QStringLiteral("home")));
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("unix:path=/nonexistent/bus"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    const auto run = [&](const QStringList& arguments, const QProcessEnvironment& environment) {
        return pelorin::test::runPelorin(arguments, {}, environment, program);
    };
    // The arguments of the next capture the stand-in records, without the output file.
    const auto nextCapture = [&] {
        if (!pelorin::test::waitUntil([&] { return QFile::exists(captures); }, 20'000))
            return QString();
        const QString arguments = QString::fromUtf8(pelorin::test::readBytes(captures)).trimmed();
        QFile::remove(captures);
        return arguments.section(u' ', 0, -2);
    };
    QProcess running;
    const auto stop = qScopeGuard([&] {
        running.terminate();
        if (!running.waitForFinished(5000))
            running.kill();
        running.waitForFinished();
    });

    // Refused with a reason before anything runs.
    QProcessEnvironment noDisplay = env;
    noDisplay.remove(QStringLiteral("DISPLAY"));
    noDisplay.remove(QStringLiteral("QT_QPA_PLATFORM"));
    const struct { QStringList arguments; QProcessEnvironment env; const char* error; } refused[] = {
        {{QStringLiteral("--capture")}, noDisplay, "pelorin: no display"},
        {{QStringLiteral("--capture-windows")}, env, "pelorin: unknown option --capture-windows"},
        {{QStringLiteral("missing.png")}, env, "pelorin: missing.png: no such file"},
    };
    for (const auto& c : refused) {
        const pelorin::test::PelorinRun refusal = run(c.arguments, c.env);
        EXPECT_EQ(refusal.exitCode, 2) << c.arguments.join(u' ').toStdString();
        EXPECT_TRUE(QString::fromUtf8(refusal.err).trimmed().section(u'\n', -1).startsWith(QLatin1String(c.error)))
            << refusal.err.constData();
    }
    EXPECT_FALSE(QFile::exists(captures)) << "no capture ran";

    running.setProcessEnvironment(env);
    running.setProcessChannelMode(QProcess::ForwardedChannels);
    running.start(program, {QStringLiteral("--capture")});
    EXPECT_EQ(nextCapture(), QStringLiteral("-i -o")) << "none ran: the app starts and captures a region";
    ASSERT_EQ(running.state(), QProcess::Running) << "the app stays in the tray after the capture";

    EXPECT_EQ(run({QStringLiteral("--capture-window")}, env).exitCode, 0);
    EXPECT_EQ(nextCapture(), QStringLiteral("-i -w -o"));
    EXPECT_EQ(run({QStringLiteral("--capture")}, env).exitCode, 0);
    EXPECT_EQ(nextCapture(), QStringLiteral("-i -o"));
    EXPECT_EQ(run({QStringLiteral("--capture-screen"), QStringLiteral("2"), QStringLiteral("--delay"), QStringLiteral("3")}, env).exitCode, 0);
    EXPECT_EQ(nextCapture(), QStringLiteral("-T 3 -D 2"));
    EXPECT_EQ(run({QStringLiteral("--capture-last-region")}, env).exitCode, 0);
    EXPECT_EQ(nextCapture(), QStringLiteral("-i -o")) << "no region taken yet: the user selects one";
    EXPECT_EQ(run({QStringLiteral("missing.png")}, env).exitCode, 2) << "a missing file fails the hand-off too";
    EXPECT_EQ(run({QStringLiteral(PELORIN_TEST_DATA "/capture.png")}, env).exitCode, 0) << "a file is handed over";

    QDir sockets(dir.filePath(QStringLiteral("home/runtime")), QStringLiteral("app.pelorin.Pelorin.*"), QDir::NoSort, QDir::System);
    EXPECT_EQ(sockets.entryList().size(), 1) << "the socket lives in the runtime folder";
}

// Files named on the command line, made absolute; what is not a file is set apart (the app
// then exits 2). Capture options become the running app's message.
TEST(CommandLine, StartArguments)
{
    QTemporaryDir dir;
    QFile(dir.filePath(QStringLiteral("a.png"))).open(QIODevice::WriteOnly);
    const QString here = QDir::currentPath();
    QDir::setCurrent(dir.path());
    const QString a = dir.filePath(QStringLiteral("a.png"));
    const QString mode = QStringLiteral("mode");
    const QString delay = QStringLiteral("delay");
    const struct {
        QString arguments;
        QStringList files;
        QVariantMap capture;
        QStringList pins;
        const char* error;
        QStringList notFiles = {};
    } cases[] = {
        {QStringLiteral("--background a.png missing.png %1 .").arg(QUrl::fromLocalFile(a).toString()), {a, a}, {}, {}, "",
         {dir.filePath(QStringLiteral("missing.png")), dir.path()}},
        {QStringLiteral("-x"), {}, {}, {}, "unknown option -x (see pelorin --help)"},
        {QStringLiteral("--capture shot.png"), {}, {}, {}, "the --capture options take no files"},
        {QStringLiteral("--capture-screen"), {}, {{mode, QStringLiteral("fullScreen")}}, {}, ""},
        {QStringLiteral("--capture-screen 2 --delay 1.5"), {},
         {{mode, QStringLiteral("monitor")}, {QStringLiteral("monitor"), 2}, {delay, 1.5}}, {}, ""},
        {QStringLiteral("--capture-screen pointer"), {}, {{mode, QStringLiteral("monitor")}, {QStringLiteral("monitor"), 0}}, {}, ""},
        {QStringLiteral("--delay 3 --capture-last-region"), {}, {{mode, QStringLiteral("lastRegion")}, {delay, 3.0}}, {}, ""},
        {QStringLiteral("--capture-screen 0"), {}, {}, {}, "--capture-screen takes a monitor number"},
        {QStringLiteral("--capture --delay soon"), {}, {}, {}, "--delay takes a number"},
        {QStringLiteral("--delay 3"), {}, {}, {}, "--delay goes with one of the --capture options"},
        {QStringLiteral("--capture --capture-window"), {}, {}, {}, "only one --capture option at a time"},
        {QStringLiteral("--pin a.png --pin ") + a, {}, {}, {a, a}, ""},
        {QStringLiteral("--pin missing.png"), {}, {}, {}, "--pin: missing.png: no such file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.toStdString());
        const pelorin::StartArguments start = pelorin::parseStartArguments(c.arguments.split(u' '));
        if (*c.error) {
            EXPECT_TRUE(start.error.startsWith(QLatin1String(c.error))) << start.error.toStdString();
            continue;
        }
        EXPECT_TRUE(start.error.isEmpty()) << start.error.toStdString();
        EXPECT_EQ(start.files, c.files);
        EXPECT_EQ(start.notFiles, c.notFiles);
        EXPECT_EQ(start.capture, c.capture);
        EXPECT_EQ(start.pins, c.pins);
    }
    QDir::setCurrent(here);
}
