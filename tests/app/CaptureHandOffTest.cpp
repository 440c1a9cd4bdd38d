// What `pelorin` makes of its arguments, and `pelorin --capture` as a compositor's key binding
// runs it: real processes, a stand-in for the capture tool that records how it was called.

#include "RunPelorin.h"
#include "TestSupport.h"

#include "app/CommandLine.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <QUrl>

namespace {

class CaptureHandOff : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        // An installed tree as a key binding reaches it: bin/pelorin is the launcher, which
        // hands over to the program, and the app runs the capture tool found beside the
        // program: a stand-in here.
        program = dir.filePath(QStringLiteral("bin/pelorin"));
        ASSERT_TRUE(pelorin::test::installPelorin(dir.path(), true));
        // Records its arguments, then answers as a user pressing Esc does. Kept ready by the
        // app, it leaves at once: the app then starts it for each capture.
        ASSERT_TRUE(pelorin::test::writeScript(toolDir() + QStringLiteral("/pelorin-screencapture"),
                                               "#!/bin/sh\n[ \"$1\" = --standby ] && exit 1\n"
                                               "echo \"$@\" >> \"$(dirname \"$0\")/captures.tmp\"\n"
                                               "mv \"$(dirname \"$0\")/captures.tmp\" \"$(dirname \"$0\")/captures\"\nexit 1\n"));
        env = pelorin::test::ownHome(dir.filePath(QStringLiteral("home")));
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("unix:path=/nonexistent/bus"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    }
    void TearDown() override
    {
        if (running.state() != QProcess::NotRunning) {
            running.terminate();
            if (!running.waitForFinished(5000)) {
                running.kill();
                running.waitForFinished();
            }
        }
    }

    QString runtime() const { return dir.filePath(QStringLiteral("home/runtime")); }
    QString toolDir() const { return dir.filePath(QStringLiteral(PELORIN_PROGRAM_DIR)); }

