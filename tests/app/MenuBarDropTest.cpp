#include "MemoryPasteboard.h"
#include "TestSupport.h"

#include "app/MenuBarDrop.h"
#include "editor/Uploader.h"
#include "platform/NotificationCenter.h"

#include <gtest/gtest.h>

#include <QCoro/QCoroTask>
#include <QFile>
#include <QTemporaryDir>
#include <QUrl>

using namespace pelorin;

namespace {

class Alerts : public AlertPresenter {
public:
    QStringList shown;
    void warning(const QString& message, const QString& informative) override { shown << message + u'|' + informative; }
};

class FakeUploader : public Uploader {
public:
    bool configured = false;
    bool fails = false;
    QStringList uploaded;
    bool isConfigured() const override { return configured; }
    QCoro::Task<UploadedFile> upload(QByteArray, QString fileName) override
    {
        if (fails)
            throw ServiceError(QStringLiteral("Upload failed (500): boom"));
        uploaded << fileName;
        UploadedFile file;
        file.fileName = fileName;
        file.publicUrl = QStringLiteral("https://files.example/") + fileName;
        co_return file;
    }
};

} // namespace

// A drop on the tray icon: without uploads a mixed drop does nothing but warn; with them,
// images open in the editor and other files upload, their link on the clipboard.
TEST(MenuBarDrop, ImagesOpenAndOtherFilesUploadWhereUploadsAreSetUp)
{
    QTemporaryDir dir;
    const auto path = [&](const char* name) { return dir.filePath(QLatin1String(name)); };
    for (const char* name : {"shot.png", "photo.JPG", "report.pdf", "notes"})
        test::writeBytes(path(name), "x");
    NotificationCenter notifications;
    QStringList opened;
    notifications.observe(Notifications::openDroppedFile, &notifications,
                          [&](const QVariant& url) { opened << url.toUrl().fileName(); });
    Alerts alerts;
    test::MemoryPasteboard board;
    FakeUploader uploader;
    MenuBarDrop drop{notifications, uploader, board, alerts};
    drop.handleFiles({path("shot.png"), path("report.pdf")});
    EXPECT_TRUE(opened.isEmpty());
    EXPECT_EQ(alerts.shown, QStringList{QStringLiteral("Uploads Not Configured|Add your S3/R2 storage details in Pelorin's Settings to upload files.")});
    drop.handleFiles({path("shot.png"), path("photo.JPG")});
    EXPECT_EQ(opened, (QStringList{QStringLiteral("shot.png"), QStringLiteral("photo.JPG")})) << "images alone still open";

    opened.clear();
    alerts.shown.clear();
    uploader.configured = true;
    drop.handleFiles({path("shot.png"), path("report.pdf")});
    ASSERT_TRUE(test::waitUntil([&] { return !board.string.isEmpty(); }));
    EXPECT_EQ(opened, QStringList{QStringLiteral("shot.png")});
    EXPECT_EQ(uploader.uploaded, QStringList{QStringLiteral("report.pdf")});
    EXPECT_EQ(board.string, QStringLiteral("https://files.example/report.pdf"));

    uploader.fails = true;
    QCoro::waitFor(drop.uploadDroppedFile(path("notes")));
    EXPECT_EQ(alerts.shown, QStringList{QStringLiteral("Upload Failed|Upload failed (500): boom")});
    QCoro::waitFor(drop.uploadDroppedFile(path("gone.bin")));
    EXPECT_EQ(alerts.shown.size(), 2) << "an unreadable file is an upload failure too";
}
