#pragma once

#include <QFileDevice>
#include <QString>
#include <QStringList>

#include <optional>

namespace pelorin {

inline constexpr const char* applicationId = PELORIN_APP_ID;

// $XDG_CONFIG_HOME/Pelorin/Pelorin.json
QString configFilePath();

// The application folder ($XDG_DATA_HOME/Pelorin), created on demand. Empty when no
// writable data location exists.
QString appSupportDirectory();

// Location of `file` inside the application folder; empty when there is no folder.
QString appSupportURL(const QString& file);

// The folder of the program's earlier name, read once for migrations.
QString legacySupportDirectory();

// $XDG_CACHE_HOME/<application id>
QString cacheDirectory();

// Where Pelorin keeps its own files: the settings, application and cache folders.
QStringList ownFolders();

// Replaces one of Pelorin's own files (settings, history, caches) atomically, creating its
// folder. A symbolic link there is written through only when it stays inside the file's own
// folder or ownFolders(): a link planted to another file never gets that file replaced.
// Returns what went wrong, in words that name the file.
std::optional<QString> writeStateFile(const QString& path, const QByteArray& bytes,
                                      std::optional<QFileDevice::Permissions> permissions = std::nullopt);
// Why a write to `path` is refused because of a link, if it is.
std::optional<QString> stateFileLinkRefusal(const QString& path);

} // namespace pelorin
