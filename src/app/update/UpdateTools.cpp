#include "app/update/UpdateTools.h"

#include "app/update/UpdateError.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <QCoro/QCoroProcess>

#include <sys/xattr.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

namespace pelorin {

QCoro::Task<QByteArray> runTool(QString program, QStringList arguments)
{
    auto process = std::make_unique<QProcess>();
    auto awaitable = qCoro(*process);
    const bool started = co_await awaitable.start(program, arguments);
    if (!started)
        throw UpdateError(process->errorString());
    // Unpacking a large archive on a busy machine may take a while; the tools never wait on input.
    const QString name = QFileInfo(program).fileName();
    const std::chrono::milliseconds longest = std::chrono::minutes(10);
    if (!co_await awaitable.waitForFinished(longest)) {
        process->kill();
        const std::chrono::milliseconds grace = std::chrono::seconds(5);
        co_await awaitable.waitForFinished(grace);
        throw UpdateError(QStringLiteral("%1 did not finish.").arg(name));
    }
    if (process->exitStatus() != QProcess::NormalExit)
        throw UpdateError(QStringLiteral("%1 failed (crashed).").arg(name));
    if (process->exitCode() != 0) {
        // The tool's first complaint says what was wrong ("This does not look like a tar
        // archive"); the lines after it only say that it gave up.
        const QList<QByteArray> lines = process->readAllStandardError().trimmed().split('\n');
        const QString reason = QString::fromLocal8Bit(lines.first()).trimmed().left(300);
        throw UpdateError(reason.isEmpty() ? QStringLiteral("%1 failed (%2).").arg(name).arg(process->exitCode())
                                           : QStringLiteral("%1 failed (%2): %3").arg(name).arg(process->exitCode()).arg(reason));
    }
    co_return process->readAllStandardOutput();
}

bool archiveMembersAreOrdinary(const QByteArray& verboseListing)
{
    for (const QByteArray& line : verboseListing.split('\n')) {
        // The first letter of the mode: - file, d folder, l symbolic link, h hard link.
        if (!line.isEmpty() && !QByteArrayView("-dlh").contains(line.front()))
            return false;
    }
    return true;
}

bool isStagingFolder(const QString& folder)
{
    const QFileInfo info(folder);
    if (!info.isDir() || info.isSymLink())
        return false;
    static const QStringList ours{QStringLiteral("update.tar.gz.part"), QStringLiteral("update.tar.gz"),
                                  QStringLiteral("mnt"), QStringLiteral("Pelorin")};
    const QStringList entries = QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    return std::all_of(entries.begin(), entries.end(), [](const QString& name) { return ours.contains(name); });
}

bool isOwnStagingRoot(const QString& root)
{
    const QFileInfo info(root);
    if (root.isEmpty() || info.isSymLink())
        return false;
    if (!info.exists())
        return true;
    // No link anywhere on the way either: the folder must be where its parent says it is.
    return info.isDir()
        && info.canonicalFilePath() == QFileInfo(info.absolutePath()).canonicalFilePath() + u'/' + info.fileName();
}

bool archiveMembersStayInside(const QByteArray& listing)
{
    for (const QByteArray& name : listing.split('\n')) {
        if (name.isEmpty())
            continue;
        if (name.startsWith('/'))
            return false;
        for (const QByteArray& component : name.split('/')) {
            if (component == "..")
                return false;
        }
    }
    return true;
}

void setTreeWritable(const QString& path, bool writable)
{
    constexpr QFile::Permissions writeBits = QFile::WriteOwner | QFile::WriteUser | QFile::WriteGroup | QFile::WriteOther;
    const auto apply = [&](const QFileInfo& info) {
        if (info.isSymLink())
            return;
        // Giving back write permission goes to the owner only; taking it away takes it from all.
        const QFile::Permissions permissions = writable ? info.permissions() | QFile::WriteOwner | QFile::WriteUser
                                                        : info.permissions() & ~writeBits;
        QFile::setPermissions(info.filePath(), permissions);
    };
    const QFileInfo root(path);
    if (!root.exists() || root.isSymLink())
        return;
    apply(root);
    if (!root.isDir())
        return;
    QDirIterator it(path, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        if (info.isDir() && !info.isSymLink())
            setTreeWritable(info.filePath(), writable);
        else
            apply(info);
    }
}

bool removeTree(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return true;
    if (info.isSymLink() || !info.isDir())
        return QFile::remove(path);
    setTreeWritable(path, true);
    return QDir(path).removeRecursively();
}

void clearDownloadMarks(const QString& path)
{
    const auto clear = [](const QString& entry) {
        // Only files and folders carry user attributes; asking a link or a pipe fails.
        const QFileInfo info(entry);
        if (info.isSymLink() || !(info.isFile() || info.isDir()))
            return;
        const QByteArray native = QFile::encodeName(entry);
        for (const char* name : {"user.xdg.origin.url", "user.xdg.referrer.url"}) {
            if (::lremovexattr(native.constData(), name) == 0 || errno == ENODATA || errno == ENOTSUP)
                continue;
            throw UpdateError(QStringLiteral("Couldn't clear the download marks of %1: %2")
                                  .arg(entry, QString::fromLocal8Bit(std::strerror(errno))));
        }
    };
    clear(path);
    QDirIterator it(path, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        clear(it.next());
}

QString folderVersion(const QString& folder)
{
    QFile file(QDir(folder).filePath(QStringLiteral("VERSION")));
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("0");
    const QString version = QString::fromUtf8(file.readLine(256)).trimmed();
    return version.isEmpty() ? QStringLiteral("0") : version;
}

bool isApplicationFolder(const QString& folder)
{
    const QFileInfo info(folder);
    if (!info.isDir() || info.isSymLink())
        return false;
    const QDir dir(folder);
    // The launcher alone cannot start anything: the program it hands over to must be there too.
    return QFileInfo(dir.filePath(QStringLiteral("VERSION"))).isFile()
        && QFileInfo(dir.filePath(QStringLiteral("bin/pelorin"))).isFile()
        && QFileInfo(dir.filePath(QStringLiteral("libexec/pelorin/pelorin-app"))).isFile();
}

} // namespace pelorin
