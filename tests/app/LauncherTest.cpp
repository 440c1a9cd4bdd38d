// `pelorin` is a launcher that answers the light commands (format-json, --help, --version)
// without Qt and hands the rest to the full program: these run the built one as scripts do.
#include "RunPelorin.h"

#include <gtest/gtest.h>

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
        SCOPED_TRACE(c.arguments.join(u' ').toStdString());
        const PelorinRun run = runPelorin(c.arguments, c.input, loaderLog);
        EXPECT_EQ(run.exitCode, c.exitCode);
        EXPECT_TRUE(run.out.startsWith(c.out) && (*c.out || run.out.isEmpty())) << run.out.constData();
        ASSERT_TRUE(run.err.contains("libc.so")) << "the loader did not log";
        EXPECT_EQ(run.err.contains("libQt6Core"), c.loadsQt);
        EXPECT_EQ(run.err.contains("libQt6Gui"), c.loadsQt);
    }

    // A launcher without its program (a partial copy, a broken package) says so and fails;
    // the light commands still work.
    QTemporaryDir dir;
    const QString launcher = dir.filePath(QStringLiteral("pelorin"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(PELORIN_BINARY), launcher));
    EXPECT_EQ(runPelorin({QStringLiteral("--version")}, {}, {}, launcher).out, PELORIN_VERSION "\n");
    const PelorinRun run = runPelorin({QStringLiteral("render"), QStringLiteral("--help")}, {}, {}, launcher);
    EXPECT_EQ(run.exitCode, 127);
    EXPECT_TRUE(run.out.isEmpty());
    EXPECT_TRUE(run.err.startsWith("pelorin: cannot start ")) << run.err.constData();
    EXPECT_TRUE(run.err.contains("pelorin-app: No such file or directory")) << run.err.constData();
}

// `pelorin format-json` writes the formatted text or nothing. A file on standard input is
// mapped rather than read, a pipe read into a buffer that grows: both must see exactly the
// bytes after the caller's position, whatever the page boundaries.
TEST(FormatJsonCommand, WritesTheFormattedTextOrNothing)
{
    const auto records = [](int count) {
        QByteArray json = "[", formatted = "[\n";
        for (int i = 0; i < count; ++i) {
            json += i > 0 ? ",{\"k\":\"v\xc3\xa9\"}" : "{\"k\":\"v\xc3\xa9\"}";
            formatted += i > 0 ? ",\n  {\n    \"k\": \"v\xc3\xa9\"\n  }" : "  {\n    \"k\": \"v\xc3\xa9\"\n  }";
        }
        return std::pair{json + "]", formatted + "\n]\n"};
    };
    const auto [small, smallFormatted] = records(3);
    const auto [big, bigFormatted] = records(400'000); // 4.8 MB, past the first buffer
    // Leading white space puts the document's last byte just before or at a page's end.
    const auto endingAt = [&](qsizetype size) { return QByteArray(size - small.size(), ' ') + small; };
    // skip: the bytes the caller read first; out empty: fails with one line of error.
    const struct { const char* name; QByteArray input; int skip; QByteArray out; const char* error = ""; } cases[] = {
        {"object", R"({"b":1,"a":[true,{}]})", 0, "{\n  \"b\": 1,\n  \"a\": [\n    true,\n    {}\n  ]\n}\n"},
        {"byte-order mark, as jq takes it", "\xEF\xBB\xBF{\"a\":1}", 0, "{\n  \"a\": 1\n}\n"},
        {"trailing comma", "[1,]", 0, ""},
        {"empty", "", 0, ""},
        {"too deep", QByteArray(1025, '[') + QByteArray(1025, ']'), 0, "", "nests more deeply than 1024 levels"},
        {"ends a byte before a page boundary", endingAt(8191), 0, smallFormatted},
        {"ends on a page boundary", endingAt(8192), 0, smallFormatted},
        {"after what the caller read", QByteArray(5000, '#') + small, 5000, smallFormatted},
        {"all read by the caller", small, int(small.size()), ""},
        {"larger than the first buffer", big, 0, bigFormatted},
    };
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("in.json"));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(c.input) == c.input.size());
        file.close();
        QString prelude = QStringLiteral("exec < \"$1\"; shift");
        if (c.skip > 0)
            prelude += QStringLiteral("; dd bs=%1 count=1 of=/dev/null 2>/dev/null").arg(c.skip);
        std::vector<PelorinRun> runs{pelorin::test::runPelorinAfter(prelude, {path, QStringLiteral("format-json")})};
        if (c.skip == 0)
            runs.push_back(runPelorin({QStringLiteral("format-json")}, c.input));
        for (const PelorinRun& run : runs) {
            EXPECT_EQ(run.exitCode, c.out.isEmpty() ? 1 : 0) << run.err.constData();
            EXPECT_TRUE(run.out == c.out);
            if (c.out.isEmpty()) {
                EXPECT_EQ(run.err.count('\n'), 1) << run.err.constData();
                EXPECT_TRUE(run.err.contains(c.error)) << run.err.constData();
            }
        }
    }
}
