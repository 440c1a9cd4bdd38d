#pragma once

#include "upload/UploadedFile.h"

#include <QFileSystemWatcher>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

namespace pelorin {

// Every successful upload, newest first, mirrored to "uploads.json" in the application
// folder. Changed and written on the main thread only. The tray app and `pelorin upload` may
// write the file at the same time: each change re-reads it under a lock file and applies
// itself to what is there, so neither writer drops the other's entries.
class UploadHistoryStore : public QObject {
    Q_OBJECT
public:
    // The application's history: "uploads.json", migrated from "Ostrafel/files.json".
    static UploadHistoryStore& shared();

    // Loads at once. An empty `path` means there is no application folder: the list starts
    // empty and is never written.
    UploadHistoryStore(QString path, QString legacyPath, QObject* parent = nullptr);

    const QList<UploadedFile>& files() const { return m_files; }

    // Inserts at the top and writes the file.
    void add(const UploadedFile& file);
    // Drops every entry with the file's id (a hand-edited file may repeat one) and writes.
    void remove(const UploadedFile& file);

Q_SIGNALS:
    // Also when another process (`pelorin upload`) changed the file.
    void filesChanged();

private:
    void load();
    // Watches the file (and its folder, as a write replaces the file) for other writers.
    void watch();
    void reloadIfChangedOutside();
    void persist();
    // Re-reads the file under its lock, applies `change` to its entries and writes them.
    void update(const std::function<void(QList<UploadedFile>&)>& change);
    static void sortNewestFirst(QList<UploadedFile>& files);

    QString m_path;
    QString m_legacyPath;
    QList<UploadedFile> m_files;
    // The bytes of a history file that could not be read, set aside before the first write
    // replaces them.
    QByteArray m_unreadable;
    QFileSystemWatcher* m_watcher = nullptr;
    QTimer* m_reload = nullptr;
};

} // namespace pelorin
