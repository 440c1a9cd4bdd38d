#include "UiFixture.h"

#include "ui/BrowserChromeSection.h"
#include "ui/ChromeButton.h"
#include "ui/LabeledSlider.h"
#include "ui/StyleSection.h"
#include "ui/StyleSidebar.h"
#include "ui/ToggleSwitch.h"

#include <QLabel>
#include <QLineEdit>

namespace pelorin::test {
namespace {

class Sidebar : public EditorUiFixture {
public:
    Sidebar() { showWindow(*sidebar, {272, 900}); }

    bool resetShown(const char* section) const
    {
        return sidebar->section(QLatin1String(section))->resetButton()->isVisibleTo(sidebar.get());
    }

    void edit(const std::function<void(StylingConfiguration&)>& change)
    {
        StylingConfiguration s = editor->styling();
        change(s);
        editor->setStyling(s);
    }

    std::unique_ptr<StyleSidebar> sidebar = std::make_unique<StyleSidebar>(*editor, [](QSize) { return std::nullopt; });
};

// A section's reset shows only while the section differs from its defaults, and restores them.
TEST_F(Sidebar, SectionResetsShowOnlyWhileTheSectionDiffers)
{
    const auto styling = [](Sidebar& f, std::function<void(StylingConfiguration&)> change) { f.edit(change); };
    const struct {
        const char* name;
        std::function<void(Sidebar&)> change;
        const char* section;
        // What the section's reset leaves behind; none: the reset is not shown.
        std::function<void(const EditorViewModel&)> afterReset;
    } cases[] = {
        {"corner radius", [&](Sidebar& f) { styling(f, [](auto& s) { s.cornerRadius = 30; }); }, "Card",
         [](const EditorViewModel& e) { EXPECT_EQ(e.styling().cornerRadius, 18); }},
        {"padding with a stored frame",
         [](Sidebar& f) {
             f.editor->setPadding(40);
             f.editor->setExportFrameRect(QRectF(10, 10, 300, 200));
         },
         "Card",
         [](const EditorViewModel& e) {
             EXPECT_EQ(e.styling().padding, 0);
             EXPECT_FALSE(e.exportFrameRect().has_value());
         }},
        {"shadow opacity, keeping offset x",
         [&](Sidebar& f) {
             styling(f, [](auto& s) {
                 s.shadow.opacity = 0.8;
                 s.shadow.offsetX = 5;
             });
         },
         "Shadow",
         [](const EditorViewModel& e) {
             EXPECT_EQ(e.styling().shadow.opacity, 0.5);
             EXPECT_EQ(e.styling().shadow.offsetX, 5);
         }},
        {"only offset x differs", [&](Sidebar& f) { styling(f, [](auto& s) { s.shadow.offsetX = 5; }); }, "Shadow", {}},
        {"only the shadow colour differs", [&](Sidebar& f) { styling(f, [](auto& s) { s.shadow.color = CodableColor{1, 0, 0, 1}; }); },
         "Shadow", {}},
        {"dimming enabled", [](Sidebar& f) { f.sidebar->dimToggle()->click(); }, "Focus",
         [](const EditorViewModel& e) { EXPECT_EQ(e.styling().dimming, DimmingConfiguration{}); }},
        {"dimming amount", [&](Sidebar& f) { styling(f, [](auto& s) { s.dimming.amount = 0.7; }); }, "Focus",
         [](const EditorViewModel& e) { EXPECT_EQ(e.styling().dimming.amount, 0.5); }},
        {"browser address",
         [](Sidebar& f) {
             BrowserChromeSettings b;
             b.urlText = QStringLiteral("example.com");
             f.editor->setBrowserChrome(b);
         },
         "Browser", [](const EditorViewModel& e) { EXPECT_EQ(e.browserChrome(), BrowserChromeSettings{}); }},
        {"the background has no section reset", [](Sidebar& f) { f.editor->setBackground(BackgroundPreset::sunset); }, "Card", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        editor->resetAllStyling();
        editor->setBrowserChrome({});
        for (const char* name : {"Card", "Shadow", "Focus", "Browser"})
            ASSERT_FALSE(resetShown(name)) << name;
        c.change(*this);
        ASSERT_EQ(resetShown(c.section), bool(c.afterReset));
        if (!c.afterReset)
            continue;
        sidebar->section(QLatin1String(c.section))->resetButton()->click();
        EXPECT_FALSE(resetShown(c.section));
        c.afterReset(*editor);
    }
}

TEST_F(Sidebar, ResetAllIsEnabledOnlyWhileSomethingDiffers)
{
    ChromeButton* reset = sidebar->resetAllButton();
    EXPECT_FALSE(reset->isEnabled());
    EXPECT_EQ(reset->toolTip(), QStringLiteral("Reset padding, corners, shadow, background, and rotation to defaults"));
    editor->toggleProjection();
    EXPECT_TRUE(reset->isEnabled());
    reset->click();
    EXPECT_FALSE(reset->isEnabled());
    EXPECT_FALSE(editor->sceneState().isPerspective);
}

// A click on a track sets that slider's value; padding goes through the editor's own
// setter, which drops a stored export frame.
TEST_F(Sidebar, SlidersWriteTheStyle)
{
    editor->setExportFrameRect(QRectF(0, 0, 300, 200));
    LabeledSlider* opacity = sidebar->slider(QStringLiteral("Opacity"));
    const QRectF track = opacity->trackRect();
    const QPointF at(track.left() + 7 + 0.37 * (track.width() - 14), track.center().y());
    Pointer(opacity).drag(at, at, Qt::LeftButton, {}, 0);
    EXPECT_DOUBLE_EQ(editor->styling().shadow.opacity, opacity->value());
    EXPECT_NEAR(opacity->value(), 0.35, 0.051); // the track width decides the exact step
    EXPECT_TRUE(resetShown("Shadow"));
    EXPECT_TRUE(editor->exportFrameRect().has_value());

    LabeledSlider* padding = sidebar->slider(QStringLiteral("Padding"));
    Pointer(padding).drag(padding->trackRect().center(), padding->trackRect().center(), Qt::LeftButton, {}, 0);
    EXPECT_GT(editor->styling().padding, 0);
    EXPECT_FALSE(editor->exportFrameRect().has_value());
}

TEST_F(Sidebar, FocusHintShowsUntilThereIsAShape)
{
    editor->loadImage(solidImage({400, 300}), SourceType::file, false);
    EXPECT_TRUE(sidebar->focusHint()->isVisibleTo(sidebar.get()));
    EXPECT_EQ(sidebar->focusHint()->text(), QStringLiteral("Add a shape annotation to keep its area bright."));
    editor->addAnnotation(ShapeAnnotation::make(QRectF(10, 10, 100, 80), Qt::red));
    EXPECT_FALSE(sidebar->focusHint()->isVisibleTo(sidebar.get()));
}

// Wallpaper, transparent, then the presets in their order; a click chooses one.
TEST_F(Sidebar, BackgroundSwatchesSetTheBackground)
{
    const auto& swatches = sidebar->backgroundPicker()->swatches();
    ASSERT_EQ(swatches.size(), 2 + allBackgroundPresets().size());
    EXPECT_EQ(swatches[0]->toolTip(), QStringLiteral("Desktop Wallpaper"));
    EXPECT_EQ(swatches[1]->caption(), QStringLiteral("Transparent"));
    EXPECT_EQ(swatches[2]->caption(), QStringLiteral("Ocean Breeze"));
    EXPECT_EQ(swatches[19]->caption(), QStringLiteral("Rainbow Light"));
    EXPECT_TRUE(swatches[2]->isSelected());
    swatches[6]->click(); // Sunset
    EXPECT_EQ(editor->styling().background, BackgroundStyle::preset(BackgroundPreset::sunset));
    EXPECT_TRUE(swatches[6]->isSelected());
    EXPECT_FALSE(swatches[2]->isSelected());
    swatches[1]->click();
    EXPECT_EQ(editor->styling().background, BackgroundStyle::transparent());
    swatches[0]->click();
    EXPECT_EQ(editor->styling().background, BackgroundStyle::wallpaper());
}

TEST(BackgroundPickerWallpaper, LoadsTheThumbnailOffTheGuiThread)
{
    TempSettings settings;
    NotificationCenter notifications;
    EditorViewModel editor(settings.store(), notifications);
    QThread* gui = QThread::currentThread();
    std::atomic<bool> askedOnGuiThread = true;
    QImage picture(60, 60, QImage::Format_RGB32);
    picture.fill(Qt::darkGreen);
    BackgroundPicker picker(editor, [&](QSize) {
        askedOnGuiThread = QThread::currentThread() == gui;
        return std::optional<QImage>(picture);
    });
    picker.show();
    ASSERT_TRUE(waitUntil([&] { return picker.wallpaperSwatch()->hasPicture(); }));
    EXPECT_FALSE(askedOnGuiThread);
}

class AddressField : public Sidebar {
public:
    AddressField()
    {
        BrowserChromeSettings b;
        b.isEnabled = true;
        editor->setBrowserChrome(b);
    }
    QLineEdit* field() const { return sidebar->browserSection()->addressField(); }
};

// The address applies once the typing pauses; the controls follow the frame and change it.
TEST_F(AddressField, ControlsFollowTheFrameAndChangeIt)
{
    field()->setFocus();
    QTest::keyClicks(field(), QStringLiteral("example.com/docs"));
    EXPECT_TRUE(editor->browserChrome().urlText.isEmpty());
    ASSERT_TRUE(waitUntil([&] { return !editor->browserChrome().urlText.isEmpty(); }));
    EXPECT_EQ(editor->browserChrome().urlText, QStringLiteral("example.com/docs"));

    BrowserChromeSettings b = editor->browserChrome();
    b.urlText = QStringLiteral("pelorin.app");
    b.style = BrowserChromeStyle::light;
    editor->setBrowserChrome(b);
    EXPECT_EQ(field()->text(), QStringLiteral("pelorin.app"));
    EXPECT_TRUE(sidebar->browserSection()->lightButton()->isChecked());
    EXPECT_FALSE(sidebar->browserSection()->darkButton()->isChecked());
    sidebar->browserSection()->darkButton()->click();
    EXPECT_EQ(editor->browserChrome().style, BrowserChromeStyle::dark);
    sidebar->browserSection()->addressBarToggle()->click();
    EXPECT_FALSE(editor->browserChrome().showsAddressBar);
    sidebar->browserSection()->frameToggle()->click();
    EXPECT_FALSE(editor->browserChrome().isEnabled);
}

} // namespace
} // namespace pelorin::test
