#include "core/SliderMath.h"

#include <algorithm>
#include <cmath>

namespace pelorin {

double SliderGeometry::usableWidth() const
{
    return std::max(1.0, width - thumbSize);
}

double SliderGeometry::fraction(double value) const
{
    const double span = upper - lower;
    if (!(span > 0))
        return 0;
    return std::clamp((value - lower) / span, 0.0, 1.0);
}

double SliderGeometry::thumbCenterX(double value) const
{
    return thumbSize / 2 + fraction(value) * usableWidth();
}

double SliderGeometry::zeroAnchorX() const
{
    const double anchor = (lower < 0 && upper > 0) ? -lower / (upper - lower) : 0.0;
    return thumbSize / 2 + anchor * usableWidth();
}

double SliderGeometry::valueAt(double pointerX) const
{
    const double f = std::clamp((pointerX - thumbSize / 2) / usableWidth(), 0.0, 1.0);
    const double raw = lower + f * (upper - lower);
    return step > 0 ? snapToStep(raw, lower, upper, step) : raw;
}

double snapToStep(double raw, double lower, double upper, double step)
{
    // std::round rounds halves away from zero.
    const double snapped = lower + step * std::round((raw - lower) / step);
    return std::clamp(snapped, std::min(lower, upper), std::max(lower, upper));
}

QString formatSliderValue(double value, double step)
{
    return QString::asprintf(step < 1 ? "%.2f" : "%.0f", value);
}

} // namespace pelorin
