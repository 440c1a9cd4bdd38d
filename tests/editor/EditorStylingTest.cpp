#include "EditorFixture.h"

#include "core/StylingJson.h"
#include "platform/SettingsKeys.h"

#include <QSignalSpy>

using namespace pelorin;

namespace {

class EditorStyling : public test::EditorFixture {
protected:
    void storeBackground(const char* json)
    {
        settings.store().setValue(QLatin1String(SettingsKeys::lastBackground), QByteArray(json));
    }
    void waitForPersistence()
    {
        QTest::qWait(450);
    }
};

} // namespace

TEST_F(EditorStyling, StoredBackgroundsAreUsedOnlyWhenTheyDecode)
{
    struct Case {
        const char* json;
        BackgroundStyle expected;
    };
    const Case cases[] = {
        {R"({"wallpaper":{}})", BackgroundStyle::wallpaper()},
        {R"({"preset":{"_0":"sunset"}})", BackgroundStyle::preset(BackgroundPreset::sunset)},
        {R"({"preset":{"_0":"aurora"}})", BackgroundStyle::preset(BackgroundPreset::oceanBreeze)},
        {R"({"preset":{"_0":"sunset"},"wallpaper":{}})", BackgroundStyle::preset(BackgroundPreset::oceanBreeze)},
        {R"({"solidColor":{"_0":{"red":1,"green":1,"blue":1}}})", BackgroundStyle::preset(BackgroundPreset::oceanBreeze)},
        {"garbage", BackgroundStyle::preset(BackgroundPreset::oceanBreeze)},
    };
    for (const Case& c : cases) {
        storeBackground(c.json);
        restart();
        EXPECT_EQ(editor->styling().background, c.expected) << c.json;
        // Undecodable bytes are left as they were.
        EXPECT_EQ(settings.store().bytesValue(QLatin1String(SettingsKeys::lastBackground)), QByteArray(c.json)) << c.json;
    }
}

TEST_F(EditorStyling, PersistedStyleSurvivesARestartExceptTheShadowOpacity)
{
    StylingConfiguration s = editor->styling();
    s.cornerRadius = 30;
    s.shadow.opacity = 0.8;
    s.shadow.radius = 12;
    s.dimming = {true, 0.3};
    s.background = BackgroundStyle::preset(BackgroundPreset::neonPink);
    editor->setStyling(s);
    editor->setPadding(48);
    BrowserChromeSettings chrome;
    chrome.isEnabled = true;
    chrome.style = BrowserChromeStyle::light;
    chrome.urlText = QStringLiteral("pelorin.app");
    editor->setBrowserChrome(chrome);
    waitForPersistence();

    restart();
    EXPECT_EQ(editor->styling().cornerRadius, 30);
    EXPECT_EQ(editor->styling().shadow.radius, 12);
    EXPECT_EQ(editor->styling().shadow.opacity, 0.5);
    EXPECT_EQ(editor->styling().padding, 48);
    EXPECT_EQ(editor->styling().dimming, (DimmingConfiguration{true, 0.3}));
    EXPECT_EQ(editor->styling().background, BackgroundStyle::preset(BackgroundPreset::neonPink));
    EXPECT_EQ(editor->browserChrome(), chrome);
    EXPECT_TRUE(editor->stylingIsDirty());
}

// A damaged or hand-edited number cannot push the card out of reach: each comes back within
// its slider's range.
TEST_F(EditorStyling, StoredNumbersComeBackWithinTheSliderRanges)
{
    settings.store().setValue(QLatin1String(SettingsKeys::lastCornerRadius), 80);
    settings.store().setValue(QLatin1String(SettingsKeys::lastFramePadding), QString(QStringLiteral("9").repeated(300)));
    settings.store().setValue(QLatin1String(SettingsKeys::lastShadowRadius), -5);
    settings.store().setValue(QLatin1String(SettingsKeys::lastDimmingAmount), 7.5);
    restart();
    EXPECT_EQ(editor->styling().cornerRadius, 50);
    EXPECT_EQ(editor->styling().padding, 400);
    EXPECT_EQ(editor->styling().shadow.radius, 0);
    EXPECT_EQ(editor->styling().dimming.amount, 1);
}

TEST_F(EditorStyling, ABurstOfChangesIsWrittenOnce)
{
    QSignalSpy writes(&settings.store(), &SettingsStore::changed);
    for (int radius = 20; radius <= 30; ++radius) {
        StylingConfiguration s = editor->styling();
        s.cornerRadius = radius;
        editor->setStyling(s);
        QTest::qWait(20);
    }
    EXPECT_EQ(writes.count(), 0) << "nothing is written inside the 400 ms window";
    waitForPersistence();
    int cornerWrites = 0;
    for (const QList<QVariant>& write : writes)
        cornerWrites += write.at(0).toString() == QLatin1String(SettingsKeys::lastCornerRadius);
    EXPECT_EQ(cornerWrites, 1);
    EXPECT_EQ(settings.store().doubleValue(QLatin1String(SettingsKeys::lastCornerRadius), 0), 30);
}

