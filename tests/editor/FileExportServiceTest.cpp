#include "TestSupport.h"

#include "editor/FileExportService.h"
#include "editor/PngWriter.h"
#include "platform/AppPaths.h"
#include "upload/UploadConfig.h"
#include "upload/UploadHistoryStore.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <csignal>
#include <functional>
#include <sys/resource.h>
#include <unistd.h>

using namespace pelorin;
using test::readBytes;

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

// The type comes from the extension, PNG for an unknown one; a type without alpha turns
// transparency white; a PNG keeps the pixels, the scale and the text, and drops the alpha
// channel only when the picture is opaque (colour type 2 rather than 6).
TEST(FileExport, EachTypeKeepsWhatItCan)
{
    QTemporaryDir dir;
    QImage opaque(30, 20, QImage::Format_RGB32);
    opaque.fill(QColor(10, 120, 240));
    opaque.setPixelColor(3, 4, QColor(250, 1, 7));
    opaque.setDevicePixelRatio(2);
    QImage translucent(30, 20, QImage::Format_RGBA8888_Premultiplied);
    translucent.fill(QColor(200, 100, 50, 128));
    translucent.setPixelColor(0, 0, QColor(0, 0, 0, 0));
    translucent.setPixelColor(1, 0, QColor(255, 255, 255, 1));
    QImage captioned = halfTransparentRed();
    captioned.setText(QStringLiteral("Description"), QStringLiteral("Größe"));
    captioned.setDevicePixelRatio(1.5);
    enum Kept { everything, alpha, nothingTransparent };
    struct Case { const char* name; QImage image; QByteArray format; Kept kept; int pngColorType = 6; };
    const QImage half = halfTransparentRed();
    const Case cases[] = {
        {"shot.PNG", half, "png", everything},       {"shot.JPG", half, "jpeg", nothingTransparent},
        {"shot.jpeg", half, "jpeg", nothingTransparent}, {"shot.tif", half, "tiff", alpha},
        {"shot.gif", half, "gif", nothingTransparent},   {"shot.bmp", half, "bmp", nothingTransparent},
        {"shot.webp", half, "png", everything},      {"noextension", half, "png", everything},
        {"opaque.png", opaque, "png", everything, 2}, {"translucent.png", translucent, "png", everything},
        {"captioned.png", captioned, "png", everything},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = dir.filePath(QLatin1String(c.name));
        FileExportService::saveImage(c.image, path);
        QImageReader reader(path);
        reader.setDecideFormatFromContent(true);
        EXPECT_EQ(reader.format(), c.format);
        const QImage read = reader.read();
        ASSERT_EQ(read.size(), c.image.size());
        if (c.kept == alpha) {
            EXPECT_EQ(read.pixelColor(35, 10).alpha(), 0);
        } else if (c.kept == nothingTransparent) {
            EXPECT_GT(read.pixelColor(35, 10).lightness(), 240) << "transparency turns white";
            EXPECT_GT(read.pixelColor(5, 10).red(), 200);
        } else {
            EXPECT_EQ(int(uchar(readBytes(path).at(25))), c.pngColorType);
            EXPECT_EQ(read.dotsPerMeterX(), qRound(c.image.devicePixelRatio() * 72 / 0.0254));
            EXPECT_EQ(read.text(), c.image.text());
            const QImage expected = c.image.convertToFormat(QImage::Format_ARGB32);
            EXPECT_EQ(read.convertToFormat(QImage::Format_ARGB32), expected);
        }
    }
}

// A failed save names the path and the system's reason, and leaves nothing behind, whether it
// streams a PNG or writes encoded bytes; a PNG whose rows run out halfway leaves the old file
// of its name as it was.
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
    const QString kept = dir.filePath(QStringLiteral("kept.png"));
    ASSERT_TRUE(test::writeBytes(kept, "old contents"));
    const QImage image = halfTransparentRed();
    png::RowSource halfway = png::rowsOf(image);
    halfway.row = [&image](int y) { return y < 12 ? image.constScanLine(y) : nullptr; };
    const struct { QString path; const char* reason; bool rowsRunOut = false; } cases[] = {
        {locked + QStringLiteral("/pelorin-shot.png"), "ermission"},
        {locked + QStringLiteral("/pelorin-shot.jpg"), "ermission"},
        {dir.filePath(QStringLiteral("no/such/folder/shot.png")), "No such file"},
        {dir.filePath(QStringLiteral("no/such/folder/shot.jpg")), "No such file"},
        {kept, "", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        try {
            if (c.rowsRunOut)
                FileExportService::savePng(halfway, c.path);
            else
                FileExportService::saveImage(image, c.path);
            ADD_FAILURE() << "the save should fail";
        } catch (const ExportError& error) {
            EXPECT_EQ(error.kind(), ExportError::Kind::failedToWrite);
            EXPECT_TRUE(error.description().startsWith(c.path)) << error.description().toStdString();
            EXPECT_TRUE(error.description().contains(QLatin1String(c.reason))) << error.description().toStdString();
        }
    }
    EXPECT_EQ(entries(), before);
    EXPECT_EQ(readBytes(kept), "old contents");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("kept.png")});
    EXPECT_THROW(FileExportService::saveImage(QImage(), dir.filePath(QStringLiteral("x.png"))), ExportError);

    // A device that refuses the bytes: its own words come back.
    QFile full(QStringLiteral("/dev/full"));
    ASSERT_TRUE(full.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
    QString why;
    EXPECT_FALSE(png::write(full, image, {}, &why));
    EXPECT_TRUE(why.contains(QStringLiteral("space"))) << why.toStdString();
}

