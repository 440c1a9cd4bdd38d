#pragma once

#include <QColor>
#include <QFont>

class QLabel;
class QWidget;

namespace pelorin {

// Text and colours shared by the editor's own controls. Sizes are in device-independent
// pixels, the unit every measurement of the editor's layout uses.
QFont uiFont(double pixelSize, QFont::Weight weight = QFont::Normal);
QColor primaryText();
QColor secondaryText();
QColor tertiaryText();
// The panel behind the toolbar and the sidebar.
QColor panelBackground();
// A label in the editor's own font and text colour.
QLabel* styledLabel(const QString& text, const QFont& font, const QColor& color, QWidget* parent = nullptr);
// The width of the style sidebar and of the annotation style panel that takes its place.
constexpr int sidePanelWidth = 272;

} // namespace pelorin
