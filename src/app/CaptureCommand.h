#pragma once

#include <QStringList>

namespace pelorin {

// `pelorin capture (--region X,Y,W,H | --screen [N] | --window | --last-region) [--delay S]
// [--pointer] -o FILE [--raw | render's style options]`: captures with the capture tool, no
// editor and no running app needed, and writes the framed (or bare) image. Prints its path;
// returns the exit code (0 written, 1 nothing captured or written, 2 wrong arguments or no
// display), each error one line on standard error.
int runCaptureCommand(const QStringList& arguments);

} // namespace pelorin
