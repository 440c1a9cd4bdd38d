#pragma once

#include <QIcon>

namespace pelorin {

// The desktop icon theme's icon of this freedesktop name, else the app's own drawing of it.
QIcon themedIcon(const char* name);

// The application's own icon (tray and windows).
QIcon applicationIcon();

} // namespace pelorin
