#pragma once

#include <QStringList>

namespace pelorin {

// `pelorin upload FILE…`: uploads each file to the current destination (the user's own
// bucket or Pelorin Cloud) and prints each public link. `arguments` are those after
// "upload". Returns the exit code; failures go to standard error, one line each.
int runUploadCommand(const QStringList& arguments);

} // namespace pelorin
