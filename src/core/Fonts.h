#pragma once

#include "core/Annotation.h"

#include <QFont>
#include <QFontMetricsF>

class QImage;
class QPaintDevice;

namespace pelorin {

// Adds the bundled Inter faces to the application's fonts so text is measured and drawn the
// same on every desktop. Safe to call repeatedly; does nothing until a QGuiApplication exists.
void loadBundledFonts();

// The family drawn for a design, or its fontconfig alias when that family is not installed.
QString fontFamily(TextDesign design);
QFont::Weight qtFontWeight(FontWeight weight);

// A text font of `pointSize` points. Sizes of zero or less give a font without extent, so a
// size-0 text measures and draws as nothing instead of at the toolkit's default size.
// Qt's FreeType engines round the pixel size to a whole pixel (24.5 pt draws at 25 px); that
// happens alike when measuring and when painting, so the two always agree.
QFont textFont(TextDesign design, FontWeight weight, bool italic, double pointSize);

// Text sizes are points with one point per document unit. Qt turns points into pixels by the
// paint device's logical dpi, so measuring and painting happen on devices of 72 dpi, where
// one point is exactly one pixel. A QImage stores its resolution in dots per metre and reports
// dpi rounded to whole numbers: 2835 dpm reports exactly 72.
inline constexpr int pointResolutionDotsPerMeter = 2835;

// A 72-dpi device for measuring text.
const QPaintDevice* pointResolutionDevice();
// Makes text painted into `image` come out at one pixel per point (before any painter scale).
void setPointResolution(QImage& image);
QFontMetricsF pointMetrics(const QFont& font);
double lineHeight(const QFontMetricsF& metrics);

} // namespace pelorin
