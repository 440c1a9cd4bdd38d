#pragma once

#include <QStringList>
#include <QTextStream>

#include <QCoro/QCoroTask>

namespace pelorin {

class UploadService;

// The work of `pelorin upload FILE…`: uploads each file under its own name to the current
// destination, prints each public link on `out`, and one line per failure on `err`.
// Returns the exit code: 0 when every file was uploaded, 1 otherwise.
QCoro::Task<int> uploadFilesCommand(UploadService& service, QStringList paths, QTextStream& out, QTextStream& err);

} // namespace pelorin
