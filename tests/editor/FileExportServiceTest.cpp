#include "editor/FileExportService.h"
#include "editor/PngWriter.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QTemporaryDir>

#include <unistd.h>

using namespace pelorin;

namespace {

QImage halfTransparentRed()
{
    QImage image(40, 20, QImage::Format_ARGB32);
    image.fill(QColor(255, 0, 0, 0)); // fully transparent
    for (int x = 0; x < 20; ++x)
        for (int y = 0; y < 20; ++y)
            image.setPixelColor(x, y, QColor(255, 0, 0, 255));
    return image;
}

QByteArray formatOf(const QString& path)
{
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    return reader.format();
}

} // namespace

// Names follow the template; three saves in one second get numbered.
TEST(FileExport, NamesFollowTheTemplateAndGetNumbered)
{
    const QDateTime when(QDate(2026, 12, 5), QTime(16, 10, 24));
    EXPECT_EQ(FileExportService::generateFilename(QStringLiteral("{time}-{date}-{time}"), QStringLiteral("jpg"), when),
              QStringLiteral("16.10.24-2026-12-05-16.10.24.jpg"));
    const QString first = FileExportService::generateFilename(QLatin1String(FileExportService::defaultTemplate), QStringLiteral("png"), when);
    EXPECT_EQ(first, QStringLiteral("Screenshot 2026-12-05 at 16.10.24.png"));
    QTemporaryDir dir;
    QStringList written;
    for (int i = 0; i < 3; ++i) {
        const QString path = FileExportService::uniqueURL(dir.filePath(first));
        FileExportService::saveImage(halfTransparentRed(), path);
        written << QFileInfo(path).fileName();
    }
    EXPECT_EQ(written, (QStringList{first, QStringLiteral("Screenshot 2026-12-05 at 16.10.24 (1).png"),
                                    QStringLiteral("Screenshot 2026-12-05 at 16.10.24 (2).png")}));
}

TEST(FileExport, TypeComesFromTheExtension)
{
    QTemporaryDir dir;
    struct Case {
        const char* name;
        QByteArray format;
        bool keepsAlpha;
    };
    const Case cases[] = {
        {"shot.PNG", "png", true},  {"shot.JPG", "jpeg", false}, {"shot.jpeg", "jpeg", false},
        {"shot.tif", "tiff", true}, {"shot.gif", "gif", false},  {"shot.bmp", "bmp", false},
        {"shot.webp", "png", true}, {"noextension", "png", true},
    };
    for (const Case& c : cases) {
        const QString path = dir.filePath(QLatin1String(c.name));
        FileExportService::saveImage(halfTransparentRed(), path);
        EXPECT_EQ(formatOf(path), c.format) << c.name;
        QImageReader reader(path);
        reader.setDecideFormatFromContent(true);
        const QImage read = reader.read();
        ASSERT_FALSE(read.isNull()) << c.name;
        EXPECT_EQ(read.size(), QSize(40, 20)) << c.name;
        const QColor transparentSide = read.pixelColor(35, 10);
        if (c.keepsAlpha) {
            EXPECT_EQ(transparentSide.alpha(), 0) << c.name;
        } else {
            EXPECT_GT(transparentSide.lightness(), 240) << c.name << ": transparency turns white";
            EXPECT_GT(read.pixelColor(5, 10).red(), 200) << c.name;
        }
    }
}

// A failed save names the path and the system's reason, and leaves nothing behind, whether it
// streams a PNG or writes encoded bytes.
TEST(FileExport, AFailedWriteNamesThePathAndTheReasonAndLeavesNothing)
{
    QTemporaryDir dir;
    // Permissions do not stop root; sysfs refuses new files to everyone.
    QString locked = QStringLiteral("/sys");
    if (geteuid() != 0) {
        locked = dir.filePath(QStringLiteral("locked"));
        ASSERT_TRUE(QDir().mkpath(locked));
        QFile::setPermissions(locked, QFile::ReadOwner | QFile::ExeOwner);
    }
    const auto entries = [&] { return QDir(locked).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden); };
    const QStringList before = entries();
    const struct {
        QString path;
        const char* reason;
    } cases[] = {
        {locked + QStringLiteral("/pelorin-shot.png"), "ermission"},
        {locked + QStringLiteral("/pelorin-shot.jpg"), "ermission"},
        {dir.filePath(QStringLiteral("no/such/folder/shot.png")), "No such file"},
        {dir.filePath(QStringLiteral("no/such/folder/shot.jpg")), "No such file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        try {
            FileExportService::saveImage(halfTransparentRed(), c.path);
            ADD_FAILURE() << "the save should fail";
        } catch (const ExportError& error) {
            EXPECT_EQ(error.kind(), ExportError::Kind::failedToWrite);
            EXPECT_TRUE(error.description().startsWith(c.path)) << error.description().toStdString();
            EXPECT_TRUE(error.description().contains(QLatin1String(c.reason))) << error.description().toStdString();
        }
    }
    EXPECT_EQ(entries(), before);
    EXPECT_THROW(FileExportService::saveImage(QImage(), dir.filePath(QStringLiteral("x.png"))), ExportError);
}

