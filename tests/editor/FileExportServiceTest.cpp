#include "editor/FileExportService.h"

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

TEST(FileExport, NamesFollowTheTemplate)
{
    const QDateTime when(QDate(2026, 12, 5), QTime(16, 10, 24));
    EXPECT_EQ(FileExportService::generateFilename(QLatin1String(FileExportService::defaultTemplate), QStringLiteral("png"), when),
              QStringLiteral("Screenshot 2026-12-05 at 16.10.24.png"));
    EXPECT_EQ(FileExportService::generateFilename(QStringLiteral("{time}-{date}-{time}"), QStringLiteral("jpg"), when),
              QStringLiteral("16.10.24-2026-12-05-16.10.24.jpg"));
}

TEST(FileExport, ThreeSavesInOneSecondGetNumbered)
{
    QTemporaryDir dir;
    const QString first = dir.filePath(QStringLiteral("Screenshot 2026-12-05 at 16.10.24.png"));
    QStringList written;
    for (int i = 0; i < 3; ++i) {
        const QString path = FileExportService::uniqueURL(first);
        FileExportService::saveImage(halfTransparentRed(), path);
        written << QFileInfo(path).fileName();
    }
    EXPECT_EQ(written, (QStringList{QStringLiteral("Screenshot 2026-12-05 at 16.10.24.png"),
                                    QStringLiteral("Screenshot 2026-12-05 at 16.10.24 (1).png"),
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

TEST(FileExport, AFailedWriteReportsTheSystemErrorAndLeavesNothing)
{
    QTemporaryDir dir;
    // Permissions do not stop root; sysfs refuses new files to everyone.
    QString folder = QStringLiteral("/sys");
    if (geteuid() != 0) {
        folder = dir.filePath(QStringLiteral("locked"));
        ASSERT_TRUE(QDir().mkpath(folder));
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner);
    }
    const QStringList before = QDir(folder).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden);
    try {
        FileExportService::saveImage(halfTransparentRed(), folder + QStringLiteral("/pelorin-shot.png"));
        FAIL() << "the save should fail";
    } catch (const ExportError& error) {
        EXPECT_EQ(error.kind(), ExportError::Kind::failedToWrite);
        EXPECT_TRUE(error.description().contains(QStringLiteral("ermission"))) << error.description().toStdString();
    }
    EXPECT_EQ(QDir(folder).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden), before);
}

TEST(FileExport, AMissingFolderIsAWriteErrorNotACrash)
{
    QTemporaryDir dir;
    try {
        FileExportService::saveImage(halfTransparentRed(), dir.filePath(QStringLiteral("no/such/folder/shot.png")));
        FAIL() << "the save should fail";
    } catch (const ExportError& error) {
        EXPECT_EQ(error.kind(), ExportError::Kind::failedToWrite);
        EXPECT_FALSE(error.description().isEmpty());
    }
    EXPECT_THROW(FileExportService::saveImage(QImage(), dir.filePath(QStringLiteral("x.png"))), ExportError);
}
