#pragma once

#include <QColor>

namespace pelorin {

// An sRGB colour as four doubles; every colour the program persists as JSON uses it.
struct CodableColor {
    double red = 0;
    double green = 0;
    double blue = 0;
    double alpha = 1;

    bool operator==(const CodableColor&) const = default;

    // Components are kept as read, unclamped; a colour that cannot be expressed in sRGB is
    // opaque black.
    static CodableColor fromColor(const QColor& color);
    QColor toColor() const;
};

} // namespace pelorin
