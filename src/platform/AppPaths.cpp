#include "platform/AppPaths.h"

#include "core/AtomicFile.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace pelorin {

QString configFilePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/Pelorin/Pelorin.json");
}

QString appSupportDirectory()
{
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (base.isEmpty())
        return {};
    const QString folder = base + QStringLiteral("/Pelorin");
    QDir().mkpath(folder); // a failure shows up when the file inside is written
    return folder;
}

QString appSupportURL(const QString& file)
{
    const QString folder = appSupportDirectory();
    return folder.isEmpty() ? QString() : folder + u'/' + file;
}

QString legacySupportDirectory()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Ostrafel");
}

QString cacheDirectory()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + u'/' + QString::fromLatin1(applicationId);
}

QStringList ownFolders()
{
    return {QFileInfo(configFilePath()).absolutePath(),
            QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Pelorin"),
            cacheDirectory()};
}

std::optional<QString> stateFileLinkRefusal(const QString& path)
{
    return linkLeavesOwnFolders(path, ownFolders() << QFileInfo(path).absolutePath());
}

std::optional<QString> writeStateFile(const QString& path, const QByteArray& bytes,
                                      std::optional<QFileDevice::Permissions> permissions)
{
    if (std::optional<QString> refusal = stateFileLinkRefusal(path))
        return refusal;
    // The folder may have been removed since start-up.
    QDir().mkpath(QFileInfo(path).absolutePath());
    return writeFileAtomically(path, bytes, permissions);
}

} // namespace pelorin
