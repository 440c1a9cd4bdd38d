// The commands for scripts and servers (`pelorin render`, `detect`, `upload`), each run as a
// whole process of the built program with no display.
#include "RunPelorin.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QImageReader>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

using pelorin::test::PelorinRun;

namespace {

// `pelorin render` with `arguments`, separated by spaces.
PelorinRun render(const QString& arguments)
{
    return pelorin::test::runPelorin((QStringLiteral("render ") + arguments).split(u' '));
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
// it however thin; only the longer side is capped, at 8192 pixels.
TEST(RenderCommand, TheCardAtNativeResolutionInTheMiddle)
{
    QTemporaryDir dir;
    // dotsPerMeter 5669: a 2x screenshot, 3780: a file without a meaningful resolution; edge: the padding in
    // pixels, -1: scaled down, its edge blended.
    const struct { QSize pixels; int dotsPerMeter; int padding; QSize expected; int edge; } cases[] = {
        {{600, 400}, 3780, 0, {600, 400}, 0},   {{600, 400}, 3780, 50, {700, 500}, 50}, {{600, 400}, 5669, 50, {800, 600}, 100},
        {{1, 1}, 3780, 0, {1, 1}, 0},           {{1, 300}, 3780, 0, {1, 300}, 0},     {{300, 1}, 3780, 0, {300, 1}, 0},
        {{1, 300}, 3780, 10, {21, 320}, 10},    {{10000, 10}, 3780, 0, {8192, 8}, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.pixels.width() << "x" << c.pixels.height() << ", padding " << c.padding);
        const QString in = writeScreenshot(dir, c.pixels, c.dotsPerMeter);
        const QString out = dir.filePath(QStringLiteral("out.png"));
        QFile::remove(out);
        const PelorinRun run = render(QStringLiteral("%1 -o %2 --padding %3").arg(in, out).arg(c.padding));
        ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
        EXPECT_EQ(QString::fromUtf8(run.out).trimmed(), out);
        const QImage result(out);
        EXPECT_EQ(result.size(), c.expected);
        const int middle = result.height() / 2;
        EXPECT_EQ(result.pixelColor(result.width() / 2, middle), red);
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

    // Tilted, the card and its shadow are whole: nothing reaches the border.
    const QString in = writeScreenshot(dir, {600, 400});
    const QString out = dir.filePath(QStringLiteral("tilted.png"));
    for (const auto& [yaw, pitch] : {std::pair{"35", "0"}, {"0", "-30"}, {"-40", "25"}}) {
        SCOPED_TRACE(testing::Message() << "yaw " << yaw << ", pitch " << pitch);
        const PelorinRun run = render(QStringLiteral("%1 -o %2 --transparent --padding 10 --yaw %3 --pitch %4")
                                          .arg(in, out, QLatin1String(yaw), QLatin1String(pitch)));
        ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
        const QImage result = QImage(out).convertToFormat(QImage::Format_ARGB32);
        int edgeAlpha = 0;
        for (int x = 0; x < result.width(); ++x)
            edgeAlpha = std::max({edgeAlpha, qAlpha(result.pixel(x, 0)), qAlpha(result.pixel(x, result.height() - 1))});
        for (int y = 0; y < result.height(); ++y)
            edgeAlpha = std::max({edgeAlpha, qAlpha(result.pixel(0, y)), qAlpha(result.pixel(result.width() - 1, y))});
        EXPECT_LE(edgeAlpha, 4) << "cut off at the border";
        EXPECT_EQ(result.pixelColor(result.width() / 2, result.height() / 2), red);
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
TEST(RenderCommand, BadInputOrAFullDiskFailsWithOneClearLineAndWritesNothing)
{
    QTemporaryDir dir;
    const QString in = writeScreenshot(dir, {900, 700});
    const QString out = dir.filePath(QStringLiteral("never.png"));
    const QString old = dir.filePath(QStringLiteral("old/old.png"));
    const QString oldJson = dir.filePath(QStringLiteral("detected/in.json"));
    ASSERT_TRUE(pelorin::test::writeBytes(old, pelorin::test::readBytes(in)));
    ASSERT_TRUE(pelorin::test::writeBytes(oldJson, "{}"));
    const QString fullDisk = QStringLiteral("ulimit -f 1");
    const QString to = QStringLiteral(" -o ") + out;
    const struct { const char* name; QString arguments; const char* message; QString prelude = {}; } cases[] = {
        {"missing input", dir.filePath(QStringLiteral("nope.png")) + to, "cannot read image"},
        {"not an image", QStringLiteral(PELORIN_TEST_DATA "/not-an-image.png") + to, "cannot read image"},
        {"decompression bomb", QStringLiteral(PELORIN_TEST_DATA "/bomb-within-sides.png") + to, "too large to open"},
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
        const PelorinRun run = pelorin::test::runPelorinAfter(c.prelude, (QStringLiteral("render ") + c.arguments).split(u' '));
        EXPECT_NE(run.exitCode, 0);
        const QStringList lines = QString::fromUtf8(run.err).split(u'\n', Qt::SkipEmptyParts).filter(QStringLiteral("pelorin render:"));
        ASSERT_EQ(lines.size(), 1) << run.err.toStdString();
        EXPECT_TRUE(lines[0].contains(QLatin1String(c.message))) << lines[0].toStdString();
        EXPECT_FALSE(run.err.contains("libpng"));
        EXPECT_TRUE(run.out.isEmpty());
    }
    const PelorinRun detect = pelorin::test::runPelorinAfter(
        fullDisk, {QStringLiteral("detect"), QStringLiteral(PELORIN_SAMPLE), QStringLiteral("-o"), QFileInfo(oldJson).path()});
    EXPECT_NE(detect.exitCode, 0);
    EXPECT_TRUE(detect.err.contains("File too large")) << detect.err.constData();
    EXPECT_EQ(pelorin::test::readBytes(old), pelorin::test::readBytes(in));
    EXPECT_EQ(pelorin::test::readBytes(oldJson), "{}");
    for (const auto& [folder, file] : {std::pair{dir.path(), "in.png"}, {QFileInfo(old).path(), "old.png"},
                                       {QFileInfo(oldJson).path(), "in.json"}})
        EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{QLatin1String(file)})
            << "a temporary or a half-written file was left";
    EXPECT_FALSE(QFileInfo::exists(QStringLiteral("/sys/pelorin-out.png")));
}

// `pelorin detect`: a readable screenshot gets its JSON file, an unreadable one a message, and
// the run says that not everything went through.
TEST(DetectCommand, WritesOneFilePerImageAndReportsTheUnreadable)
{
    QTemporaryDir dir;
    const QString broken = dir.filePath(QStringLiteral("broken.png"));
    ASSERT_TRUE(pelorin::test::writeBytes(broken, "not a picture"));
    const QString out = dir.filePath(QStringLiteral("out"));
    const PelorinRun run =
        pelorin::test::runPelorin({QStringLiteral("detect"), broken, QStringLiteral(PELORIN_SAMPLE), QStringLiteral("-o"), out});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(QString::fromUtf8(run.err).contains(QStringLiteral("pelorin detect: cannot read ") + broken)) << run.err.constData();
    EXPECT_EQ(QDir(out).entryList(QDir::Files), QStringList{QStringLiteral("sample-screenshot.json")});
    const QJsonArray elements = QJsonDocument::fromJson(pelorin::test::readBytes(QDir(out).filePath(QStringLiteral("sample-screenshot.json"))))
                                    .object()
                                    .value(QStringLiteral("elements"))
                                    .toArray();
    ASSERT_FALSE(elements.isEmpty());
    EXPECT_LE(elements.size(), 80);
    for (const QJsonValue& element : elements)
        EXPECT_EQ(element.toArray().size(), 4);
}

// `pelorin upload` against a server that does not speak TLS: one line on standard error and
// exit code 1, nothing else printed on the way out (Qt once warned while closing the
// connection at exit).
TEST(UploadCommand, ATlsFailureIsOneLineOfError)
{
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
    QObject::connect(&server, &QTcpServer::newConnection, &server, [&server] {
        QTcpSocket* socket = server.nextPendingConnection();
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket] {
            socket->readAll();
            socket->write("HTTP/1.1 400 Bad Request\r\n\r\n");
            socket->disconnectFromHost();
        });
    });
    // The test program's own home (see TestMain.cpp), which the command inherits.
    const QString bucket = qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/Pelorin/upload-config.json");
    ASSERT_TRUE(pelorin::test::writeBytes(
        bucket, QStringLiteral(R"({"accountId":"","accessKeyId":"AKID","secretAccessKey":"s3cr3t","bucketName":"shots",)"
                               R"("publicUrl":"https://cdn.example","endpointURL":"https://127.0.0.1:%1","region":"auto"})")
                    .arg(server.serverPort())
                    .toUtf8()));
    QFile::setPermissions(bucket, QFile::ReadOwner | QFile::WriteOwner);
    ASSERT_TRUE(pelorin::test::writeBytes(qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/Pelorin/Pelorin.json"),
                                          R"({"uploadDestination":"custom"})"));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(PELORIN_BINARY), {QStringLiteral("upload"), QStringLiteral(PELORIN_SAMPLE)});
    // The server answers from this process's event loop.
    ASSERT_TRUE(pelorin::test::waitUntil([&] { return process.state() == QProcess::NotRunning; }, 30'000));
    EXPECT_EQ(process.exitCode(), 1);
    const QString err = QString::fromUtf8(process.readAllStandardError());
    EXPECT_TRUE(err.startsWith(QStringLiteral("pelorin: %1: SSL handshake failed").arg(QStringLiteral(PELORIN_SAMPLE))))
        << err.toStdString();
    EXPECT_EQ(err.count(u'\n'), 1) << err.toStdString();
}
