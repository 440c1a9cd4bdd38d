#include "app/MenuBarDrop.h"

#include "editor/Uploader.h"
#include "platform/NotificationCenter.h"
#include "platform/Pasteboard.h"

#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

namespace pelorin {

MenuBarDrop::MenuBarDrop(NotificationCenter& notifications, Uploader& uploader, Pasteboard& pasteboard,
                         AlertPresenter& alerts)
    : m_notifications(notifications)
    , m_uploader(uploader)
    , m_pasteboard(pasteboard)
    , m_alerts(alerts)
{
}

bool MenuBarDrop::isImageFile(const QString& path)
{
    // By name only, as the drop decides before anything is read.
    const QMimeType type = QMimeDatabase().mimeTypeForFile(path, QMimeDatabase::MatchExtension);
    return type.isValid() && !type.isDefault() && type.name().startsWith(QLatin1String("image/"));
}

void MenuBarDrop::handleFiles(const QStringList& paths)
{
    if (paths.isEmpty())
        return;
    const bool uploadsUsable = m_uploader.isConfigured();
    for (const QString& path : paths) {
        if (!uploadsUsable && !isImageFile(path)) {
            m_alerts.warning(QStringLiteral("Uploads Not Configured"),
                             QStringLiteral("Add your S3/R2 storage details in Pelorin's Settings to upload files."));
            return; // nothing of this drop is opened or uploaded
        }
    }
    for (const QString& path : paths) {
        if (isImageFile(path))
            m_notifications.post(Notifications::openDroppedFile, QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()));
        else
            uploadDroppedFile(path);
    }
}

QCoro::Task<void> MenuBarDrop::uploadDroppedFile(QString path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        m_alerts.warning(QStringLiteral("Upload Failed"), file.errorString());
        co_return;
    }
    const QByteArray data = file.readAll();
    file.close();
    try {
        const UploadedFile uploaded = co_await m_uploader.upload(data, QFileInfo(path).fileName());
        m_pasteboard.clear();
        m_pasteboard.writeText(uploaded.publicUrl);
        playCompletionSound();
    } catch (const ServiceError& error) {
        m_alerts.warning(QStringLiteral("Upload Failed"), error.description());
    }
}

void playCompletionSound()
{
    const QString player = QStandardPaths::findExecutable(QStringLiteral("canberra-gtk-play"));
    if (!player.isEmpty())
        QProcess::startDetached(player, {QStringLiteral("--id"), QStringLiteral("complete")});
}

} // namespace pelorin
