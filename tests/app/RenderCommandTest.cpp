#include "RunPelorin.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QTemporaryDir>

#include <sys/resource.h>

namespace {

// `pelorin render …` with no display at all, as a script or a server runs it.
pelorin::test::PelorinRun render(const QStringList& arguments)
{
    return pelorin::test::runPelorin(QStringList{QStringLiteral("render")} + arguments);
}

QString writeScreenshot(const QTemporaryDir& dir, QSize pixels, int dotsPerMeter)
{
    QImage image(pixels, QImage::Format_RGB32);
    image.fill(QColor(200, 40, 40));
    image.setDotsPerMeterX(dotsPerMeter);
    image.setDotsPerMeterY(dotsPerMeter);
    const QString path = dir.filePath(QStringLiteral("in.png"));
    EXPECT_TRUE(image.save(path));
    return path;
}

} // namespace

TEST(RenderCommand, DefaultExportIsTheCardAtNativeResolutionInTheMiddle)
{
    QTemporaryDir dir;
    struct Case {
        QSize pixels;
        int dotsPerMeter; // 5669: a 2x screenshot; 3780: a file without a meaningful resolution
        int padding;
        QSize expected;
        int edge; // padding in pixels
    };
    const Case cases[] = {
        {{600, 400}, 3780, 0, {600, 400}, 0},
        {{600, 400}, 3780, 50, {700, 500}, 50},
        {{600, 400}, 5669, 50, {800, 600}, 100},
    };
    for (const Case& c : cases) {
        const QString in = writeScreenshot(dir, c.pixels, c.dotsPerMeter);
        const QString out = dir.filePath(QStringLiteral("out.png"));
        const auto run = render({in, QStringLiteral("-o"), out, QStringLiteral("--padding"), QString::number(c.padding)});
        ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
        EXPECT_EQ(QString::fromUtf8(run.out).trimmed(), out);
        const QImage result(out);
        EXPECT_EQ(result.size(), c.expected);
        const QPoint middle(result.width() / 2, result.height() / 2);
        EXPECT_EQ(result.pixelColor(middle), QColor(200, 40, 40));
        // Symmetric: the card's edge is as far from the left as from the right.
        int left = 0;
        while (left < result.width() && result.pixelColor(left, middle.y()) != QColor(200, 40, 40))
            ++left;
        int right = result.width() - 1;
        while (right > 0 && result.pixelColor(right, middle.y()) != QColor(200, 40, 40))
            --right;
        EXPECT_EQ(left, result.width() - 1 - right);
        EXPECT_EQ(left, c.edge);
    }
}

TEST(RenderCommand, ThinAndHugeImagesGetTheirExactSize)
{
    QTemporaryDir dir;
    struct Case {
        QSize pixels;
        int padding;
        QSize expected;
    };
    const Case cases[] = {
        {{1, 1}, 0, {1, 1}},
        {{1, 300}, 0, {1, 300}},
        {{300, 1}, 0, {300, 1}},
        {{1, 300}, 10, {21, 320}},
        // The longer side is capped at 8192 pixels, all of them.
        {{10000, 10}, 0, {8192, 8}},
    };
    for (const Case& c : cases) {
        const QString in = writeScreenshot(dir, c.pixels, 3780);
        const QString out = dir.filePath(QStringLiteral("out.png"));
        QFile::remove(out);
        const auto run = render({in, QStringLiteral("-o"), out, QStringLiteral("--padding"), QString::number(c.padding)});
        ASSERT_EQ(run.exitCode, 0) << c.pixels.width() << "x" << c.pixels.height() << ": " << run.err.toStdString();
        EXPECT_EQ(QImage(out).size(), c.expected) << c.pixels.width() << "x" << c.pixels.height();
    }
}

