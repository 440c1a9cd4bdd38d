#pragma once

#include <QString>

namespace pelorin {

// The value arithmetic of the sidebar's labelled slider, kept free of any widget so the
// widget and its tests share it.
struct SliderGeometry {
    double lower;
    double upper;
    double step;
    double width;            // track width in points
    double thumbSize = 14;   // thumb diameter in points

    double usableWidth() const;
    // Position of the value along the track, 0…1.
    double fraction(double value) const;
    double thumbCenterX(double value) const;
    // Where the accent fill starts: the zero point for ranges that straddle zero, else the left end.
    double zeroAnchorX() const;
    // The value for a pointer at x, snapped to the step and limited to the range.
    double valueAt(double pointerX) const;
};

// Rounds to the nearest multiple of `step` above `lower`, halves away from zero.
double snapToStep(double raw, double lower, double upper, double step);

// "%.2f" for fractional steps, "%.0f" otherwise.
QString formatSliderValue(double value, double step);

} // namespace pelorin
