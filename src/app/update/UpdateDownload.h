#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <QCoro/QCoroTask>

namespace pelorin {

struct DownloadResult {
    int status = 0;       // HTTP status of the final reply
    QByteArray sha256;    // hex digest of the bytes written
};

// The largest update download accepted: a release is a few tens of megabytes, and a feed
// that points at something far larger must not fill the user's disk.
inline constexpr qint64 maxUpdateDownloadBytes = qint64(512) << 20;

// Streams `url` into the file at `path` (replacing it) without holding the body in memory.
// Throws UpdateError when no HTTP reply arrives (no connection, 60 s of silence, cut off),
// when the body grows past `maxBytes` or past its announced length, or when the file cannot
// be written.
QCoro::Task<DownloadResult> downloadToFile(QUrl url, QString path, qint64 maxBytes = maxUpdateDownloadBytes);

} // namespace pelorin
