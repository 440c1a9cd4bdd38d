#include "upload/UploadHistoryStore.h"

#include "platform/AppPaths.h"
#include "platform/SystemLog.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>

#include <algorithm>
#include <optional>

namespace pelorin {

namespace {

std::optional<QByteArray> readFile(const QString& path)
{
    if (path.isEmpty())
        return std::nullopt;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return file.readAll();
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    if (const std::optional<QString> error = writeStateFile(path, bytes)) {
        systemLog(QStringLiteral("the upload history could not be saved: ") + *error);
        return false;
    }
    return true;
}

} // namespace

UploadHistoryStore& UploadHistoryStore::shared()
{
    static UploadHistoryStore* store =
        new UploadHistoryStore(appSupportURL(QStringLiteral("uploads.json")), legacySupportDirectory() + QStringLiteral("/files.json"));
    return *store;
}

UploadHistoryStore::UploadHistoryStore(QString path, QString legacyPath, QObject* parent)
    : QObject(parent)
    , m_path(std::move(path))
    , m_legacyPath(std::move(legacyPath))
{
    load();
    watch();
}

void UploadHistoryStore::watch()
{
    if (m_path.isEmpty())
        return;
    if (!m_watcher) {
        m_watcher = new QFileSystemWatcher(this);
        // A burst of events (a write, a rename, the lock file) becomes one re-read.
        m_reload = new QTimer(this);
        m_reload->setSingleShot(true);
        m_reload->setInterval(150);
        connect(m_reload, &QTimer::timeout, this, &UploadHistoryStore::reloadIfChangedOutside);
        connect(m_watcher, &QFileSystemWatcher::fileChanged, m_reload, qOverload<>(&QTimer::start));
        connect(m_watcher, &QFileSystemWatcher::directoryChanged, m_reload, qOverload<>(&QTimer::start));
    }
    const QString folder = QFileInfo(m_path).absolutePath();
    if (QFileInfo(folder).isDir() && !m_watcher->directories().contains(folder))
        m_watcher->addPath(folder);
    if (QFileInfo::exists(m_path) && !m_watcher->files().contains(m_path))
        m_watcher->addPath(m_path);
}

void UploadHistoryStore::reloadIfChangedOutside()
{
    watch(); // a replaced file is a new one to the watcher
    const std::optional<QByteArray> bytes = readFile(m_path);
    if (!bytes)
        return;
    std::optional<QList<UploadedFile>> onDisk = decodeUploadHistory(*bytes);
    // A half-written or broken file is left to the next writer, as update() does.
    if (!onDisk || *onDisk == m_files)
        return;
    m_files = std::move(*onDisk);
    Q_EMIT filesChanged();
}

void UploadHistoryStore::load()
{
    if (m_path.isEmpty())
        return;
    std::optional<QByteArray> bytes = readFile(m_path);
    if (!bytes) {
        bytes = readFile(m_legacyPath);
        if (!bytes)
            return;
        // Copied as they are, before anyone knows whether they decode.
        writeFile(m_path, *bytes);
    }
    std::optional<QList<UploadedFile>> files = decodeUploadHistory(*bytes);
    if (!files) {
        m_unreadable = *bytes;
        return;
    }
    sortNewestFirst(*files);
    m_files = std::move(*files);
}

void UploadHistoryStore::sortNewestFirst(QList<UploadedFile>& files)
{
    std::stable_sort(files.begin(), files.end(),
                     [](const UploadedFile& a, const UploadedFile& b) { return a.uploadDate > b.uploadDate; });
}

void UploadHistoryStore::update(const std::function<void(QList<UploadedFile>&)>& change)
{
    if (m_path.isEmpty()) {
        change(m_files);
        return;
    }
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    QLockFile lock(m_path + QStringLiteral(".lock"));
    lock.setStaleLockTime(10'000); // a writer killed mid-write does not block the next one
    if (!lock.tryLock(5'000))
        systemLog(QStringLiteral("the upload history is locked by another process; writing anyway"));
    // What another process wrote since this one last looked is kept; an unreadable file is
    // set aside by persist() and this process's list carries on.
    if (const std::optional<QByteArray> bytes = readFile(m_path)) {
        if (std::optional<QList<UploadedFile>> onDisk = decodeUploadHistory(*bytes)) {
            m_files = std::move(*onDisk); // in the order the last writer kept
        } else if (m_unreadable.isEmpty()) {
            m_unreadable = *bytes;
        }
    }
    change(m_files);
    persist();
}

void UploadHistoryStore::add(const UploadedFile& added)
{
    // A copy: `added` may be one of the entries the re-read replaces.
    const UploadedFile file = added;
    update([&file](QList<UploadedFile>& files) {
        files.removeIf([&](const UploadedFile& entry) { return entry.id == file.id; });
        files.prepend(file);
    });
    Q_EMIT filesChanged();
}

void UploadHistoryStore::remove(const UploadedFile& file)
{
    // A copy: `file` may be one of the entries that are about to go.
    const QUuid id = file.id;
    update([id](QList<UploadedFile>& files) { files.removeIf([&](const UploadedFile& entry) { return entry.id == id; }); });
    Q_EMIT filesChanged();
}

void UploadHistoryStore::persist()
{
    if (m_path.isEmpty())
        return;
    if (!m_unreadable.isEmpty()) {
        // An unreadable history is kept beside the new one rather than overwritten: it may
        // only need a hand repair to come back.
        const QFileInfo info(m_path);
        const QString aside = info.absolutePath() + QStringLiteral("/uploads.unreadable-")
            + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmsszzz")) + QStringLiteral(".json");
        if (!writeFile(aside, m_unreadable))
            return; // writing over it now would lose it for good; the next change tries again
        systemLog(QStringLiteral("the upload history could not be read; its old contents are in ") + aside);
        m_unreadable.clear();
    }
    writeFile(m_path, encodeUploadHistory(m_files));
    watch();
}

} // namespace pelorin
