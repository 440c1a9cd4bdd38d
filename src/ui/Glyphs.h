#pragma once

#include <QColor>
#include <QIcon>
#include <QRectF>

class QPainter;

namespace pelorin {

// The small line drawings of the editor's buttons and labels, drawn as vectors so they stay
// sharp at every size and pixel density and need no icon theme on the desktop.
enum class Glyph {
    square,
    cube,
    arrowCounterclockwise,
    squareOnSquare,
    photoOnRectangleAngled,
    viewfinder,
    window,
    cameraViewfinder,
    photoFill,
    rectangleInsetFilled,
    squareFillOnSquare,
    circleLeftHalfFilled,
    trash,
    zoomOut,
    zoomIn,
    fitToWindow,
    copy,
    save,
    textTool,
    arrowTool,
    shapeTool,
    redactTool,
    quickTool,
    pixelateTool,
    penTool,
    highlighterTool,
    stepTool,
    checkmark,
};

// Draws the glyph centred in the square of side min(width, height) inside `box`; `weight`
// scales the line width (1 is the regular weight, below 1 lighter).
void paintGlyph(QPainter& painter, Glyph glyph, const QRectF& box, const QColor& color, double weight = 1.0);

} // namespace pelorin
