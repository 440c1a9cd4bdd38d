#pragma once

#include <QList>
#include <QRect>
#include <QString>

#include <optional>

namespace pelorin {

// The capture tool stamps a region capture's PNG with these text keys, so the app can offer
// the same region again: the region in desktop points, and the monitor layout it belongs to.
inline constexpr const char* captureRegionTextKey = "Pelorin-Region";
inline constexpr const char* captureLayoutTextKey = "Pelorin-Layout";

// "X,Y,W,H" in desktop points: what `-R` takes and what the settings keep.
QString captureRegionText(const QRect& region);
// Nothing for anything but four integers with a positive width and height.
std::optional<QRect> parseCaptureRegion(const QString& text);

// Monitors as users count them: left to right, then top to bottom (1 is the leftmost).
QList<QRect> monitorsInReadingOrder(QList<QRect> monitors);

// Names one arrangement of monitors (their geometries in points): a region remembered for a
// laptop alone is not offered again on the docked desk with two screens.
QString screenLayoutKey(const QList<QRect>& monitors);

} // namespace pelorin
