#include "UiFixture.h"

#include "ui/ChromeButton.h"
#include "ui/ExportFrameView.h"
#include "ui/ReturnTo2DButton.h"
#include "ui/SceneControlsView.h"

namespace pelorin::test {
namespace {

class SceneControls : public CanvasFixture {
public:
    SceneControls() { open(); }

    ChromeButton* projection() const { return canvas->sceneControls()->projectionButton(); }
    ChromeButton* reset() const { return canvas->sceneControls()->resetButton(); }

    void tiltBy(float yaw, float pitch)
    {
        editor->beginRotationGesture();
        editor->rotateBy(yaw, pitch);
        editor->endRotationGesture();
    }
};

struct ControlsState {
    QString projectionLabel;
    bool projectionSelected;
    bool projectionEnabled;
    bool resetShown;
    bool resetEnabled;
    bool operator==(const ControlsState&) const = default;
};

void PrintTo(const ControlsState& s, std::ostream* os)
{
    *os << s.projectionLabel.toStdString() << (s.projectionSelected ? " selected" : "")
        << (s.projectionEnabled ? "" : " disabled") << (s.resetShown ? ", reset" : ", no reset")
        << (s.resetEnabled ? " enabled" : " disabled");
}

struct ControlsCase {
    const char* name;
    friend void PrintTo(const ControlsCase& c, std::ostream* os) { *os << c.name; }
    std::function<void(SceneControls&)> arrange;
    ControlsState expected;
};

class SceneControlStates : public SceneControls, public ::testing::WithParamInterface<ControlsCase> {};

TEST_P(SceneControlStates, FollowTheScene)
{
    GetParam().arrange(*this);
    const ControlsState shown{projection()->toolTip(), projection()->isChecked(), projection()->isEnabled(),
                              reset()->isVisibleTo(canvas.get()), reset()->isEnabled()};
    EXPECT_EQ(shown, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Canvas, SceneControlStates,
    ::testing::Values(
        ControlsCase{"flat", [](SceneControls&) {}, {QStringLiteral("Switch to 3D"), false, true, false, false}},
        ControlsCase{"perspectiveUntilted",
                     [](SceneControls& fixture) { fixture.projection()->click(); },
                     {QStringLiteral("Switch to 2D"), true, true, true, false}},
        ControlsCase{"tiltedAwayFromZero",
                     [](SceneControls& fixture) { fixture.tiltBy(0.2f, 0); },
                     {QStringLiteral("Switch to 2D"), true, true, true, true}},
        ControlsCase{"smallPitchBeyondSnapBack",
                     [](SceneControls& fixture) { fixture.tiltBy(0, 0.03f); },
                     {QStringLiteral("Switch to 2D"), true, true, true, true}},
        ControlsCase{"resetPressed",
                     [](SceneControls& fixture) {
                         fixture.tiltBy(0.2f, 0.1f);
                         fixture.reset()->click();
                     },
                     {QStringLiteral("Switch to 2D"), true, true, true, false}},
        ControlsCase{"analysing",
                     [](SceneControls& fixture) { fixture.editor->setIsAnalyzing(true); },
                     {QStringLiteral("Switch to 3D"), false, false, false, false}},
        ControlsCase{"componentOverlayShown",
                     [](SceneControls& fixture) {
                         fixture.projection()->click();
                         fixture.editor->setShowComponentOverlay(true);
                     },
                     {QStringLiteral("Switch to 2D"), true, false, true, false}},
        ControlsCase{"switchedBackTo2D",
                     [](SceneControls& fixture) {
                         fixture.tiltBy(0.3f, 0);
                         fixture.projection()->click();
                     },
                     {QStringLiteral("Switch to 3D"), false, true, false, false}}),
    caseName<ControlsCase>);

TEST_F(SceneControls, SwitchingTo2DFlattensTheCard)
{
    tiltBy(0.3f, -0.2f);
    projection()->click();
    EXPECT_EQ(editor->sceneState(), SceneState{});
    waitForFrame();
    EXPECT_EQ(canvas->displayedYaw(), 0.f);
    EXPECT_EQ(canvas->displayedPitch(), 0.f);
}

TEST_F(SceneControls, ReturnTo2DButtonFadesInWhileTiltedAndFlattensOnClick)
{
    ReturnTo2DButton* button = canvas->returnTo2DButton();
    EXPECT_FALSE(button->isVisible());
    tiltBy(0.3f, 0);
    ASSERT_TRUE(waitUntil([&] { return button->opacity() == 1.0; }));
    EXPECT_TRUE(button->isVisible());

    Pointer(canvas.get()).press(button->geometry().center());
    Pointer(canvas.get()).release(button->geometry().center());
    EXPECT_FALSE(editor->sceneState().isPerspective);
    ASSERT_TRUE(waitUntil([&] { return !button->isVisible(); }));
}

TEST_F(SceneControls, ReturnTo2DButtonMakesRoomForTheSizeTag)
{
    // A frame reaching the canvas's bottom pulls its tag up to where the button stands.
    editor->setExportFrameRect(QRectF(300, 400, 400, 300));
    tiltBy(0.3f, 0);
    const QRectF tag = canvas->exportFrameView()->tagRect();
    const QRect button = canvas->returnTo2DButton()->geometry();
    EXPECT_FALSE(QRectF(button).intersects(tag));
    EXPECT_LT(button.bottom(), tag.top());
    editor->setExportFrameRect(std::nullopt);
    EXPECT_GT(canvas->returnTo2DButton()->geometry().bottom(), button.bottom()) << "back down once the tag has gone";
}

TEST_F(SceneControls, ReturnTo2DButtonShowsDuringAGestureFromFlat)
{
    editor->beginRotationGesture();
    EXPECT_TRUE(canvas->returnTo2DButton()->isWanted());
    editor->endRotationGesture(); // never turned: snaps back flat
    EXPECT_FALSE(canvas->returnTo2DButton()->isWanted());
}

} // namespace
} // namespace pelorin::test