TEST(RenderCommand, FormatAndStyleOptions)
{
    QTemporaryDir dir;
    const QString in = writeScreenshot(dir, {300, 200}, 3780);
    const QString jpeg = dir.filePath(QStringLiteral("out.JPG"));
    ASSERT_EQ(render({in, QStringLiteral("-o"), jpeg, QStringLiteral("--transparent"), QStringLiteral("--padding=20")}).exitCode, 0);
    QImageReader reader(jpeg);
    reader.setDecideFormatFromContent(true);
    EXPECT_EQ(reader.format(), QByteArray("jpeg"));
    EXPECT_GT(reader.read().pixelColor(2, 2).lightness(), 230) << "transparency is white in a JPEG";

    const QString solid = dir.filePath(QStringLiteral("solid.png"));
    ASSERT_EQ(render({in, QStringLiteral("-o"), solid, QStringLiteral("--padding"), QStringLiteral("30"),
                      QStringLiteral("--solid"), QStringLiteral("0,255,0"), QStringLiteral("--shadow-opacity"), QStringLiteral("0")})
                  .exitCode,
              0);
    EXPECT_EQ(QImage(solid).pixelColor(3, 3), QColor(0, 255, 0));

    // Options after --style-json override it.
    const QString json = dir.filePath(QStringLiteral("json.png"));
    const QString style = QStringLiteral(
        R"({"background":{"transparent":{}},"cornerRadius":0,"shadow":{"radius":0,"opacity":0,"offsetX":0,"offsetY":0,"color":{"red":0,"green":0,"blue":0,"alpha":1}},"padding":10,"dimming":{"isEnabled":false,"amount":0.5}})");
    ASSERT_EQ(render({in, QStringLiteral("-o"), json, QStringLiteral("--style-json"), style, QStringLiteral("--padding"), QStringLiteral("5")}).exitCode, 0);
    const QImage styled(json);
    EXPECT_EQ(styled.size(), QSize(310, 210));
    EXPECT_EQ(styled.pixelColor(0, 0).alpha(), 0);
    EXPECT_EQ(styled.pixelColor(7, 7), QColor(200, 40, 40)) << "corner radius 0 from the JSON";
    EXPECT_EQ(styled.pixelColor(5, 100), QColor(200, 40, 40)) << "the card's first column is fully covered";
}

TEST(RenderCommand, BadInputFailsWithOneClearLineAndWritesNothing)
{
    QTemporaryDir dir;
    const QString in = writeScreenshot(dir, {100, 80}, 3780);
    const QString out = dir.filePath(QStringLiteral("never.png"));
    struct Case {
        const char* name;
        QStringList arguments;
        const char* message;
    };
    const std::vector<Case> cases{
        {"missing input", {dir.filePath(QStringLiteral("nope.png")), QStringLiteral("-o"), out}, "cannot read image"},
        {"not an image", {QStringLiteral(PELORIN_TEST_DATA "/not-an-image.png"), QStringLiteral("-o"), out}, "cannot read image"},
        {"decompression bomb", {QStringLiteral(PELORIN_TEST_DATA "/bomb-within-sides.png"), QStringLiteral("-o"), out}, "too large to open"},
        {"truncated PNG", {QStringLiteral(PELORIN_TEST_DATA "/truncated.png"), QStringLiteral("-o"), out}, "incomplete"},
        {"unknown preset", {in, QStringLiteral("-o"), out, QStringLiteral("--preset"), QStringLiteral("aurora")}, "unknown preset \"aurora\""},
        {"bad JSON", {in, QStringLiteral("-o"), out, QStringLiteral("--style-json"), QStringLiteral("{\"padding\":")}, "--style-json is not a valid style"},
        {"bad number", {in, QStringLiteral("-o"), out, QStringLiteral("--padding"), QStringLiteral("wide")}, "--padding expects a number"},
        {"unknown option", {in, QStringLiteral("-o"), out, QStringLiteral("--sparkles")}, "unknown option --sparkles"},
        {"no output", {in}, "no output file"},
        {"unwritable output", {in, QStringLiteral("-o"), QStringLiteral("/sys/pelorin-out.png")}, "cannot write /sys/pelorin-out.png"},
    };
    for (const Case& c : cases) {
        const auto run = render(c.arguments);
        EXPECT_NE(run.exitCode, 0) << c.name;
        const QStringList lines = QString::fromUtf8(run.err).split(u'\n', Qt::SkipEmptyParts).filter(QStringLiteral("pelorin render:"));
        ASSERT_EQ(lines.size(), 1) << c.name << ": " << run.err.toStdString();
        EXPECT_TRUE(lines[0].contains(QLatin1String(c.message))) << c.name << ": " << lines[0].toStdString();
        EXPECT_FALSE(run.err.contains("libpng")) << c.name;
        EXPECT_TRUE(run.out.isEmpty()) << c.name;
    }
    EXPECT_TRUE(QDir(dir.path()).entryList({QStringLiteral("never*")}, QDir::Files | QDir::Hidden).isEmpty());
    EXPECT_FALSE(QFileInfo::exists(QStringLiteral("/sys/pelorin-out.png")));
}

