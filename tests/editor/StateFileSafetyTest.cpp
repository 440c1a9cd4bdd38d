#include "TestSupport.h"

#include "editor/FileExportService.h"
#include "platform/AppPaths.h"
#include "upload/UploadConfig.h"
#include "upload/UploadHistoryStore.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <csignal>
#include <functional>
#include <sys/resource.h>

using namespace pelorin;
using test::readBytes;

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
// old file stays as it was, no temporary is left, and the failure is reported.
TEST(StateFileSafety, AFullDiskLeavesEveryOldFileAsItWas)
{
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
    }
}

// A state file that is a link to a file outside Pelorin's folders is never written through:
// the other file keeps its contents. A link within the same folder is followed.
TEST(StateFileSafety, LinksOutOfOwnFoldersAreNotWrittenThrough)
{
    QTemporaryDir own;
    QTemporaryDir elsewhere;
    const QString victim = elsewhere.filePath(QStringLiteral("bashrc"));
    for (const Writer& writer : writers()) {
        if (!writer.ownFile)
            continue;
        SCOPED_TRACE(writer.name);
        ASSERT_TRUE(test::writeBytes(victim, "alias ll='ls -l'\n"));
        const QString path = own.filePath(writer.file);
        QFile::remove(path);
        ASSERT_TRUE(QFile::link(victim, path));
        writer.write(path, false);
        EXPECT_EQ(readBytes(victim), "alias ll='ls -l'\n");

        const QString inside = own.filePath(QStringLiteral("real-") + writer.file);
        QFile::remove(path);
        QFile::remove(inside);
        ASSERT_TRUE(QFile::link(inside, path));
        EXPECT_TRUE(writer.write(path, false));
        EXPECT_FALSE(readBytes(inside).isEmpty());
        EXPECT_TRUE(QFileInfo(path).isSymLink());
    }
    EXPECT_EQ(stateFileLinkRefusal(own.filePath(QStringLiteral("x"))), std::nullopt);
}
