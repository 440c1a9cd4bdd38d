#pragma once

#include <QStringList>

namespace pelorin {

// `pelorin detect IMAGE… [-o DIR] [--scale FACTOR]`: the elements the quick annotation tool
// offers for each image, as {"elements": [[x, y, w, h], …]} in points. Needs no display.
// Returns 0 when every image was processed, 1 when some could not be, 2 on a usage error.
int runDetectCommand(const QStringList& arguments);

} // namespace pelorin
