#include "TestSupport.h"
#include "core/AtomicFile.h"
#include "core/ImageFile.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QFile>
#include <QTemporaryDir>

using namespace pelorin;

namespace {

QString dataFile(const char* name)
{
    return QStringLiteral(PELORIN_TEST_DATA "/") + QLatin1String(name);
}

} // namespace

// A PNG of a resolution, or of none stamped from its scale as exports are, opens at its point size.
TEST(ImageFile, ResolutionGivesThePointSize)
{
    struct Case { const char* name; int dotsPerMeter; double scale; };
    const Case cases[] = {
        {"72 dpi", 2835, 1.0},
        {"216 dpi, stored as whole dots per metre", 8504, 3.0},
        {"1 dpi: ignored rather than opened 72 times too large", 39, 1.0},
        {"stamped", 0, 2.0},
    };
    for (const Case& c : cases) {
        QImage image(2880, 1800, QImage::Format_ARGB32);
        image.fill(Qt::green);
        image.setDotsPerMeterX(c.dotsPerMeter);
        image.setDotsPerMeterY(c.dotsPerMeter);
        if (c.dotsPerMeter == 0) {
            image.setDevicePixelRatio(c.scale);
            setResolutionFromScale(image);
        }
        QByteArray png;
        QBuffer buffer(&png);
        ASSERT_TRUE(buffer.open(QIODevice::WriteOnly) && image.save(&buffer, "PNG"));
        const auto read = readImageData(png);
        ASSERT_TRUE(read) << c.name;
        EXPECT_DOUBLE_EQ(read->devicePixelRatio(), c.scale) << c.name;
    }
}

// Each bad file gets the reason in words, not the decoder's "Unable to read image data" (the
// render command's test has the truncated, the undecodable and the sides-within-limits bomb).
TEST(ImageFile, BadFilesGiveTheirReason)
{
    QTemporaryDir dir;
    // 76 bytes of bitmap claiming 2 × 33 554 434 pixels: within the memory limit, but the
    // decoder would spend half a minute on it.
    const QString strip = dir.filePath(QStringLiteral("strip.bmp"));
    ASSERT_TRUE(test::writeBytes(
        strip, QByteArray::fromBase64("Qk1GAAAAAAAAADUAAAAoAAAAAgAAAP7///0BABgAAAAAABAAAAATCzMAEwACAAAAAEIATQAA/w==")));
    const QString locked = dir.filePath(QStringLiteral("locked.png"));
    QFile::copy(dataFile("capture.png"), locked);
    QFile::setPermissions(locked, QFileDevice::WriteOwner);
    // Whoever may read every file (root) reads this one too.
    const bool rootReadsAll = QFile(locked).open(QIODevice::ReadOnly);
    const struct { QString path; const char* reason; } cases[] = {
        {dataFile("bomb.png"), "too large"},
        {strip, "on a side"},
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

// Secrets are written for their owner's eyes only. (Failures, their wording and the older file
// kept are checked where the editor, the settings and the commands write through this.)
TEST(AtomicFile, SecretsAreForTheirOwnersEyesOnly)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("out.json"));
    ASSERT_FALSE(writeFileAtomically(path, "secret", QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    EXPECT_EQ(test::readBytes(path), "secret");
    EXPECT_FALSE(QFile::permissions(path) & (QFileDevice::ReadGroup | QFileDevice::ReadOther));
}
