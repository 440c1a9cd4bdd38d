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

// Streams `url` into the file at `path` (replacing it) without holding the body in memory.
// Throws UpdateError when no HTTP reply arrives (no connection, 60 s of silence, cut off)
// or the file cannot be written.
QCoro::Task<DownloadResult> downloadToFile(QUrl url, QString path);

} // namespace pelorin
