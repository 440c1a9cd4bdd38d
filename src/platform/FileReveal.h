#pragma once

#include <QString>

namespace pelorin {

// Shows the file selected in the user's file manager (the freedesktop FileManager1 service),
// else opens its folder.
void revealInFileManager(const QString& path);

} // namespace pelorin
