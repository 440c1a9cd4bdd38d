#include "UiFixture.h"

#include "ui/AnalysisPanel.h"
#include "ui/ChromeButton.h"
#include "ui/ComponentOverlayView.h"
#include "ui/EditorToolbar.h"
#include "ui/EditorWindow.h"
#include "ui/ShimmerView.h"

#include "platform/SettingsKeys.h"


using namespace pelorin;
using namespace pelorin::test;

namespace {

DetectedComponent component(const char* label, int x1, int y1, int x2, int y2)
{
    DetectedComponent c;
    c.label = QString::fromLatin1(label);
    c.text = c.label;
    c.type = QStringLiteral("button");
    c.x1 = x1, c.y1 = y1, c.x2 = x2, c.y2 = y2;
    return c;
}

class ComponentWindow : public EditorUiFixture {
protected:
    ComponentWindow() { showWindow(*window, {1400, 860}); }
    void shoot(const char* name) { screenshot(window.get(), QLatin1String(name)); }

    std::unique_ptr<EditorWindow> window = std::make_unique<EditorWindow>(*editor);
};

} // namespace

TEST_F(ComponentWindow, ClickingABoxTogglesItsHighlightAndOtherClicksPassThrough)
{
    editor->loadImage(solidImage({800, 500}, 1.0, QColor(240, 240, 240)), SourceType::file, false);
    editor->setDetectedComponents({component("Save", 100, 100, 300, 160), component("Cancel", 400, 300, 600, 360)});
    editor->setShowComponentOverlay(true);
    ComponentOverlayView* overlay = window->canvas()->componentOverlay();
    ASSERT_TRUE(overlay->isVisible());
    Pointer pointer(overlay);

    const QRectF save = overlay->boxRect(editor->detectedComponents()[0]);
    pointer.press(save.center());
    pointer.release(save.center());
    EXPECT_TRUE(editor->detectedComponents()[0].isHighlighted);
    EXPECT_FALSE(editor->detectedComponents()[1].isHighlighted);
    EXPECT_GT(overlay->tagRect(editor->detectedComponents()[0]).bottom(), save.top() - 18);
    shoot("overlay-highlighted");

    // Between the boxes the click reaches the canvas, not the overlay.
    const QPointF between = (save.center() + overlay->boxRect(editor->detectedComponents()[1]).center()) / 2;
    EXPECT_NE(QApplication::widgetAt(overlay->mapToGlobal(between.toPoint())), overlay);
    pointer.press(save.center());
    pointer.release(save.center());
    EXPECT_FALSE(editor->detectedComponents()[0].isHighlighted);

    // The list: one row per component; redacting from a row flips its action.
    AnalysisPanel* panel = window->findChild<AnalysisPanel*>();
    ASSERT_NE(panel, nullptr);
    EXPECT_TRUE(panel->isVisible());
    ASSERT_EQ(panel->rowCount(), 2);
    EXPECT_EQ(panel->rowButton(1, 2)->toolTip(), QStringLiteral("Redact this element"));
    panel->rowButton(1, 2)->click();
    QApplication::processEvents();
    EXPECT_TRUE(editor->componentIsRedacted(editor->detectedComponents()[1].id));
    EXPECT_EQ(panel->rowButton(1, 2)->toolTip(), QStringLiteral("Remove redaction"));
    shoot("analysis-list-redacted");

    // A long list makes widgets only for the rows in view.
    std::vector<DetectedComponent> many;
    for (int i = 0; i < 2000; ++i)
        many.push_back(component("Row", 10 + i % 50, 10, 20 + i % 50, 20));
    editor->setDetectedComponents(many);
    QApplication::processEvents();
    EXPECT_EQ(panel->rowCount(), 2000);
    EXPECT_LT(panel->builtRowCount(), 60);
    EXPECT_EQ(panel->rowButton(1999, 1)->toolTip(), QStringLiteral("Search Google for this text"));

    // Clearing from the toolbar empties list and overlay.
    window->toolbar()->clearAnalysisButton()->click();
    EXPECT_FALSE(overlay->isVisible());
    EXPECT_FALSE(panel->isVisible());
}

TEST_F(ComponentWindow, TheShimmerSweepsWhileAnAnalysisRuns)
{
    settings.store().setValue(QLatin1String(SettingsKeys::analysisProvider), QStringLiteral("device"));
    QImage shot(QStringLiteral(PELORIN_SAMPLE));
    ASSERT_FALSE(shot.isNull());
    editor->loadImage(shot, SourceType::file, false);
    window->toolbar()->analyzeButton()->click();
    ShimmerView* shimmer = window->canvas()->shimmer();
    EXPECT_TRUE(shimmer->isVisible());
    // The band sweeps in from the left; caught mid-card unless the analysis is quicker.
    EXPECT_EQ(shimmer->phase(), -1);
    waitUntil([&] { return shimmer->phase() > -0.45 || !editor->isAnalyzing(); }, 10'000);
    if (editor->isAnalyzing())
        shoot("analysing");
    ASSERT_TRUE(waitUntil([&] { return !editor->isAnalyzing(); }, 60'000));
    EXPECT_FALSE(shimmer->isVisible());
    EXPECT_EQ(editor->errorMessage(), QString());
    ASSERT_FALSE(editor->detectedComponents().empty());
    editor->toggleComponentHighlight(editor->detectedComponents().back().id);
    editor->toggleComponentRedaction(editor->detectedComponents().front());
    QTest::qWait(100);
    shoot("analysed");
}
