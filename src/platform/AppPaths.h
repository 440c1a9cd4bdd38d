#pragma once

#include <QString>

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

} // namespace pelorin