// A disk that fills up mid-write (here a file-size limit, which fails the same way) leaves
// the old file as it was and no temporary, and the command says why and fails.
TEST(RenderCommand, AFullDiskKeepsTheOldFileAndFails)
{
    QTemporaryDir dir;
    const QString in = writeScreenshot(dir, {900, 700}, 3780);
    const QString old = dir.filePath(QStringLiteral("old.png"));
    ASSERT_TRUE(QFile::copy(in, old));
    QDir().mkpath(dir.filePath(QStringLiteral("detected")));
    const QString oldJson = dir.filePath(QStringLiteral("detected/in.json"));
    ASSERT_TRUE(pelorin::test::writeBytes(oldJson, "{}"));
    const struct {
        const char* name;
        QStringList arguments;
        QString kept;
        rlim_t limit;
    } cases[] = {
        {"render", {QStringLiteral("render"), in, QStringLiteral("-o"), old, QStringLiteral("--padding"), QStringLiteral("40")}, old, 4000},
        {"detect", {QStringLiteral("detect"), QStringLiteral(PELORIN_SAMPLE), QStringLiteral("-o"), dir.filePath(QStringLiteral("detected"))},
         oldJson, 10},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QByteArray before = pelorin::test::readBytes(c.kept);
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(QLatin1String(name));
        process.setProcessEnvironment(env);
        const rlim_t limit = c.limit;
        process.setChildProcessModifier([limit] {
            const rlimit small{limit, limit};
            setrlimit(RLIMIT_FSIZE, &small);
        });
        process.start(QStringLiteral(PELORIN_BINARY), c.arguments);
        ASSERT_TRUE(process.waitForFinished(60'000));
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
        EXPECT_NE(process.exitCode(), 0);
        EXPECT_TRUE(process.readAllStandardError().contains("File too large"));
        EXPECT_EQ(pelorin::test::readBytes(c.kept), before);
        EXPECT_EQ(QDir(QFileInfo(c.kept).absolutePath()).entryList(QDir::Files | QDir::Hidden).size(),
                  c.kept == old ? 2 : 1) << "a temporary was left";
    }
}

TEST(RenderCommand, ATiltedCardIsWholeWithItsShadow)
{
    QTemporaryDir dir;
    const QString in = writeScreenshot(dir, {600, 400}, 3780);
    const QString out = dir.filePath(QStringLiteral("tilted.png"));
    const char* const tilts[][2] = {{"35", "0"}, {"0", "-30"}, {"-40", "25"}};
    for (const auto& tilt : tilts) {
        const auto run = render({in, QStringLiteral("-o"), out, QStringLiteral("--transparent"), QStringLiteral("--padding"),
                                 QStringLiteral("10"), QStringLiteral("--yaw"), QLatin1String(tilt[0]),
                                 QStringLiteral("--pitch"), QLatin1String(tilt[1])});
        ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
        const QImage result = QImage(out).convertToFormat(QImage::Format_ARGB32);
        // Nothing of the card or its shadow reaches the border: it is all in the picture.
        int edgeAlpha = 0;
        for (int x = 0; x < result.width(); ++x)
            edgeAlpha = std::max({edgeAlpha, qAlpha(result.pixel(x, 0)), qAlpha(result.pixel(x, result.height() - 1))});
        for (int y = 0; y < result.height(); ++y)
            edgeAlpha = std::max({edgeAlpha, qAlpha(result.pixel(0, y)), qAlpha(result.pixel(result.width() - 1, y))});
        EXPECT_LE(edgeAlpha, 4) << "yaw " << tilt[0] << ", pitch " << tilt[1] << ": cut off at the border";
        EXPECT_EQ(result.pixelColor(result.width() / 2, result.height() / 2), QColor(200, 40, 40));
    }
}