namespace {

struct Writer {
    const char* name;
    QString file;
    bool ownFile; // one of Pelorin's own files, not an export the user points somewhere
    // Writes a small first version, then one far larger; each returns whether it succeeded.
    std::function<bool(const QString& path, bool large)> write;
};

QImage noise(int side)
{
    QImage image(side, side, QImage::Format_RGB32);
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x)
            image.setPixel(x, y, QRandomGenerator::global()->generate());
    return image;
}

bool saves(const QImage& image, const QString& path)
{
    try {
        FileExportService::saveImage(image, path);
        return true;
    } catch (const ExportError&) {
        return false;
    }
}

UploadedFile upload(int urlLength)
{
    return UploadedFile{QUuid::createUuid(), QStringLiteral("a.png"), QStringLiteral("k"),
                        QStringLiteral("https://cdn/") + QString(urlLength, u'u'), QDateTime::currentDateTimeUtc(), 1, {}};
}

const std::vector<Writer>& writers()
{
    static const std::vector<Writer> all{
        {"settings", QStringLiteral("Pelorin.json"), true,
         [](const QString& path, bool large) {
             const QByteArray note(large ? 12'000 : 10, 'n');
             SettingsStore(path).setValue(QStringLiteral("note"), QString::fromLatin1(note));
             return readBytes(QFileInfo(path).canonicalFilePath()).contains(note);
         }},
        {"upload history", QStringLiteral("uploads.json"), true,
         [](const QString& path, bool large) {
             UploadHistoryStore history(path, QString());
             history.add(upload(large ? 12'000 : 10));
             return UploadHistoryStore(path, QString()).files().size() == (large ? 2 : 1);
         }},
        {"upload settings", QStringLiteral("upload-config.json"), true,
         [](const QString& path, bool large) {
             return UploadConfigFile(path, {}).save(
                 {QStringLiteral("a"), QStringLiteral("k"), QString(large ? 12'000 : 10, u's'), QStringLiteral("b"), QStringLiteral("u")});
         }},
        // Encoded in pieces that stay in the file's buffer until it is committed.
        {"PNG export", QStringLiteral("shot.png"), false, [](const QString& path, bool large) { return saves(noise(large ? 60 : 4), path); }},
        {"JPEG export", QStringLiteral("shot.jpg"), false, [](const QString& path, bool large) { return saves(noise(large ? 60 : 4), path); }},
    };
    return all;
}

// Runs `work` with writes past `bytes` refused, as on a full disk.
template <typename Work>
auto withFileSizeLimit(rlim_t bytes, Work&& work)
{
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &small);
    const auto result = work();
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previous);
    return result;
}

} // namespace

// Every writer of the user's files commits only a complete file: when the disk fills up, the
// old file stays as it was, no temporary is left, and the failure is reported. Pelorin's own
// files are never written through a link to a file outside its folders; a link within the same
// folder is followed.
TEST(StateFileSafety, AFullDiskOrALinkOutLeavesEveryOtherFileAsItWas)
{
    QTemporaryDir elsewhere;
    const QString victim = elsewhere.filePath(QStringLiteral("bashrc"));
    for (const Writer& writer : writers()) {
        SCOPED_TRACE(writer.name);
        QTemporaryDir dir;
        const QString path = dir.filePath(writer.file);
        ASSERT_TRUE(writer.write(path, false));
        const QByteArray old = readBytes(path);
        ASSERT_FALSE(old.isEmpty());
        EXPECT_FALSE(withFileSizeLimit(old.size() + 2048, [&] { return writer.write(path, true); }));
        EXPECT_EQ(readBytes(path), old);
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{writer.file}) << "a temporary was left";
        if (!writer.ownFile)
            continue;

        ASSERT_TRUE(test::writeBytes(victim, "alias ll='ls -l'\n"));
        // The same file the failed write was meant for: the settings keep that write to retry.
        const QString link = path, inside = dir.filePath(QStringLiteral("real-") + writer.file);
        ASSERT_TRUE(QFile::remove(path));
        ASSERT_TRUE(QFile::link(victim, link));
        writer.write(link, false);
        EXPECT_EQ(readBytes(victim), "alias ll='ls -l'\n");
        QFile::remove(link);
        ASSERT_TRUE(QFile::link(inside, link));
        EXPECT_TRUE(writer.write(link, false));
        EXPECT_FALSE(readBytes(inside).isEmpty());
        EXPECT_TRUE(QFileInfo(link).isSymLink());
    }
    EXPECT_EQ(stateFileLinkRefusal(elsewhere.filePath(QStringLiteral("x"))), std::nullopt);
}
