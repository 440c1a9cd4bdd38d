#include "core/Styling.h"

#include <array>

namespace pelorin {

namespace {

struct PresetEntry {
    BackgroundPreset preset;
    const char* rawValue;
    const char* displayName;
    UnitPoint start;
    UnitPoint end;
    std::vector<CodableColor> colors;
};

CodableColor rgb(double r, double g, double b)
{
    return {r, g, b, 1};
}

const std::array<PresetEntry, 18>& presetTable()
{
    using P = BackgroundPreset;
    using namespace UnitPoints;
    static const std::array<PresetEntry, 18> table{{
        {P::oceanBreeze, "oceanBreeze", "Ocean Breeze", topLeading, bottomTrailing, {rgb(0.2, 0.6, 0.9), rgb(0.4, 0.8, 0.95)}},
        {P::deepPurple, "deepPurple", "Deep Purple", top, bottom, {rgb(0.4, 0.2, 0.6), rgb(0.6, 0.3, 0.8)}},
        {P::midnightBlue, "midnightBlue", "Midnight Blue", top, bottom, {rgb(0.1, 0.1, 0.3), rgb(0.2, 0.2, 0.5)}},
        {P::lavenderDream, "lavenderDream", "Lavender Dream", topLeading, bottomTrailing, {rgb(0.85, 0.75, 0.95), rgb(0.75, 0.85, 0.95)}},
        {P::sunset, "sunset", "Sunset", top, bottom, {rgb(1.0, 0.6, 0.4), rgb(1.0, 0.4, 0.5), rgb(0.8, 0.3, 0.6)}},
        {P::peachGlow, "peachGlow", "Peach Glow", topLeading, bottomTrailing, {rgb(1.0, 0.85, 0.75), rgb(1.0, 0.75, 0.65)}},
        {P::warmSand, "warmSand", "Warm Sand", top, bottom, {rgb(0.95, 0.9, 0.8), rgb(0.85, 0.75, 0.65)}},
        {P::coralReef, "coralReef", "Coral Reef", bottomLeading, topTrailing, {rgb(1.0, 0.5, 0.5), rgb(1.0, 0.7, 0.6)}},
        {P::forestMist, "forestMist", "Forest Mist", top, bottom, {rgb(0.2, 0.5, 0.4), rgb(0.4, 0.7, 0.6)}},
        {P::mintFresh, "mintFresh", "Mint Fresh", topLeading, bottomTrailing, {rgb(0.7, 0.95, 0.85), rgb(0.5, 0.9, 0.8)}},
        {P::emeraldCity, "emeraldCity", "Emerald City", top, bottom, {rgb(0.1, 0.6, 0.5), rgb(0.2, 0.8, 0.6)}},
        {P::slate, "slate", "Slate", top, bottom, {rgb(0.45, 0.5, 0.55), rgb(0.55, 0.6, 0.65)}},
        {P::charcoal, "charcoal", "Charcoal", top, bottom, {rgb(0.2, 0.2, 0.2), rgb(0.3, 0.3, 0.3)}},
        {P::softWhite, "softWhite", "Soft White", top, bottom, {rgb(0.98, 0.98, 0.98), rgb(0.92, 0.92, 0.92)}},
        {P::pureBlack, "pureBlack", "Pure Black", top, bottom, {rgb(0.05, 0.05, 0.05), rgb(0.1, 0.1, 0.1)}},
        {P::neonPink, "neonPink", "Neon Pink", leading, trailing, {rgb(1.0, 0.2, 0.6), rgb(0.8, 0.2, 0.8)}},
        {P::electricBlue, "electricBlue", "Electric Blue", bottomLeading, topTrailing, {rgb(0.1, 0.5, 1.0), rgb(0.3, 0.8, 1.0)}},
        {P::rainbowLight, "rainbowLight", "Rainbow Light", leading, trailing,
         {rgb(1.0, 0.8, 0.8), rgb(1.0, 1.0, 0.8), rgb(0.8, 1.0, 0.8), rgb(0.8, 1.0, 1.0), rgb(0.8, 0.8, 1.0), rgb(1.0, 0.8, 1.0)}},
    }};
    return table;
}

const PresetEntry& entry(BackgroundPreset preset)
{
    return presetTable()[static_cast<size_t>(preset)];
}

} // namespace

std::span<const BackgroundPreset> allBackgroundPresets()
{
    static const std::array<BackgroundPreset, 18> presets = [] {
        std::array<BackgroundPreset, 18> list{};
        for (size_t i = 0; i < list.size(); ++i)
            list[i] = presetTable()[i].preset;
        return list;
    }();
    return presets;
}

QString rawValue(BackgroundPreset preset)
{
    return QString::fromLatin1(entry(preset).rawValue);
}

QString displayName(BackgroundPreset preset)
{
    return QString::fromLatin1(entry(preset).displayName);
}

GradientDefinition gradientDefinition(BackgroundPreset preset)
{
    const PresetEntry& e = entry(preset);
    return {e.colors, e.start, e.end, GradientType::linear};
}

} // namespace pelorin
