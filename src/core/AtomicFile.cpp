#include "core/AtomicFile.h"

#include <QSaveFile>

#include <cerrno>
#include <cstring>

namespace pelorin {

QString fileErrorText(const QFileDevice& file, int systemError)
{
    const bool told = file.error() != QFileDevice::NoError && file.errorString() != QLatin1String("Unknown error");
    if (told || systemError == 0)
        return file.errorString();
    return QString::fromLocal8Bit(std::strerror(systemError));
}

std::optional<QString> writeFileAtomically(const QString& path, const QByteArray& bytes,
                                           std::optional<QFileDevice::Permissions> permissions)
{
    QSaveFile file(path);
    const auto failure = [&file, &path](int systemError) { return path + QStringLiteral(": ") + fileErrorText(file, systemError); };
    errno = 0;
    if (!file.open(QIODevice::WriteOnly))
        return failure(errno);
    if (permissions && !file.setPermissions(*permissions)) {
        const QString error = failure(errno);
        file.cancelWriting();
        return error;
    }
    errno = 0;
    if (file.write(bytes) != bytes.size()) {
        const QString error = failure(errno);
        file.cancelWriting();
        return error;
    }
    errno = 0;
    if (!file.commit())
        return failure(errno);
    return std::nullopt;
}

} // namespace pelorin
