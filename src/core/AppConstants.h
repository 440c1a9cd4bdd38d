#pragma once

#include <QColor>

namespace pelorin {

struct ValueRange {
    double lower;
    double upper;
};

// Fixed defaults and ranges of the style and annotation controls.
namespace AppConstants {
inline constexpr double defaultCornerRadius = 18;
inline constexpr double defaultShadowRadius = 40;
inline constexpr double defaultShadowOffsetY = 20;
inline constexpr double defaultPadding = 0;
inline constexpr ValueRange cornerRadiusRange{0, 50};
inline constexpr ValueRange shadowRadiusRange{0, 100};
inline constexpr ValueRange paddingRange{0, 400};
inline constexpr int previewBackgroundMaxDimension = 2048;
inline constexpr int maxExportPixelDimension = 8192;
inline constexpr double presetThumbnailSize = 60;

inline constexpr double defaultTextSize = 24;
inline constexpr double defaultArrowWidth = 7;
inline constexpr double defaultShapeStrokeWidth = 5;
inline constexpr double defaultTextStrokeWidth = 0;
inline constexpr ValueRange textStrokeWidthRange{0, 8};
// The desktop red of the colour picker's first swatch, so the start colour shows as chosen.
inline QColor defaultAnnotationColor() { return QColor::fromRgbF(1.0f, 0.27f, 0.23f, 1.0f); }
inline constexpr double defaultPenWidth = 4;
inline constexpr double defaultHighlighterWidth = 20;
inline constexpr double defaultStepSize = 32;
// The yellow of the colour picker's third swatch.
inline QColor defaultHighlighterColor() { return QColor::fromRgbF(1.0f, 0.84f, 0.04f, 1); }
} // namespace AppConstants

// The application palette of every canvas and sidebar control.
namespace Theme {
inline QColor accent() { return QColor::fromRgbF(0.478f, 0.408f, 0.965f); }
inline QColor accentHover() { return QColor::fromRgbF(0.545f, 0.482f, 0.976f); }
inline QColor chrome() { return QColor::fromRgbF(0.114f, 0.114f, 0.125f); }
inline QColor canvasBackdrop() { return QColor::fromRgbF(0.086f, 0.086f, 0.094f); }
inline QColor divider() { return QColor::fromRgbF(1, 1, 1, 0.07f); }
inline QColor controlFill() { return QColor::fromRgbF(1, 1, 1, 0.06f); }
inline QColor controlFillHover() { return QColor::fromRgbF(1, 1, 1, 0.11f); }
inline QColor selectionFill() { return QColor::fromRgbF(0.478f, 0.408f, 0.965f, 0.24f); }
inline QColor imageOutline() { return QColor::fromRgbF(1, 1, 1, 0.1f); }
inline constexpr double controlRadius = 7;
} // namespace Theme

} // namespace pelorin
