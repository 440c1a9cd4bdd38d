// `pelorin` is a launcher that answers the light commands without Qt and hands the rest to
// the full program: these run the built one as scripts do, with no display.
#include "RunPelorin.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

using pelorin::test::PelorinRun;
using pelorin::test::runPelorin;

// The dynamic loader names every library it loads: the light commands must load no Qt, and
// anything else must reach the full program (which loads the GUI libraries) with its
// arguments intact.
TEST(Launcher, LightCommandsLoadNoQtAndTheRestReachTheProgram)
{
    const struct { QStringList arguments; QByteArray input; int exitCode; bool loadsQt; const char* out; } cases[] = {
        {{QStringLiteral("--version")}, {}, 0, false, PELORIN_VERSION "\n"},
        {{QStringLiteral("--help")}, {}, 0, false, "Usage: pelorin [--background] [FILE...]"},
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
        const PelorinRun run = runPelorin(c.arguments, c.input, false, loaderLog);
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

    EXPECT_EQ(runPelorin({QStringLiteral("--version")}, {}, false, {}, launcher).out, PELORIN_VERSION "\n");
    const PelorinRun run = runPelorin({QStringLiteral("render"), QStringLiteral("--help")}, {}, false, {}, launcher);
    EXPECT_EQ(run.exitCode, 127);
    EXPECT_TRUE(run.out.isEmpty());
    EXPECT_TRUE(run.err.startsWith("pelorin: cannot start ")) << run.err.constData();
    EXPECT_TRUE(run.err.contains("pelorin-app: No such file or directory")) << run.err.constData();
}