namespace {

// The colour type byte of a PNG's header: 2 is RGB, 6 is RGBA.
int pngColorType(const QByteArray& file)
{
    return file.size() > 25 ? int(uchar(file[25])) : -1;
}

} // namespace

TEST(FileExport, PngKeepsPixelsScaleAndTextAndDropsAlphaOnlyWhenOpaque)
{
    QTemporaryDir dir;
    QImage opaque(30, 20, QImage::Format_RGB32);
    opaque.fill(QColor(10, 120, 240));
    opaque.setPixelColor(3, 4, QColor(250, 1, 7));
    QImage translucent(30, 20, QImage::Format_RGBA8888_Premultiplied);
    translucent.fill(QColor(200, 100, 50, 128));
    translucent.setPixelColor(0, 0, QColor(0, 0, 0, 0));
    translucent.setPixelColor(1, 0, QColor(255, 255, 255, 1));
    QImage captioned = halfTransparentRed();
    captioned.setText(QStringLiteral("Description"), QStringLiteral("Größe"));
    struct Case {
        const char* name;
        QImage image;
        double scale;
        int colorType;
    };
    const Case cases[] = {
        {"opaque 2×", opaque, 2.0, 2},
        {"premultiplied translucent", translucent, 1.0, 6},
        {"straight alpha with text", captioned, 1.5, 6},
    };
    for (const Case& c : cases) {
        QImage image = c.image;
        image.setDevicePixelRatio(c.scale);
        const QString path = dir.filePath(QLatin1String(c.name) + QStringLiteral(".png"));
        FileExportService::saveImage(image, path);
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << c.name;
        EXPECT_EQ(pngColorType(file.readAll()), c.colorType) << c.name;
        const QImage read(path);
        ASSERT_FALSE(read.isNull()) << c.name;
        EXPECT_EQ(read.dotsPerMeterX(), qRound(c.scale * 72 / 0.0254)) << c.name;
        EXPECT_EQ(read.text(), image.text()) << c.name;
        const QImage expected = image.convertToFormat(QImage::Format_ARGB32);
        const QImage actual = read.convertToFormat(QImage::Format_ARGB32);
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                ASSERT_EQ(actual.pixel(x, y), expected.pixel(x, y)) << c.name << " at " << x << "," << y;
    }
}

TEST(FileExport, APngThatFailsHalfwayLeavesTheOldFileAndNamesThePath)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("kept.png"));
    {
        QFile old(path);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("old contents");
    }
    const QImage image = halfTransparentRed();
    png::RowSource rows = png::rowsOf(image);
    rows.row = [&image](int y) { return y < 12 ? image.constScanLine(y) : nullptr; };
    try {
        FileExportService::savePng(rows, path);
        FAIL() << "the save should fail";
    } catch (const ExportError& error) {
        EXPECT_EQ(error.kind(), ExportError::Kind::failedToWrite);
        EXPECT_TRUE(error.description().startsWith(path)) << error.description().toStdString();
    }
    QFile old(path);
    ASSERT_TRUE(old.open(QIODevice::ReadOnly));
    EXPECT_EQ(old.readAll(), QByteArray("old contents"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("kept.png")});

    // A device that refuses the bytes: its own words come back.
    QFile full(QStringLiteral("/dev/full"));
    ASSERT_TRUE(full.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
    QString why;
    EXPECT_FALSE(png::write(full, image, {}, &why));
    EXPECT_TRUE(why.contains(QStringLiteral("space"))) << why.toStdString();
}
