// `pelorin` as scripts, servers and key bindings run it: a launcher that answers the light
// commands (format-json, --help, --version) without Qt and hands the rest to the full program,
// what it makes of its arguments, `pelorin --capture` reaching the running app, and the commands
// `render`, `detect` and `upload`. Real processes of the built program with no display; a
// stand-in for the capture tool that records how it was called.
#include "CloudTestServer.h"
#include "RunPelorin.h"
#include "TestSupport.h"

#include "app/CommandLine.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QImageReader>
#include <QScopeGuard>
#include <QUrl>

using namespace pelorin::test;

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
    for (const auto& [command, program] : {std::pair{"upload", "pelorin-app"}, {"render", "pelorin-render"}}) {
        const PelorinRun run = runPelorin({QLatin1String(command), QStringLiteral("--help")}, {}, {}, launcher);
        EXPECT_EQ(run.exitCode, 127);
        EXPECT_TRUE(run.out.isEmpty());
        EXPECT_TRUE(run.err.startsWith("pelorin: cannot start ")) << run.err.constData();
        EXPECT_TRUE(run.err.contains(program + QByteArray(": No such file or directory"))) << run.err.constData();
    }
}

// `pelorin format-json` writes the formatted text or nothing. A file on standard input is
// mapped rather than read, a pipe read into a buffer that grows: both must see exactly the
// bytes after the caller's position, whatever the page boundaries.
TEST(FormatJsonCommand, WritesTheFormattedTextOrNothing)
{
    const auto records = [](int count) {
        const QByteArray record = "{\"k\":\"v\xc3\xa9\"}", formatted = "  {\n    \"k\": \"v\xc3\xa9\"\n  }";
        return std::pair{"[" + record + ("," + record).repeated(count - 1) + "]",
                         "[\n" + formatted + (",\n" + formatted).repeated(count - 1) + "\n]\n"};
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
        std::vector<PelorinRun> runs{runPelorinAfter(prelude, {path, QStringLiteral("format-json")})};
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

// An installed tree as a key binding reaches it: bin/pelorin is the launcher, which hands over to
// the program, and the app runs the capture tool found beside the program: a stand-in here.
TEST(CaptureHandOff, TheFirstStartCapturesAndLaterOnesHandTheirCaptureOver)
{
    QTemporaryDir dir;
    const QString program = dir.filePath(QStringLiteral("bin/pelorin"));
    ASSERT_TRUE(installPelorin(dir.path()));
    // Records its arguments, then answers as a user pressing Esc does. Kept ready by the app, it
    // leaves at once: the app then starts it for each capture.
    const QString captures = dir.filePath(QStringLiteral(PELORIN_PROGRAM_DIR "/captures"));
    ASSERT_TRUE(writeScript(dir.filePath(QStringLiteral(PELORIN_PROGRAM_DIR "/pelorin-screencapture")),
                            "#!/bin/sh\n[ \"$1\" = --standby ] && exit 1\n"
                            "echo \"$@\" >> \"$(dirname \"$0\")/captures.tmp\"\n"
                            "mv \"$(dirname \"$0\")/captures.tmp\" \"$(dirname \"$0\")/captures\"\nexit 1\n"));
    QProcessEnvironment env = ownHome(dir.filePath(QStringLiteral("home")));
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("unix:path=/nonexistent/bus"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    const auto run = [&](const QStringList& arguments, const QProcessEnvironment& environment) {
        return runPelorin(arguments, {}, environment, program);
    };
    // The arguments of the next capture the stand-in records, without the output file.
    const auto nextCapture = [&](int milliseconds = 20'000) {
        if (!waitUntil([&] { return QFile::exists(captures); }, milliseconds))
            return QString();
        const QString arguments = QString::fromUtf8(readBytes(captures)).trimmed();
        QFile::remove(captures);
        return arguments.section(u' ', 0, -2);
    };
    QProcess running;
    const auto stop = qScopeGuard([&] {
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
        const PelorinRun refusal = run(c.arguments, c.env);
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

    // A request that arrives while the app still winds up the previous capture is turned away
    // (one capture at a time): one that brought no capture is made once more.
    const auto handOff = [&](const QStringList& arguments) {
        for (int attempt = 0; attempt < 2; ++attempt) {
            if (run(arguments, env).exitCode != 0)
                return QStringLiteral("refused");
            if (const QString captured = nextCapture(attempt == 0 ? 5'000 : 20'000); !captured.isNull())
                return captured;
        }
        return QString();
    };
    EXPECT_EQ(handOff({QStringLiteral("--capture-window")}), QStringLiteral("-i -w -o"));
    EXPECT_EQ(handOff({QStringLiteral("--capture")}), QStringLiteral("-i -o"));
    EXPECT_EQ(handOff({QStringLiteral("--capture-screen"), QStringLiteral("2"), QStringLiteral("--delay"), QStringLiteral("3")}),
              QStringLiteral("-T 3 -D 2"));
    EXPECT_EQ(handOff({QStringLiteral("--capture-last-region")}), QStringLiteral("-i -o")) << "no region taken yet: the user selects one";
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
    const struct { QString arguments; QStringList files; QVariantMap capture; QStringList pins; const char* error;
                   QStringList notFiles = {}; } cases[] = {
        {QStringLiteral("--background a.png missing.png %1 .").arg(QUrl::fromLocalFile(a).toString()), {a, a}, {}, {}, "",
         {dir.filePath(QStringLiteral("missing.png")), dir.path()}},
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

namespace {

// `pelorin render` with `arguments`, separated by spaces.
PelorinRun render(const QString& arguments)
{
    return runPelorin((QStringLiteral("render ") + arguments).split(u' '));
}

const QColor red(200, 40, 40);

QString writeScreenshot(const QTemporaryDir& dir, QSize pixels, int dotsPerMeter = 3780)
{
    QImage image(pixels, QImage::Format_RGB32);
    image.fill(red);
    image.setDotsPerMeterX(dotsPerMeter);
    image.setDotsPerMeterY(dotsPerMeter);
    const QString path = dir.filePath(QStringLiteral("in.png"));
    EXPECT_TRUE(image.save(path));
    return path;
}

} // namespace

// The default export is the card at the screenshot's native resolution, in the middle, all of
// it however thin; only the longer side is capped, at 8192 pixels. Tilted, the card and its
// shadow are whole: nothing reaches the border.
TEST(RenderCommand, TheCardAtNativeResolutionInTheMiddle)
{
    QTemporaryDir dir;
    // dotsPerMeter 5669: a 2x screenshot, 3780: a file without a meaningful resolution; edge: the padding in
    // pixels, -1: scaled down, its edge blended, -2: tilted by `more`, `expected` then the card's reach
    // across and down the middle (turned about the upright axis it narrows, about the level one it shortens).
    const struct { QSize pixels; int dotsPerMeter; int padding; QSize expected; int edge; const char* more = ""; } cases[] = {
        {{600, 400}, 3780, 0, {600, 400}, 0},   {{600, 400}, 3780, 50, {700, 500}, 50}, {{600, 400}, 5669, 50, {800, 600}, 100},
        {{1, 1}, 3780, 0, {1, 1}, 0},           {{1, 300}, 3780, 0, {1, 300}, 0},     {{300, 1}, 3780, 0, {300, 1}, 0},
        {{1, 300}, 3780, 10, {21, 320}, 10},    {{10000, 10}, 3780, 0, {8192, 8}, -1},
        {{600, 400}, 3780, 10, {507, 398}, -2, " --transparent --yaw 35"},
        {{600, 400}, 3780, 10, {600, 352}, -2, " --transparent --pitch -30"},
        {{600, 400}, 3780, 10, {472, 365}, -2, " --transparent --yaw -40 --pitch 25"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.pixels.width() << "x" << c.pixels.height() << ", padding " << c.padding << c.more);
        const QString in = writeScreenshot(dir, c.pixels, c.dotsPerMeter);
        const QString out = dir.filePath(QStringLiteral("out.png"));
        QFile::remove(out);
        const PelorinRun run = render(QStringLiteral("%1 -o %2 --padding %3").arg(in, out).arg(c.padding) + QLatin1String(c.more));
        ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
        EXPECT_TRUE(run.err.isEmpty()) << run.err.toStdString();
        EXPECT_EQ(QString::fromUtf8(run.out).trimmed(), out);
        const QImage result = QImage(out).convertToFormat(QImage::Format_ARGB32);
        const int middle = result.height() / 2;
        EXPECT_EQ(result.pixelColor(result.width() / 2, middle), red);
        if (c.edge == -2) {
            int edgeAlpha = 0;
            QSize reach;
            for (int x = 0; x < result.width(); ++x) {
                edgeAlpha = std::max({edgeAlpha, qAlpha(result.pixel(x, 0)), qAlpha(result.pixel(x, result.height() - 1))});
                reach.rwidth() += result.pixelColor(x, middle) == red;
            }
            for (int y = 0; y < result.height(); ++y) {
                edgeAlpha = std::max({edgeAlpha, qAlpha(result.pixel(0, y)), qAlpha(result.pixel(result.width() - 1, y))});
                reach.rheight() += result.pixelColor(result.width() / 2, y) == red;
            }
            EXPECT_LE(edgeAlpha, 4) << "cut off at the border";
            EXPECT_NEAR(reach.width(), c.expected.width(), 4);
            EXPECT_NEAR(reach.height(), c.expected.height(), 4);
            continue;
        }
        EXPECT_EQ(result.size(), c.expected);
        if (c.edge < 0)
            continue;
        // Symmetric: the card's edge is as far from the left as from the right.
        int left = 0;
        while (left < result.width() && result.pixelColor(left, middle) != red)
            ++left;
        int right = result.width() - 1;
        while (right > 0 && result.pixelColor(right, middle) != red)
            --right;
        EXPECT_EQ(left, c.edge);
        EXPECT_EQ(result.width() - 1 - right, c.edge);
    }
}

TEST(RenderCommand, FormatAndStyleOptions)
{
    QTemporaryDir dir;
    const QString in = writeScreenshot(dir, {300, 200});
    const QString jpeg = dir.filePath(QStringLiteral("out.JPG"));
    ASSERT_EQ(render(QStringLiteral("%1 -o %2 --transparent --padding=20").arg(in, jpeg)).exitCode, 0);
    QImageReader reader(jpeg);
    reader.setDecideFormatFromContent(true);
    EXPECT_EQ(reader.format(), QByteArray("jpeg"));
    EXPECT_GT(reader.read().pixelColor(2, 2).lightness(), 230) << "transparency is white in a JPEG";

    const QString solid = dir.filePath(QStringLiteral("solid.png"));
    ASSERT_EQ(render(QStringLiteral("%1 -o %2 --padding 30 --solid 0,255,0 --shadow-opacity 0").arg(in, solid)).exitCode, 0);
    EXPECT_EQ(QImage(solid).pixelColor(3, 3), QColor(0, 255, 0));

    // Options after --style-json override it.
    const QString json = dir.filePath(QStringLiteral("json.png"));
    const QString style = QStringLiteral(
        R"({"background":{"transparent":{}},"cornerRadius":0,"shadow":{"radius":0,"opacity":0,"offsetX":0,"offsetY":0,"color":{"red":0,"green":0,"blue":0,"alpha":1}},"padding":10,"dimming":{"isEnabled":false,"amount":0.5}})");
    ASSERT_EQ(render(QStringLiteral("%1 -o %2 --style-json %3 --padding 5").arg(in, json, style)).exitCode, 0);
    const QImage styled(json);
    EXPECT_EQ(styled.size(), QSize(310, 210));
    EXPECT_EQ(styled.pixelColor(0, 0).alpha(), 0);
    EXPECT_EQ(styled.pixelColor(7, 7), red) << "corner radius 0 from the JSON";
    EXPECT_EQ(styled.pixelColor(5, 100), red) << "the card's first column is fully covered";
}

// Bad input fails with one clear line and writes nothing; so does a disk that fills up mid-write
// (a file-size limit fails the same way), which keeps the old file and leaves no temporary.
TEST(RenderAndDetect, BadInputOrAFullDiskFailsWithOneClearLineAndWritesNothing)
{
    QTemporaryDir dir;
    const QString in = writeScreenshot(dir, {900, 700});
    const QString out = dir.filePath(QStringLiteral("never.png"));
    const QString old = dir.filePath(QStringLiteral("old/old.png"));
    const QString oldJson = dir.filePath(QStringLiteral("detected/in.json"));
    ASSERT_TRUE(writeBytes(old, readBytes(in)));
    ASSERT_TRUE(writeBytes(oldJson, "{}"));
    const QString fullDisk = QStringLiteral("ulimit -f 1");
    const QString to = QStringLiteral(" -o ") + out;
    const struct { const char* name; QString arguments; const char* message; QString prelude = {}; } cases[] = {
        {"missing input", dir.filePath(QStringLiteral("nope.png")) + to, "cannot read image"},
        {"truncated PNG", QStringLiteral(PELORIN_TEST_DATA "/truncated.png") + to, "incomplete"},
        {"unknown preset", in + to + QStringLiteral(" --preset aurora"), "unknown preset \"aurora\""},
        {"bad JSON", in + to + QStringLiteral(" --style-json {\"padding\":"), "--style-json is not a valid style"},
        {"bad number", in + to + QStringLiteral(" --padding wide"), "--padding expects a number"},
        {"unknown option", in + to + QStringLiteral(" --sparkles"), "unknown option --sparkles"},
        {"no output", in, "no output file"},
        {"unwritable output", in + QStringLiteral(" -o /sys/pelorin-out.png"), "cannot write /sys/pelorin-out.png"},
        {"full disk", QStringLiteral("%1 -o %2 --padding 40").arg(in, old), "File too large", fullDisk},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const PelorinRun run = runPelorinAfter(c.prelude, (QStringLiteral("render ") + c.arguments).split(u' '));
        EXPECT_NE(run.exitCode, 0);
        const QStringList lines = QString::fromUtf8(run.err).split(u'\n', Qt::SkipEmptyParts);
        ASSERT_EQ(lines.size(), 1) << run.err.toStdString();
        EXPECT_TRUE(lines[0].startsWith(QStringLiteral("pelorin render: "))) << lines[0].toStdString();
        EXPECT_TRUE(lines[0].contains(QLatin1String(c.message))) << lines[0].toStdString();
        EXPECT_TRUE(run.out.isEmpty());
    }
    const PelorinRun detect = runPelorinAfter(
        fullDisk, {QStringLiteral("detect"), QStringLiteral(PELORIN_SAMPLE), QStringLiteral("-o"), QFileInfo(oldJson).path()});
    EXPECT_NE(detect.exitCode, 0);
    EXPECT_TRUE(detect.err.contains("File too large")) << detect.err.constData();
    // Detection goes on past an unreadable image, and the run says that not everything went through.
    const QString fresh = dir.filePath(QStringLiteral("fresh"));
    const QString truncated = QStringLiteral(PELORIN_TEST_DATA "/truncated.png");
    const PelorinRun detected =
        runPelorin({QStringLiteral("detect"), truncated, QStringLiteral(PELORIN_SAMPLE), QStringLiteral("-o"), fresh});
    EXPECT_EQ(detected.exitCode, 1);
    EXPECT_TRUE(detected.err.startsWith("pelorin detect: cannot read " + truncated.toUtf8())) << detected.err.constData();
    EXPECT_EQ(QDir(fresh).entryList(QDir::Files), QStringList{QStringLiteral("sample-screenshot.json")});
    const QJsonArray elements = QJsonDocument::fromJson(readBytes(fresh + QStringLiteral("/sample-screenshot.json")))
                                    [QLatin1String("elements")].toArray();
    ASSERT_FALSE(elements.isEmpty());
    EXPECT_LE(elements.size(), 80);
    for (const QJsonValue& element : elements)
        EXPECT_EQ(element.toArray().size(), 4);
    EXPECT_EQ(readBytes(old), readBytes(in));
    EXPECT_EQ(readBytes(oldJson), "{}");
    for (const auto& [folder, file] : {std::pair{dir.path(), "in.png"}, {QFileInfo(old).path(), "old.png"},
                                       {QFileInfo(oldJson).path(), "in.json"}})
        EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{QLatin1String(file)})
            << "a temporary or a half-written file was left";
    EXPECT_FALSE(QFileInfo::exists(QStringLiteral("/sys/pelorin-out.png")));
}

// `pelorin upload` against a server that does not speak TLS: one line on standard error and
// exit code 1, nothing else printed on the way out (Qt once warned while closing the
// connection at exit).
TEST(UploadCommand, ATlsFailureIsOneLineOfError)
{
    const CloudTestServer plain;
    ASSERT_TRUE(plain.isRunning());
    // The test program's own home (see TestMain.cpp), which the command inherits.
    const QString bucket = qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/Pelorin/upload-config.json");
    ASSERT_TRUE(writeBytes(bucket, QStringLiteral(R"({"accountId":"","accessKeyId":"AKID","secretAccessKey":"s3cr3t",)"
                                                  R"("bucketName":"shots","publicUrl":"https://cdn.example",)"
                                                  R"("endpointURL":"https%1","region":"auto"})")
                                       .arg(plain.baseUrl().mid(4))
                                       .toUtf8()));
    QFile::setPermissions(bucket, QFile::ReadOwner | QFile::WriteOwner);
    ASSERT_TRUE(writeBytes(qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/Pelorin/Pelorin.json"),
                           R"({"uploadDestination":"custom"})"));
    const PelorinRun run = runPelorin({QStringLiteral("upload"), QStringLiteral(PELORIN_SAMPLE)});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.startsWith("pelorin: " PELORIN_SAMPLE ": SSL handshake failed")) << run.err.constData();
    EXPECT_EQ(run.err.count('\n'), 1) << run.err.constData();
}
