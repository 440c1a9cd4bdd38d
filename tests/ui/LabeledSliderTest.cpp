#include "UiFixture.h"

#include "core/AppConstants.h"
#include "ui/LabeledSlider.h"

#include <QSignalSpy>

namespace pelorin::test {
namespace {

// 214 points wide: a usable track of 200 points between the thumb's half-widths.
constexpr int sliderWidth = 214;

// A drag from the thumb snaps to the step and shows the value as it will be used.
TEST(SliderDrag, SnapsToTheStepAndShowsTheValue)
{
    loadBundledFonts();
    const struct {
        const char* name;
        double lower, upper, step, initial;
        double fractionOfTrack; // where the pointer lands, 0…1 of the usable width
        double expectedValue;
        const char* expectedText;
    } cases[] = {
        {"opacity at 37 %", 0, 1, 0.05, 0.5, 0.37, 0.35, "0.35"},
        {"opacity half step rounds up", 0, 1, 0.05, 0.5, 0.375, 0.40, "0.40"},
        {"corner radius shows whole numbers", 0, 50, 1, 18, 0.613, 31, "31"},
        {"offset y to the left end", -50, 50, 1, 20, 0, -50, "-50"},
        {"offset y past the right end", -50, 50, 1, 20, 1.2, 50, "50"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LabeledSlider slider(QStringLiteral("Label"), c.lower, c.upper, c.step);
        slider.setValue(c.initial);
        showWindow(slider, {sliderWidth, slider.sizeHint().height()});
        const auto trackPoint = [&](double fraction) {
            const QRectF track = slider.trackRect();
            return QPointF(track.left() + LabeledSlider::thumbSize / 2 + fraction * (track.width() - LabeledSlider::thumbSize),
                           track.center().y());
        };
        QSignalSpy edited(&slider, &LabeledSlider::valueEdited);
        Pointer pointer(&slider);
        pointer.press(trackPoint((c.initial - c.lower) / (c.upper - c.lower)));
        pointer.move(trackPoint(c.fractionOfTrack));
        EXPECT_TRUE(slider.isDragging());
        pointer.release(trackPoint(c.fractionOfTrack));
        EXPECT_FALSE(slider.isDragging());
        EXPECT_NEAR(slider.value(), c.expectedValue, 1e-9);
        EXPECT_EQ(slider.valueText(), QString::fromLatin1(c.expectedText));
        ASSERT_FALSE(edited.isEmpty());
        EXPECT_NEAR(edited.last().at(0).toDouble(), c.expectedValue, 1e-9);
    }
}

class Slider : public ::testing::Test {
protected:
    Slider()
    {
        loadBundledFonts();
        showWindow(slider, {sliderWidth, slider.sizeHint().height()});
    }

    bool isAccent(QPoint p)
    {
        const QColor c = slider.grab().toImage().pixelColor(p), a = Theme::accent();
        return std::abs(c.red() - a.red()) < 25 && std::abs(c.green() - a.green()) < 25 && std::abs(c.blue() - a.blue()) < 25;
    }

    LabeledSlider slider{QStringLiteral("Offset Y"), -50, 50, 1};
};

// A click without movement jumps to the pointer; a value shown is not announced as an edit;
// the fill of a range around zero grows from the middle.
TEST_F(Slider, ClickJumpsAndTheFillGrowsFromZero)
{
    QSignalSpy edited(&slider, &LabeledSlider::valueEdited);
    slider.setValue(20);
    EXPECT_TRUE(edited.isEmpty());
    const int y = int(slider.trackRect().center().y());
    const int middle = LabeledSlider::thumbSize / 2 + 100;
    Pointer(&slider).drag(QPointF(middle - 50, y), QPointF(middle - 50, y), Qt::LeftButton, {}, 0);
    EXPECT_EQ(slider.value(), -25);
    EXPECT_TRUE(isAccent({middle - 40, y}));
    EXPECT_FALSE(isAccent({middle + 40, y}));
    slider.setValue(30);
    EXPECT_FALSE(isAccent({middle - 40, y}));
    EXPECT_TRUE(isAccent({middle + 40, y}));
}

} // namespace
} // namespace pelorin::test
