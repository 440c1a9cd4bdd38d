#pragma once

#include "core/Color.h"

#include <QPointF>
#include <QString>

#include <optional>
#include <span>
#include <variant>
#include <vector>

namespace pelorin {

// Position as a fraction of the filled rectangle, (0, 0) top-left, y down.
struct UnitPoint {
    double x = 0;
    double y = 0;
    bool operator==(const UnitPoint&) const = default;
    QPointF toPointF() const { return {x, y}; }
};

namespace UnitPoints {
inline constexpr UnitPoint top{0.5, 0};
inline constexpr UnitPoint bottom{0.5, 1};
inline constexpr UnitPoint leading{0, 0.5};
inline constexpr UnitPoint trailing{1, 0.5};
inline constexpr UnitPoint topLeading{0, 0};
inline constexpr UnitPoint bottomTrailing{1, 1};
inline constexpr UnitPoint bottomLeading{0, 1};
inline constexpr UnitPoint topTrailing{1, 0};
} // namespace UnitPoints

enum class GradientType { linear, radial, angular };

struct GradientDefinition {
    std::vector<CodableColor> colors; // stops spaced evenly from start to end
    UnitPoint startPoint;
    UnitPoint endPoint;
    GradientType type = GradientType::linear;
    bool operator==(const GradientDefinition&) const = default;
};

enum class BackgroundPreset {
    oceanBreeze,
    deepPurple,
    midnightBlue,
    lavenderDream,
    sunset,
    peachGlow,
    warmSand,
    coralReef,
    forestMist,
    mintFresh,
    emeraldCity,
    slate,
    charcoal,
    softWhite,
    pureBlack,
    neonPink,
    electricBlue,
    rainbowLight,
};

// Every preset, in the order the background picker shows them.
std::span<const BackgroundPreset> allBackgroundPresets();
QString rawValue(BackgroundPreset preset);
QString displayName(BackgroundPreset preset);
GradientDefinition gradientDefinition(BackgroundPreset preset);

struct WallpaperBackground {
    bool operator==(const WallpaperBackground&) const = default;
};
struct TransparentBackground {
    bool operator==(const TransparentBackground&) const = default;
};

// What fills the canvas behind the screenshot.
struct BackgroundStyle {
    std::variant<BackgroundPreset, CodableColor, GradientDefinition, WallpaperBackground, TransparentBackground> value;

    static BackgroundStyle preset(BackgroundPreset p) { return {p}; }
    static BackgroundStyle solidColor(CodableColor c) { return {c}; }
    static BackgroundStyle customGradient(GradientDefinition g) { return {std::move(g)}; }
    static BackgroundStyle wallpaper() { return {WallpaperBackground{}}; }
    static BackgroundStyle transparent() { return {TransparentBackground{}}; }

    bool operator==(const BackgroundStyle&) const = default;
};

struct ShadowConfiguration {
    double radius = 40;
    double opacity = 0.5;
    double offsetX = 0;
    double offsetY = 20;
    CodableColor color{0, 0, 0, 1};
    bool operator==(const ShadowConfiguration&) const = default;
};

struct DimmingConfiguration {
    bool isEnabled = false;
    double amount = 0.5;
    bool operator==(const DimmingConfiguration&) const = default;
};

// The framing of a screenshot. Default-constructed, it is the default style.
struct StylingConfiguration {
    BackgroundStyle background = BackgroundStyle::preset(BackgroundPreset::oceanBreeze);
    double cornerRadius = 18;
    ShadowConfiguration shadow;
    double padding = 0;
    DimmingConfiguration dimming;
    bool operator==(const StylingConfiguration&) const = default;
};

enum class BrowserChromeStyle { dark, light };

struct BrowserChromeSettings {
    bool isEnabled = false;
    BrowserChromeStyle style = BrowserChromeStyle::dark;
    bool showsAddressBar = true;
    QString urlText;
    bool operator==(const BrowserChromeSettings&) const = default;
};

} // namespace pelorin
