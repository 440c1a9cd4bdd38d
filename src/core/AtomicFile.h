#pragma once

#include <QFileDevice>
#include <QString>
#include <QStringList>

#include <optional>

class QSaveFile;

namespace pelorin {

// Writes `bytes` to `path` through a temporary beside it that takes the file's place only
// once every byte is written: a failure leaves the older file (or none) as it was. Returns
// nothing on success, else what went wrong in words, after the path ("PATH: File too large").
// `permissions` are set on the temporary before its first byte, so a secret is never readable
// by others, not even for a moment.
std::optional<QString> writeFileAtomically(const QString& path, const QByteArray& bytes,
                                           std::optional<QFileDevice::Permissions> permissions = std::nullopt);

// Commits an open QSaveFile only once every buffered byte has reached the disk; otherwise
// discards the temporary and says why ("PATH: No space left on device"). QSaveFile::commit()
// alone renames a truncated file into place when its final flush runs out of space.
std::optional<QString> commitAtomically(QSaveFile& file);

// Why an operation on `file` failed. Qt reports a short write (a full disk, a file-size
// limit) as "Unknown error"; the system's error number, read right after the call, says why.
QString fileErrorText(const QFileDevice& file, int systemError);

// State files are replaced through a temporary, so a symbolic link at `path` would either be
// followed (another file overwritten) or lost. A link is written through only when it
// resolves inside one of `ownFolders`; otherwise this says why the write is refused.
std::optional<QString> linkLeavesOwnFolders(const QString& path, const QStringList& ownFolders);

} // namespace pelorin
