// `pelorin` is a launcher that answers the light commands without Qt and hands the rest to
// the full program: these run the built one as scripts do, with no display.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

namespace {

struct Outcome {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

Outcome runPelorin(const QString& binary, const QStringList& arguments, const QByteArray& input = {},
               const QProcessEnvironment& extra = {})
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    for (const QString& key : extra.keys())
        env.insert(key, extra.value(key));
    process.setProcessEnvironment(env);
    process.start(binary, arguments);
    process.write(input);
    process.closeWriteChannel();
    EXPECT_TRUE(process.waitForFinished(60'000));
    return {process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
}

} // namespace

// The dynamic loader names every library it loads: the light commands must load no Qt, and
// anything else must reach the full program (which loads the GUI libraries) with its
// arguments intact.
TEST(Launcher, LightCommandsLoadNoQtAndTheRestReachTheProgram)
{
    const struct {
        QStringList arguments;
        QByteArray input;
        int exitCode;
        bool loadsQt;
        const char* out;
    } cases[] = {
        {{QStringLiteral("--version")}, {}, 0, false, PELORIN_VERSION "\n"},
        {{QStringLiteral("--help")}, {}, 0, false, "Usage: pelorin"},
        {{QStringLiteral("-h")}, {}, 0, false, "Usage: pelorin"},
        {{QStringLiteral("format-json")}, "{\"a\":[]}", 0, false, "{\n  \"a\": []\n}\n"},
        {{QStringLiteral("format-json")}, "{", 1, false, ""},
        {{QStringLiteral("format-json"), QStringLiteral("x.json")}, {}, 2, false, ""},
        {{QStringLiteral("format-json"), QStringLiteral("--help")}, {}, 0, false, "usage: pelorin format-json"},
        {{QStringLiteral("render"), QStringLiteral("--help")}, {}, 0, true, "Usage: pelorin render"},
        {{QStringLiteral("detect")}, {}, 2, true, ""},
        {{QStringLiteral("--frobnicate")}, {}, 2, true, ""},
    };
    QProcessEnvironment loaderLog;
    loaderLog.insert(QStringLiteral("LD_DEBUG"), QStringLiteral("files"));
    for (const auto& c : cases) {
        const Outcome run = runPelorin(QStringLiteral(PELORIN_BINARY), c.arguments, c.input, loaderLog);
        const QString what = c.arguments.join(u' ');
        EXPECT_EQ(run.exitCode, c.exitCode) << what.toStdString();
        EXPECT_TRUE(run.out.startsWith(c.out) && (*c.out || run.out.isEmpty())) << what.toStdString() << run.out.constData();
        ASSERT_TRUE(run.err.contains("libc.so")) << "the loader did not log";
        EXPECT_EQ(run.err.contains("libQt6Core"), c.loadsQt) << what.toStdString();
        EXPECT_EQ(run.err.contains("libQt6Gui"), c.loadsQt) << what.toStdString();
    }
}

// A launcher without its program (a partial copy, a broken package) says so and fails;
// the light commands still work.
TEST(Launcher, MissingProgramIsReportedNotHidden)
{
    QTemporaryDir dir;
    const QString launcher = dir.filePath(QStringLiteral("bin/pelorin"));
    ASSERT_TRUE(QDir().mkpath(dir.filePath(QStringLiteral("bin"))));
    ASSERT_TRUE(QFile::copy(QStringLiteral(PELORIN_BINARY), launcher));

    EXPECT_EQ(runPelorin(launcher, {QStringLiteral("--version")}).out, PELORIN_VERSION "\n");
    const Outcome run = runPelorin(launcher, {QStringLiteral("render"), QStringLiteral("--help")});
    EXPECT_EQ(run.exitCode, 127);
    EXPECT_TRUE(run.out.isEmpty());
    EXPECT_TRUE(run.err.startsWith("pelorin: cannot start ")) << run.err.constData();
    EXPECT_TRUE(run.err.contains("pelorin-app: No such file or directory")) << run.err.constData();
}
