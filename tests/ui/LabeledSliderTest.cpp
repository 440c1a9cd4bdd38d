#include "UiFixture.h"

#include "core/AppConstants.h"
#include "ui/LabeledSlider.h"

#include <QSignalSpy>

namespace pelorin::test {
namespace {

// 214 points wide: a usable track of 200 points between the thumb's half-widths.
constexpr int sliderWidth = 214;

struct SliderCase {
    const char* name;
    friend void PrintTo(const SliderCase& c, std::ostream* os) { *os << c.name; }
    double lower;
    double upper;
    double step;
    double initial;
    double fractionOfTrack; // where the pointer lands, 0…1 of the usable width
    double expectedValue;
    const char* expectedText;
};

class SliderDrag : public ::testing::TestWithParam<SliderCase> {
protected:
    SliderDrag()
    {
        loadBundledFonts();
        const SliderCase& c = GetParam();
        slider = std::make_unique<LabeledSlider>(QStringLiteral("Label"), c.lower, c.upper, c.step);
        slider->resize(sliderWidth, slider->sizeHint().height());
        slider->setValue(c.initial);
        slider->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(slider.get()));
    }

    QPointF trackPoint(double fraction) const
    {
        const QRectF track = slider->trackRect();
        return {track.left() + LabeledSlider::thumbSize / 2 + fraction * (track.width() - LabeledSlider::thumbSize),
                track.center().y()};
    }

    std::unique_ptr<LabeledSlider> slider;
};

TEST_P(SliderDrag, SnapsToTheStepAndShowsTheValue)
{
    const SliderCase& c = GetParam();
    QSignalSpy edited(slider.get(), &LabeledSlider::valueEdited);
    Pointer pointer(slider.get());
    // Start at the thumb, then drag to the target.
    pointer.press(trackPoint((c.initial - c.lower) / (c.upper - c.lower)));
    pointer.move(trackPoint(c.fractionOfTrack));
    EXPECT_TRUE(slider->isDragging());
    pointer.release(trackPoint(c.fractionOfTrack));
    EXPECT_FALSE(slider->isDragging());

    EXPECT_NEAR(slider->value(), c.expectedValue, 1e-9);
    EXPECT_EQ(slider->valueText(), QString::fromLatin1(c.expectedText));
    ASSERT_FALSE(edited.isEmpty());
    EXPECT_NEAR(edited.last().at(0).toDouble(), c.expectedValue, 1e-9);
}

INSTANTIATE_TEST_SUITE_P(
    Sidebar, SliderDrag,
    ::testing::Values(SliderCase{"opacityAt37Percent", 0, 1, 0.05, 0.5, 0.37, 0.35, "0.35"},
                      SliderCase{"opacityHalfStepRoundsUp", 0, 1, 0.05, 0.5, 0.375, 0.40, "0.40"},
                      SliderCase{"cornerRadiusShowsWholeNumbers", 0, 50, 1, 18, 0.613, 31, "31"},
                      SliderCase{"offsetYToTheLeftEnd", -50, 50, 1, 20, 0, -50, "-50"},
                      SliderCase{"offsetYPastTheRightEnd", -50, 50, 1, 20, 1.2, 50, "50"},
                      SliderCase{"paddingMiddle", 0, 400, 1, 0, 0.5, 200, "200"}),
    caseName<SliderCase>);

class Slider : public ::testing::Test {
protected:
    Slider()
    {
        loadBundledFonts();
        slider.resize(sliderWidth, slider.sizeHint().height());
        slider.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&slider));
    }

    bool isAccent(QPoint p)
    {
        const QColor c = slider.grab().toImage().pixelColor(p);
        const QColor a = Theme::accent();
        return std::abs(c.red() - a.red()) < 25 && std::abs(c.green() - a.green()) < 25 && std::abs(c.blue() - a.blue()) < 25;
    }

    LabeledSlider slider{QStringLiteral("Offset Y"), -50, 50, 1};
};

TEST_F(Slider, AClickWithoutMovementJumpsToThePointer)
{
    slider.setValue(20);
    Pointer pointer(&slider);
    const QPointF at(LabeledSlider::thumbSize / 2 + 0.25 * 200, slider.trackRect().center().y());
    pointer.press(at);
    pointer.release(at);
    EXPECT_EQ(slider.value(), -25);
}

TEST_F(Slider, ShowingAValueDoesNotAnnounceIt)
{
    QSignalSpy edited(&slider, &LabeledSlider::valueEdited);
    slider.setValue(10);
    EXPECT_TRUE(edited.isEmpty());
}

TEST_F(Slider, FillOfARangeAroundZeroGrowsFromTheMiddle)
{
    const int y = int(slider.trackRect().center().y());
    const int middle = LabeledSlider::thumbSize / 2 + 100;
    slider.setValue(-50);
    EXPECT_TRUE(isAccent({middle - 40, y}));
    EXPECT_FALSE(isAccent({middle + 40, y}));
    slider.setValue(30);
    EXPECT_FALSE(isAccent({middle - 40, y}));
    EXPECT_TRUE(isAccent({middle + 40, y}));
}

TEST_F(Slider, ThumbGrowsWhileDragging)
{
    slider.setValue(0);
    const QPointF thumb(LabeledSlider::thumbSize / 2 + 100, slider.trackRect().center().y());
    const auto whiteWidth = [&] {
        const QImage image = slider.grab().toImage();
        int count = 0;
        for (int x = 0; x < image.width(); ++x)
            count += image.pixelColor(x, int(thumb.y()) - 7).lightness() > 240 ? 1 : 0;
        return count;
    };
    const int resting = whiteWidth();
    Pointer(&slider).press(thumb);
    ASSERT_TRUE(waitUntil([&] { return whiteWidth() > resting; }, 1000));
    Pointer(&slider).release(thumb);
    ASSERT_TRUE(waitUntil([&] { return whiteWidth() == resting; }, 1000));
}

} // namespace
} // namespace pelorin::test
