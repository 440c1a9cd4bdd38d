#pragma once

#include <QFileDevice>
#include <QString>

#include <optional>

namespace pelorin {

// Writes `bytes` to `path` through a temporary beside it that takes the file's place only
// once every byte is written: a failure leaves the older file (or none) as it was. Returns
// nothing on success, else what went wrong in words, after the path ("PATH: File too large").
// `permissions` are set on the temporary before its first byte, so a secret is never readable
// by others, not even for a moment.
std::optional<QString> writeFileAtomically(const QString& path, const QByteArray& bytes,
                                           std::optional<QFileDevice::Permissions> permissions = std::nullopt);

// Why an operation on `file` failed. Qt reports a short write (a full disk, a file-size
// limit) as "Unknown error"; the system's error number, read right after the call, says why.
QString fileErrorText(const QFileDevice& file, int systemError);

} // namespace pelorin
