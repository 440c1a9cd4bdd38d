#pragma once

#include <QColor>
#include <QFont>

namespace pelorin {

// Text and colours shared by the editor's own controls. Sizes are in device-independent
// pixels, the unit every measurement of the editor's layout uses.
QFont uiFont(double pixelSize, QFont::Weight weight = QFont::Normal);
QColor primaryText();
QColor secondaryText();
QColor tertiaryText();
// The panel behind the toolbar and the sidebar.
QColor panelBackground();

} // namespace pelorin
