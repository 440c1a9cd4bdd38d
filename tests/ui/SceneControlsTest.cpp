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

TEST_F(SceneControls, FollowTheScene)
{
    // What the controls show: the projection button's tip, checked, enabled; reset shown, enabled.
    const struct {
        const char* name;
        std::function<void()> arrange;
        const char* shown;
    } cases[] = {
        {"flat", [] {}, "Switch to 3D, -, enabled; -, -"},
        {"perspective, untilted", [&] { projection()->click(); }, "Switch to 2D, checked, enabled; reset, -"},
        {"tilted", [&] { tiltBy(0.2f, 0); }, "Switch to 2D, checked, enabled; reset, enabled"},
        {"a small pitch beyond the snap back", [&] { tiltBy(0, 0.03f); }, "Switch to 2D, checked, enabled; reset, enabled"},
        {"reset pressed", [&] {
             tiltBy(0.2f, 0.1f);
             reset()->click();
         }, "Switch to 2D, checked, enabled; reset, -"},
        {"analysing", [&] { editor->setIsAnalyzing(true); }, "Switch to 3D, -, -; -, -"},
        {"components shown", [&] {
             projection()->click();
             editor->setShowComponentOverlay(true);
         }, "Switch to 2D, checked, -; reset, -"},
        {"switched back to 2D", [&] {
             tiltBy(0.3f, -0.2f);
             projection()->click();
         }, "Switch to 3D, -, enabled; -, -"},
    };
    for (const auto& c : cases) {
        editor->resetAllStyling();
        editor->setIsAnalyzing(false);
        editor->setShowComponentOverlay(false);
        c.arrange();
        const auto word = [](bool on, const char* name) { return QLatin1String(on ? name : "-"); };
        const QString shown = QStringLiteral("%1, %2, %3; %4, %5")
                                  .arg(projection()->toolTip(), word(projection()->isChecked(), "checked"),
                                       word(projection()->isEnabled(), "enabled"), word(reset()->isVisibleTo(canvas.get()), "reset"),
                                       word(reset()->isEnabled(), "enabled"));
        EXPECT_EQ(shown, QLatin1String(c.shown)) << c.name;
    }
    // Switching to 2D flattens what is drawn too.
    waitForFrame();
    EXPECT_EQ(editor->sceneState(), SceneState{});
    EXPECT_EQ(canvas->displayedYaw(), 0.f);
    EXPECT_EQ(canvas->displayedPitch(), 0.f);
}

TEST_F(SceneControls, ReturnTo2DButtonShowsWhileTiltedAndFlattensOnClick)
{
    ReturnTo2DButton* button = canvas->returnTo2DButton();
    EXPECT_FALSE(button->isVisible());
    editor->beginRotationGesture();
    EXPECT_TRUE(button->isWanted()) << "during a gesture from flat";
    editor->endRotationGesture(); // never turned: snaps back flat
    EXPECT_FALSE(button->isWanted());

    tiltBy(0.3f, 0);
    ASSERT_TRUE(waitUntil([&] { return button->opacity() == 1.0; }));
    EXPECT_TRUE(button->isVisible());
    Pointer(canvas.get()).drag(button->geometry().center(), button->geometry().center(), Qt::LeftButton, {}, 0);
    EXPECT_FALSE(editor->sceneState().isPerspective);
    ASSERT_TRUE(waitUntil([&] { return !button->isVisible(); }));

    // A frame reaching the canvas's bottom pulls its tag up to where the button stands.
    editor->setExportFrameRect(QRectF(300, 400, 400, 300));
    tiltBy(0.3f, 0);
    const QRectF tag = canvas->exportFrameView()->tagRect();
    const QRect above = button->geometry();
    EXPECT_LT(above.bottom(), tag.top());
    editor->setExportFrameRect(std::nullopt);
    EXPECT_GT(button->geometry().bottom(), above.bottom()) << "back down once the tag has gone";
}

} // namespace
} // namespace pelorin::test
