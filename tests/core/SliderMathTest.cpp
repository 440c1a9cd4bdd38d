#include "core/SliderMath.h"

#include <gtest/gtest.h>

using namespace pelorin;

TEST(SliderMath, DraggingSnapsToTheStepAndFormatsAndTheFillAnchorsAtZero)
{
    // A track 214 points wide has a usable width of 200 with the 14-point thumb.
    constexpr double trackWidth = 214;
    struct Case { const char* label; double lower, upper, step, fraction; double value; const char* shown; };
    const Case cases[] = {
        {"Opacity at 37%", 0, 1, 0.05, 0.37, 0.35, "0.35"},
        {"Opacity at 38% rounds up", 0, 1, 0.05, 0.38, 0.40, "0.40"},
        {"Corner Radius shows whole numbers", 0, 50, 1, 0.34, 17, "17"},
        {"Offset Y at the left end", -50, 50, 1, 0, -50, "-50"},
        {"Offset Y past the right end", -50, 50, 1, 1.3, 50, "50"},
        {"Offset Y half step rounds up the track", -50, 50, 1, 0.375, -12, "-12"},
        {"Padding left of the track", 0, 400, 1, -0.2, 0, "0"},
        {"Amount in the middle", 0, 1, 0.05, 0.5, 0.5, "0.50"},
    };
    for (const Case& c : cases) {
        const SliderGeometry slider{c.lower, c.upper, c.step, trackWidth};
        const double v = slider.valueAt(7 + c.fraction * 200);
        EXPECT_NEAR(v, c.value, 1e-9) << c.label;
        EXPECT_EQ(formatSliderValue(v, c.step), QString::fromLatin1(c.shown)) << c.label;
    }

    // The fill anchors at zero only for ranges across zero.
    const SliderGeometry offsetY{-50, 50, 1, trackWidth};
    EXPECT_DOUBLE_EQ(offsetY.zeroAnchorX(), 107);       // middle of the track
    EXPECT_DOUBLE_EQ(offsetY.thumbCenterX(-50), 7);     // fill runs from the left end to the middle
    const SliderGeometry blur{0, 100, 1, trackWidth};
    EXPECT_DOUBLE_EQ(blur.zeroAnchorX(), 7);
    EXPECT_DOUBLE_EQ(blur.thumbCenterX(250), 207);      // values beyond the range pin the thumb

    // Degenerate tracks stay finite.
    const SliderGeometry empty{5, 5, 1, trackWidth};
    EXPECT_EQ(empty.fraction(5), 0);
    const SliderGeometry narrow{0, 1, 0.05, 4}; // narrower than the thumb: usable width 1
    EXPECT_EQ(narrow.usableWidth(), 1);
    EXPECT_NEAR(narrow.valueAt(7.5), 0.5, 1e-9);
    const SliderGeometry continuous{0, 1, 0, trackWidth};
    EXPECT_NEAR(continuous.valueAt(7 + 0.123 * 200), 0.123, 1e-9);
}
