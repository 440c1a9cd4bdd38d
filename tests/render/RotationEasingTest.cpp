#include "render/SceneRenderer.h"

#include <gtest/gtest.h>

#include <cmath>

namespace pelorin {
namespace {

TEST(RotationEasing, HalfRadianSettlesWithinFourTenthsOfASecondAt60Hz)
{
    RotationEasing easing;
    double now = 100;
    int frames = 0;
    while (easing.step(0.5f, -0.5f, now) && frames < 1000) {
        now += 1.0 / 60;
        ++frames;
    }
    const double seconds = (frames + 1) / 60.0;
    EXPECT_LE(seconds, 0.4);
    EXPECT_GE(seconds, 0.3); // eased, not jumped
    EXPECT_EQ(easing.currentYaw, 0.5f);
    EXPECT_EQ(easing.currentPitch, -0.5f);
    EXPECT_FALSE(easing.step(0.5f, -0.5f, now + 1)) << "a settled angle stays put";
}

TEST(RotationEasing, FrameIntervalIsClampedAndTheFirstFrameCountsAsOneSixtieth)
{
    struct Case {
        const char* name;
        bool hasPreviousFrame;
        double interval;       // since the previous frame
        double effectiveSeconds;
    } cases[] = {
        {"first frame", false, 5.0, 1.0 / 60},
        {"ordinary frame", true, 0.02, 0.02},
        {"frame delayed by a second", true, 1.0, 0.1},
        {"clock stepping back", true, -0.5, 0.0},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        RotationEasing easing;
        if (k.hasPreviousFrame) {
            easing.hasDrawn = true;
            easing.lastDrawTime = 50;
        }
        easing.step(1.0f, 0.0f, 50 + k.interval);
        const double expected = 1 - std::exp(-k.effectiveSeconds / RotationEasing::tau);
        EXPECT_NEAR(easing.currentYaw, expected, 1e-5);
        EXPECT_EQ(easing.lastDrawTime, 50 + k.interval);
    }
}

} // namespace
} // namespace pelorin
