#pragma once

#include "core/Styling.h"

#include <QImage>
#include <QString>

class QPainter;

namespace pelorin {

// Draws a browser window's tab strip and toolbar above a screenshot. Geometry is in points of
// the screenshot and scales with its width: u = max(0.5, width ÷ 1280).
class BrowserChromeRenderer {
public:
    static constexpr double tabStripHeight = 40;
    static constexpr double toolbarHeight = 44;

    // The base with the frame drawn above it (a taller image), or the base itself when the
    // frame is off or cannot be drawn. The base's pixels are copied unscaled.
    static QImage composited(const QImage& base, const BrowserChromeSettings& settings);

    // The address as shown: trimmed, without "https://" or "http://", without one trailing "/".
    static QString displayURL(const QString& text);
    // The host part of the address, or "New Tab" for an empty one.
    static QString tabTitle(const BrowserChromeSettings& settings);

    static double unit(double widthPoints);
    // Height of the frame in points for a screenshot `widthPoints` wide.
    static double barHeight(double widthPoints, bool showsAddressBar);

    // Paints the frame into (0, 0, width, barHeight) in points; `devicePixel` is one pixel in points.
    static void drawBar(QPainter& painter, double width, double barHeight, const BrowserChromeSettings& settings,
                        double devicePixel);
};

} // namespace pelorin
