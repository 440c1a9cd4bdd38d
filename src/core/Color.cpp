#include "core/Color.h"

namespace pelorin {

CodableColor CodableColor::fromColor(const QColor& color)
{
    if (!color.isValid())
        return {0, 0, 0, 1};
    const QColor rgb = color.spec() == QColor::ExtendedRgb ? color : color.toRgb();
    return {rgb.redF(), rgb.greenF(), rgb.blueF(), rgb.alphaF()};
}

QColor CodableColor::toColor() const
{
    // Extended RGB keeps components outside 0–1 instead of clamping them away.
    return QColor::fromRgbF(static_cast<float>(red), static_cast<float>(green), static_cast<float>(blue),
                            static_cast<float>(alpha));
}

} // namespace pelorin
