#include "core/AtomicFile.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <cstring>

#include <unistd.h>

namespace pelorin {

QString fileErrorText(const QFileDevice& file, int systemError)
{
    const bool told = file.error() != QFileDevice::NoError && file.errorString() != QLatin1String("Unknown error");
    if (told || systemError == 0)
        return file.errorString();
    return QString::fromLocal8Bit(std::strerror(systemError));
}

std::optional<QString> commitAtomically(QSaveFile& file)
{
    const QString path = file.fileName();
    const auto failure = [&file, &path](int systemError) {
        const QString error = path + QStringLiteral(": ") + fileErrorText(file, systemError);
        file.cancelWriting();
        return error;
    };
    // QSaveFile keeps what a failed flush reported to itself, and commit() then renames the
    // short file into place: flush and sync here, where a failure can still be seen.
    errno = 0;
    if (file.error() != QFileDevice::NoError || !file.flush())
        return failure(errno);
    errno = 0;
    if (::fsync(file.handle()) != 0 && errno != EINVAL && errno != EROFS)
        return failure(errno);
    errno = 0;
    if (!file.commit())
        return path + QStringLiteral(": ") + fileErrorText(file, errno);
    return std::nullopt;
}

std::optional<QString> writeFileAtomically(const QString& path, const QByteArray& bytes,
                                           std::optional<QFileDevice::Permissions> permissions)
{
    QSaveFile file(path);
    const auto failure = [&file, &path](int systemError) {
        const QString error = path + QStringLiteral(": ") + fileErrorText(file, systemError);
        file.cancelWriting();
        return error;
    };
    errno = 0;
    if (!file.open(QIODevice::WriteOnly))
        return failure(errno);
    if (permissions && !file.setPermissions(*permissions))
        return failure(errno);
    errno = 0;
    if (file.write(bytes) != bytes.size())
        return failure(errno);
    return commitAtomically(file);
}

std::optional<QString> linkLeavesOwnFolders(const QString& path, const QStringList& ownFolders)
{
    const QFileInfo info(path);
    if (!info.isSymLink())
        return std::nullopt;
    // The link's final target, resolved through every link on the way, even when it does
    // not exist yet.
    QString target = info.absoluteFilePath();
    for (int hops = 0; hops < 32 && QFileInfo(target).isSymLink(); ++hops)
        target = QFileInfo(target).symLinkTarget();
    const QString resolvedFolder = QFileInfo(QFileInfo(target).absolutePath()).canonicalFilePath();
    if (!resolvedFolder.isEmpty()) {
        for (const QString& folder : ownFolders) {
            const QString own = QFileInfo(folder).canonicalFilePath();
            if (!own.isEmpty() && (resolvedFolder == own || resolvedFolder.startsWith(own + u'/')))
                return std::nullopt;
        }
    }
    return path + QStringLiteral(": is a link to ") + QDir::toNativeSeparators(target)
        + QStringLiteral(", outside Pelorin's own folders; not written");
}

} // namespace pelorin
