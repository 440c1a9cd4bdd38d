#pragma once

#include <QStringView>

namespace pelorin {

// Whether version `a` is newer than version `b`. Versions are dotted numbers; of each piece
// only its digits count (so "3-beta4" reads as 34), a piece without digits or a missing piece
// counts as 0, and empty pieces are dropped: 1.10 is newer than 1.9, 2.0 equals 2.
bool isNewer(QStringView a, QStringView b);

} // namespace pelorin
