#pragma once

#include <QString>

namespace pelorin {

// One line on standard error, "Pelorin: " + message; journald keeps it for desktop sessions.
void systemLog(const QString& message);

} // namespace pelorin
