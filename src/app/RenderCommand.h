#pragma once

#include <QStringList>

namespace pelorin {

// `pelorin render IN -o OUT [style options]`: frames a screenshot the way the editor exports
// it, without a display. Returns the exit code; errors go to standard error as one line.
int runRenderCommand(const QStringList& arguments);

} // namespace pelorin
