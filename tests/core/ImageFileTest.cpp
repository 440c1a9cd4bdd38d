#include "core/ImageFile.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

using namespace pelorin;

namespace {

QString dataFile(const char* name)
{
    return QStringLiteral(PELORIN_TEST_DATA "/") + QLatin1String(name);
}

// A PNG of `dotsPerMeter`, or without one (0) stamped from `scale` as exports are.
QString writePng(const QTemporaryDir& dir, const char* name, QSize size, int dotsPerMeter, double scale = 1)
{
    QImage image(size, QImage::Format_ARGB32);
    image.fill(Qt::green);
    if (dotsPerMeter > 0) {
        image.setDotsPerMeterX(dotsPerMeter);
        image.setDotsPerMeterY(dotsPerMeter);
    } else {
        image.setDevicePixelRatio(scale);
        setResolutionFromScale(image);
    }
    const QString path = dir.filePath(QLatin1String(name));
    EXPECT_TRUE(image.save(path, "PNG"));
    return path;
}

} // namespace

TEST(ImageFile, ResolutionGivesThePointSize)
{
    QTemporaryDir dir;
    struct Case { const char* name; int dotsPerMeter; double scale; };
    const Case cases[] = {
        {"hidpi.png", 5669, 2.0},   // 144 dpi, stored as whole dots per metre
        {"plain72.png", 2835, 1.0},  // 72 dpi
        {"triple.png", 8504, 3.0},   // 216 dpi
        {"absurd.png", 39, 1.0},     // 1 dpi: ignored rather than opened 72 times too large
        {"stamped.png", 0, 2.0},
    };
    for (const Case& c : cases) {
        const auto image = readImageFile(writePng(dir, c.name, {2880, 1800}, c.dotsPerMeter, c.scale));
        ASSERT_TRUE(image) << c.name;
        EXPECT_DOUBLE_EQ(image->devicePixelRatio(), c.scale) << c.name;
    }
}

// Each bad file gets the reason in words, not the decoder's "Unable to read image data".
TEST(ImageFile, BadFilesGiveTheirReason)
{
    QTemporaryDir dir;
    const QString locked = dir.filePath(QStringLiteral("locked.png"));
    QFile::copy(dataFile("capture.png"), locked);
    QFile::setPermissions(locked, QFileDevice::WriteOwner);
    // Whoever may read every file (root) reads this one too.
    const bool rootReadsAll = QFile(locked).open(QIODevice::ReadOnly);
    const struct { QString path; const char* reason; } cases[] = {
        {dataFile("bomb.png"), "too large"},
        {dataFile("bomb-within-sides.png"), "too large to open"},
        {dataFile("truncated.png"), "incomplete"},
        {dataFile("not-an-image.png"), ""},
        {dataFile("missing.png"), "No such file"},
        {dataFile(""), "is a folder"},
        {rootReadsAll ? dataFile("not-an-image.png") : locked, rootReadsAll ? "" : "Permission denied"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        QString error;
        EXPECT_FALSE(readImageFile(c.path, &error));
        EXPECT_FALSE(error.isEmpty());
        EXPECT_TRUE(error.contains(QLatin1String(c.reason))) << error.toStdString();
    }
}

TEST(ImageFile, AStripLongerThanAnyScreenIsRefusedBeforeDecoding)
{
    // 76 bytes of bitmap claiming 2 × 33 554 434 pixels: within the memory limit, but the
    // decoder would spend half a minute on it.
    const QByteArray strip = QByteArray::fromBase64(
        "Qk1GAAAAAAAAADUAAAAoAAAAAgAAAP7///0BABgAAAAAABAAAAATCzMAEwACAAAAAEIATQAA/w==");
    QString error;
    EXPECT_FALSE(readImageData(strip, &error));
    EXPECT_TRUE(error.contains(QLatin1String("too large"))) << error.toStdString();
}
