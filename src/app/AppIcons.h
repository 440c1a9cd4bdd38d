#pragma once

#include <QIcon>

namespace pelorin {

// The icon for one of the app's symbol names: the freedesktop theme's icon where one fits,
// else the bundled drawing.
QIcon themedIcon(const char* symbol);

// The application's own icon (tray and windows).
QIcon applicationIcon();

} // namespace pelorin