    // The arguments of the next capture the stand-in records.
    QString nextCapture(int timeoutMs = 20'000)
    {
        const QString path = toolDir() + QStringLiteral("/captures");
        if (!pelorin::test::waitUntil([&] { return QFile::exists(path); }, timeoutMs))
            return {};
        const QString arguments = QString::fromUtf8(pelorin::test::readBytes(path)).trimmed();
        QFile::remove(path);
        return arguments.section(u' ', 0, -2); // without the output file
    }

    int run(const QStringList& arguments, QString* errors = nullptr)
    {
        QProcess process;
        process.setProcessEnvironment(env);
        process.start(program, arguments);
        if (!process.waitForFinished(20'000))
            return -1;
        if (errors)
            *errors = QString::fromUtf8(process.readAllStandardError());
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }

    QTemporaryDir dir{QStringLiteral(PELORIN_BUILD_DIR "/handoff-XXXXXX")};
    QString program;
    QProcessEnvironment env;
    QProcess running;
};

} // namespace

TEST_F(CaptureHandOff, TheFirstStartCapturesAndLaterOnesHandTheirCaptureOver)
{
    running.setProcessEnvironment(env);
    running.setProcessChannelMode(QProcess::ForwardedChannels);
    running.start(program, {QStringLiteral("--capture")});
    EXPECT_EQ(nextCapture(), QStringLiteral("-i -o")) << "none ran: the app starts and captures a region";
    ASSERT_EQ(running.state(), QProcess::Running) << "the app stays in the tray after the capture";

    EXPECT_EQ(run({QStringLiteral("--capture-window")}), 0);
    EXPECT_EQ(nextCapture(), QStringLiteral("-i -w -o"));
    EXPECT_EQ(run({QStringLiteral("--capture")}), 0);
    EXPECT_EQ(nextCapture(), QStringLiteral("-i -o"));
    EXPECT_EQ(run({QStringLiteral("--capture-screen"), QStringLiteral("2"), QStringLiteral("--delay"), QStringLiteral("3")}), 0);
    EXPECT_EQ(nextCapture(), QStringLiteral("-T 3 -D 2"));
    EXPECT_EQ(run({QStringLiteral("--capture-last-region")}), 0);
    EXPECT_EQ(nextCapture(), QStringLiteral("-i -o")) << "no region taken yet: the user selects one";
    EXPECT_EQ(run({QStringLiteral("missing.png")}), 2) << "a missing file fails the hand-off too";
    EXPECT_EQ(run({QStringLiteral(PELORIN_TEST_DATA "/capture.png")}), 0) << "a file is handed over";

    QDir sockets(runtime(), QStringLiteral("app.pelorin.Pelorin.*"), QDir::NoSort, QDir::System);
    EXPECT_EQ(sockets.entryList().size(), 1) << "the socket lives in the runtime folder";
}

TEST_F(CaptureHandOff, ExitCodes)
{
    const struct { QStringList arguments; bool display; int exitCode; const char* error; } cases[] = {
        {{QStringLiteral("--capture"), QStringLiteral("shot.png")}, true, 2, "pelorin: the --capture options take no files"},
        {{QStringLiteral("--capture")}, false, 2, "pelorin: no display"},
        {{QStringLiteral("--capture-windows")}, true, 2, "pelorin: unknown option --capture-windows"},
        {{QStringLiteral("missing.png")}, true, 2, "pelorin: missing.png: no such file"},
    };
    const QProcessEnvironment withDisplay = env;
    for (const auto& c : cases) {
        env = withDisplay;
        if (!c.display) {
            env.remove(QStringLiteral("DISPLAY"));
            env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        }
        QString errors;
        EXPECT_EQ(run(c.arguments, &errors), c.exitCode) << c.arguments.join(u' ').toStdString();
        EXPECT_TRUE(errors.trimmed().section(u'\n', -1).startsWith(QLatin1String(c.error))) << errors.toStdString();
    }
    EXPECT_FALSE(QFile::exists(toolDir() + QStringLiteral("/captures"))) << "no capture ran";
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
    const auto map = [](std::initializer_list<std::pair<QString, QVariant>> members) {
        QVariantMap result;
        for (const auto& [key, value] : members)
            result.insert(key, value);
        return result;
    };
    const QString mode = QStringLiteral("mode");
    const struct {
        QStringList arguments;
        QStringList files;
        QVariantMap capture;
        QStringList pins;
        const char* error;
        QStringList notFiles = {};
    } cases[] = {
        {{QStringLiteral("--background"), QStringLiteral("a.png"), QStringLiteral("missing.png"), QUrl::fromLocalFile(a).toString(),
          QStringLiteral(".")},
         {a, a}, {}, {}, "", {dir.filePath(QStringLiteral("missing.png")), dir.path()}},
        {{QStringLiteral("-x")}, {}, {}, {}, "unknown option -x (see pelorin --help)"},
        {{QStringLiteral("--capture-screen")}, {}, map({{mode, QStringLiteral("fullScreen")}}), {}, ""},
        {{QStringLiteral("--capture-screen"), QStringLiteral("2"), QStringLiteral("--delay"), QStringLiteral("1.5")}, {},
         map({{mode, QStringLiteral("monitor")}, {QStringLiteral("monitor"), 2}, {QStringLiteral("delay"), 1.5}}), {}, ""},
        {{QStringLiteral("--capture-screen"), QStringLiteral("pointer")}, {},
         map({{mode, QStringLiteral("monitor")}, {QStringLiteral("monitor"), 0}}), {}, ""},
        {{QStringLiteral("--delay"), QStringLiteral("3"), QStringLiteral("--capture-last-region")}, {},
         map({{mode, QStringLiteral("lastRegion")}, {QStringLiteral("delay"), 3.0}}), {}, ""},
        {{QStringLiteral("--capture-screen"), QStringLiteral("0")}, {}, {}, {}, "--capture-screen takes a monitor number"},
        {{QStringLiteral("--capture"), QStringLiteral("--delay"), QStringLiteral("soon")}, {}, {}, {}, "--delay takes a number"},
        {{QStringLiteral("--delay"), QStringLiteral("3")}, {}, {}, {}, "--delay goes with one of the --capture options"},
        {{QStringLiteral("--capture"), QStringLiteral("--capture-window")}, {}, {}, {}, "only one --capture option at a time"},
        {{QStringLiteral("--pin"), QStringLiteral("a.png"), QStringLiteral("--pin"), a}, {}, {}, {a, a}, ""},
        {{QStringLiteral("--pin"), QStringLiteral("missing.png")}, {}, {}, {}, "--pin: missing.png: no such file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.join(u' ').toStdString());
        const pelorin::StartArguments start = pelorin::parseStartArguments(c.arguments);
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
