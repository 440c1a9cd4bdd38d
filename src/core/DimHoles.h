#pragma once

#include <QRectF>

#include <vector>

namespace pelorin {

// An area kept bright while everything else on the card is dimmed; document points.
struct DimHoleSpec {
    QRectF rect;
    double cornerRadius = 0; // 0: a plain rectangle
    bool isEllipse = false;  // the ellipse inscribed in `rect`
    bool operator==(const DimHoleSpec&) const = default;
};

// What the renderer dims: `amount` 0 dims nothing.
// The bright area of a shape annotation: its own outline (the circle of a circle shape).
struct ShapeAnnotation;
DimHoleSpec dimHoleForShape(const ShapeAnnotation& shape);

struct DimState {
    float amount = 0;
    std::vector<DimHoleSpec> holes;
};

} // namespace pelorin
