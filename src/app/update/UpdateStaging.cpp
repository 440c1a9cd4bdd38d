#include "app/update/UpdateStaging.h"

#include "app/update/UpdateDownload.h"
#include "app/update/UpdateError.h"
#include "app/update/UpdateTools.h"
#include "core/Version.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <exception>

namespace pelorin {

namespace {

const QString tar = QStringLiteral("/bin/tar");
const QString cp = QStringLiteral("/bin/cp");

// The feed's version names a folder under the staging root; it must stay one folder.
bool isSafeFolderName(const QString& name)
{
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..") && !name.contains(u'/')
        && !name.contains(QChar(0)) && name.size() <= 100;
}

UpdateError fileError(const QString& what, const QString& path)
{
    return UpdateError(QStringLiteral("Couldn't %1 %2.").arg(what, QDir::toNativeSeparators(path)));
}

// The first folder in the unpacked archive that is an application folder.
QString findApplication(const QString& mnt)
{
    const QFileInfoList entries = QDir(mnt).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
    const auto found = std::find_if(entries.begin(), entries.end(),
                                    [](const QFileInfo& entry) { return isApplicationFolder(entry.filePath()); });
    return found == entries.end() ? QString() : found->filePath();
}

// Steps between unpacking and detaching; the caller removes "mnt" whatever happens here.
QCoro::Task<QString> unpackAndCopy(QString archive, QString source, QString mnt, QString staged, QString currentVersion)
{
    // Argument lists are built before co_await: g++ 12 mishandles temporaries inside a
    // co_await expression.
    const QStringList list{QStringLiteral("--list"), QStringLiteral("--verbose"), QStringLiteral("--gzip"),
                           QStringLiteral("--file"), archive};
    QByteArray verbose;
    try {
        verbose = co_await runTool(tar, list);
    } catch (const UpdateError& error) {
        throw UpdateError(QStringLiteral("The update archive %1 could not be read: %2").arg(source, error.description()));
    }
    if (!archiveMembersAreOrdinary(verbose))
        throw UpdateError(QStringLiteral("The update archive holds device files or other special files."));
    const QStringList names{QStringLiteral("--list"), QStringLiteral("--gzip"), QStringLiteral("--file"), archive};
    const QByteArray listing = co_await runTool(tar, names);
    if (!archiveMembersStayInside(listing))
        throw UpdateError(QStringLiteral("The update archive holds files outside its folder."));
    const QStringList extract{QStringLiteral("--extract"), QStringLiteral("--gzip"), QStringLiteral("--file"), archive,
                              QStringLiteral("--directory"), mnt, QStringLiteral("--no-same-owner")};
    co_await runTool(tar, extract);
    setTreeWritable(mnt, false);

    const QString application = findApplication(mnt);
    if (application.isEmpty())
        throw UpdateError(QStringLiteral("The update image doesn't contain an app."));

    if (!removeTree(staged))
        throw fileError(QStringLiteral("remove"), staged);
    const QStringList copy{QStringLiteral("-a"), QStringLiteral("--no-target-directory"), application, staged};
    co_await runTool(cp, copy);
    // The copy keeps the read-only modes of the unpacked archive; the installed folder must
    // stay the user's to replace at the next update.
    setTreeWritable(staged, true);

    const QString stagedVersion = folderVersion(staged);
    if (!isNewer(stagedVersion, currentVersion))
        throw UpdateError(QStringLiteral("The downloaded update (%1) isn't newer than %2.").arg(stagedVersion, currentVersion));
    clearDownloadMarks(staged);
    co_return staged;
}

QCoro::Task<QString> downloadAndStage(QUrl url, UpdateFeed feed, QString folder, QString currentVersion)
{
    const QDir work(folder);
    const QString partial = work.filePath(QStringLiteral("update.tar.gz.part"));
    const DownloadResult download = co_await downloadToFile(url, partial);
    if (download.status != 200)
        throw UpdateError(QStringLiteral("Download failed (HTTP %1).").arg(download.status));
    if (feed.sha256 && download.sha256 != feed.sha256->toLatin1())
        throw UpdateError(QStringLiteral("The downloaded update doesn't match the checksum in the update feed."));
    const QString archive = work.filePath(QStringLiteral("update.tar.gz"));
    if (!QFile::rename(partial, archive))
        throw fileError(QStringLiteral("move the download to"), archive);

    const QString mnt = work.filePath(QStringLiteral("mnt"));
    if (!QDir().mkpath(mnt))
        throw fileError(QStringLiteral("create"), mnt);
    QString staged;
    std::exception_ptr failure;
    try {
        const QString target = work.filePath(QStringLiteral("Pelorin"));
        staged = co_await unpackAndCopy(archive, url.fileName(), mnt, target, currentVersion);
    } catch (...) {
        failure = std::current_exception();
    }
    const bool detached = removeTree(mnt);
    if (failure)
        std::rethrow_exception(failure);
    if (!detached)
        throw fileError(QStringLiteral("remove"), mnt);
    co_return staged;
}

} // namespace

QCoro::Task<QString> stageUpdate(UpdateFeed feed, StagingPlace place)
{
    const QUrl url = downloadUrl(place.siteBase, feed.dmg_url);
    if (url.isEmpty())
        throw UpdateError(QStringLiteral("Bad download URL in the update feed."));
    if (!isSafeFolderName(feed.version))
        throw UpdateError(QStringLiteral("Bad version in the update feed."));
    // Whatever is cleared or created below must be in the application's own folder.
    if (!isOwnStagingRoot(place.stagingRoot))
        throw UpdateError(QStringLiteral("The update folder %1 is a link to another place; remove it to update.")
                              .arg(QDir::toNativeSeparators(place.stagingRoot)));

    const QDir work(QDir(place.stagingRoot).filePath(feed.version));
    if (QFileInfo::exists(work.path()) && !isStagingFolder(work.path()))
        throw UpdateError(QStringLiteral("The update folder %1 holds files Pelorin did not put there.")
                              .arg(QDir::toNativeSeparators(work.path())));
    if (!removeTree(work.path()))
        throw fileError(QStringLiteral("remove"), work.path());
    if (!QDir().mkpath(work.path()))
        throw fileError(QStringLiteral("create"), work.path());

    // A refused or failed update leaves nothing behind: not the download, not the image.
    QString staged;
    std::exception_ptr failure;
    try {
        staged = co_await downloadAndStage(url, feed, work.path(), place.currentVersion);
    } catch (...) {
        failure = std::current_exception();
    }
    if (failure) {
        removeTree(work.path());
        std::rethrow_exception(failure);
    }
    co_return staged;
}

} // namespace pelorin
