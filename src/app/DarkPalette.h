#pragma once

class QApplication;

namespace pelorin {

// The app always looks dark: Fusion with a palette built from the Theme colours.
void applyDarkAppearance(QApplication& app);

} // namespace pelorin
