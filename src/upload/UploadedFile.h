#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QUuid>

#include <optional>

namespace pelorin {

// One finished upload, as the upload history keeps it.
struct UploadedFile {
    QUuid id;
    QString fileName;
    // Object key in the bucket or in cloud storage.
    QString key;
    QString publicUrl;
    QDateTime uploadDate;
    qint64 fileSize = 0;
    // "cloud" for uploads through the cloud service; absent for the own bucket.
    std::optional<QString> source;

    bool isCloud() const { return source == QLatin1String("cloud"); }
    bool operator==(const UploadedFile&) const = default;
};

// The canonical form of an id: upper-case hexadecimal in groups 8-4-4-4-12.
QString uuidString(const QUuid& id);

// History JSON: an array of objects; "uploadDate" in seconds since 2001-01-01 00:00:00 UTC;
// "source" left out when absent.
QJsonObject encodeUploadedFile(const UploadedFile& file);
QByteArray encodeUploadHistory(const QList<UploadedFile>& files);
// Nothing when any entry lacks a required member or has one of the wrong type.
std::optional<QList<UploadedFile>> decodeUploadHistory(const QByteArray& json);

} // namespace pelorin
