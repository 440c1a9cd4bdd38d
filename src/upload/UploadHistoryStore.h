#pragma once

#include "upload/UploadedFile.h"

#include <QList>
#include <QObject>
#include <QString>

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
    void filesChanged();

private:
    void load();
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
};

} // namespace pelorin