TEST_F(EditorStyling, DirtinessFollowsEveryStyleDimension)
{
    struct Case {
        const char* name;
        std::function<void(EditorViewModel&)> change;
        bool dirty;
    };
    const std::vector<Case> cases{
        {"yaw below the threshold", [](EditorViewModel& e) { e.setSceneState({0.0005f, 0, false}); }, false},
        {"yaw at the threshold", [](EditorViewModel& e) { e.setSceneState({0.001f, 0, false}); }, true},
        {"pitch negative", [](EditorViewModel& e) { e.setSceneState({0, -0.002f, false}); }, true},
        {"perspective alone", [](EditorViewModel& e) { e.setSceneState({0, 0, true}); }, true},
        {"url text", [](EditorViewModel& e) { BrowserChromeSettings b; b.urlText = QStringLiteral("x"); e.setBrowserChrome(b); }, true},
        {"no address bar", [](EditorViewModel& e) { BrowserChromeSettings b; b.showsAddressBar = false; e.setBrowserChrome(b); }, true},
        {"shadow offset x", [](EditorViewModel& e) { StylingConfiguration s; s.shadow.offsetX = 5; e.setStyling(s); }, true},
    };
    for (const Case& c : cases) {
        editor->resetAllStyling();
        c.change(*editor);
        EXPECT_EQ(editor->stylingIsDirty(), c.dirty) << c.name;
    }
}

// Background and padding change the open document too; a padding change drops the stored
// frame, and Reset All resets the document, the frame and the tilt.
TEST_F(EditorStyling, StyleChangesReachTheOpenDocument)
{
    editor->loadImage(solidImage({400, 300}), SourceType::clipboard, false);
    editor->setExportFrameRect(QRectF(10, 10, 200, 100));
    editor->setBackgroundToWallpaper();
    editor->setPadding(64);
    EXPECT_EQ(editor->document()->styling.background, BackgroundStyle::wallpaper());
    EXPECT_EQ(editor->document()->styling.padding, 64);
    EXPECT_FALSE(editor->exportFrameRect());
    editor->setExportFrameRect(QRectF(0, 0, 200, 100));
    editor->setSceneState({0.3f, 0.2f, true});
    editor->resetAllStyling();
    EXPECT_EQ(editor->styling(), StylingConfiguration{});
    EXPECT_EQ(editor->document()->styling, StylingConfiguration{});
    EXPECT_FALSE(editor->exportFrameRect());
    EXPECT_EQ(editor->sceneState(), SceneState{});
    EXPECT_FALSE(editor->stylingIsDirty());
}

// Style changes are steps of the one undo history, each undone and redone whole.
TEST_F(EditorStyling, StyleChangesUndoAndRedo)
{
    editor->loadImage(solidImage({400, 300}), SourceType::clipboard, false);
    editor->updateViewportSize({1000, 800});
    const struct {
        const char* name;
        std::function<void()> change;
    } cases[] = {
        {"padding", [&] { editor->setPadding(64); }},
        {"background", [&] { editor->setBackground(BackgroundPreset::charcoal); }},
        {"corners and shadow", [&] {
             StylingConfiguration s = editor->styling();
             s.cornerRadius = 3;
             s.shadow.radius = 40;
             editor->setStyling(s);
         }},
        {"browser frame", [&] { editor->setBrowserChrome({true, BrowserChromeStyle::light, true, QStringLiteral("a.b")}); }},
        {"tilt", [&] {
             editor->beginRotationGesture();
             editor->rotateBy(0.4f, 0.2f);
             editor->rotateBy(0.1f, 0.0f);
             editor->endRotationGesture();
         }},
        {"reset all", [&] { editor->resetAllStyling(); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const StyleSnapshot before = editor->styleSnapshot();
        c.change();
        const StyleSnapshot after = editor->styleSnapshot();
        ASSERT_NE(after, before);
        editor->undoAnnotationChange();
        EXPECT_EQ(editor->styleSnapshot(), before);
        EXPECT_EQ(editor->document()->styling, editor->styling());
        editor->redoAnnotationChange();
        EXPECT_EQ(editor->styleSnapshot(), after);
    }
}

TEST_F(EditorStyling, ADraggedSliderIsOneStepBesideTheAnnotations)
{
    editor->loadImage(solidImage({400, 300}), SourceType::clipboard, false);
    const double padding = editor->styling().padding;
    const ShapeAnnotation shape = ShapeAnnotation::make(QRectF(10, 10, 40, 40), Qt::red);
    editor->addAnnotation(shape);
    for (int value = 1; value <= 30; ++value) // a drag, or a key held down
        editor->setPadding(padding + value);
    editor->undoAnnotationChange();
    EXPECT_EQ(editor->styling().padding, padding) << "the whole drag in one step";
    EXPECT_EQ(editor->document()->annotations.size(), 1u) << "the annotation is a step of its own";
    editor->undoAnnotationChange();
    EXPECT_TRUE(editor->document()->annotations.empty());
    EXPECT_FALSE(editor->canUndoAnnotationChange());
    editor->redoAnnotationChange();
    editor->redoAnnotationChange();
    EXPECT_EQ(editor->styling().padding, padding + 30);
    EXPECT_EQ(editor->document()->annotations.size(), 1u);
}
