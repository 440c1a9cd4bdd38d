#include "UiFixture.h"

#include "core/AppConstants.h"
#include "editor/AnnotationDefaultsStore.h"
#include "ui/AnnotationColorPicker.h"
#include "ui/AnnotationStylePanel.h"
#include "ui/BrowserChromeSection.h"
#include "ui/ChromeButton.h"
#include "ui/LabeledSlider.h"
#include "ui/StyleSection.h"
#include "ui/StyleSidebar.h"
#include "ui/ToggleSwitch.h"

#include <QColorDialog>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>

namespace pelorin::test {
namespace {

namespace Keys = AnnotationDefaultKeys;
using Tool = AnnotationTool;

// Drags the slider's thumb to `x` with the mouse, in steps: one drag, so that its edits can
// be undone together.
void dragThumb(LabeledSlider* slider, double x)
{
    const QRectF track = slider->trackRect();
    const QPointF from(track.left() + slider->geometry().thumbCenterX(slider->value()), track.center().y());
    Pointer(slider).drag(from, QPointF(std::round(x), from.y()));
}

// 214 points wide: a usable track of 200 points between the thumb's half-widths. A drag
// from the thumb snaps to the step and shows the value as it will be used (the arithmetic
// has a test of its own); a click without movement jumps to the pointer; a value set is not
// announced as an edit; the fill of a range around zero grows from the middle.
TEST(Slider, DragsSnapToTheStepAndClicksJumpAndTheFillGrowsFromZero)
{
    loadBundledFonts();
    LabeledSlider opacity(QStringLiteral("Opacity"), 0, 1, 0.05), slider(QStringLiteral("Offset Y"), -50, 50, 1);
    // {slider, where the pointer lands (0…1 of the usable width), value, text}
    for (const auto& [under, fraction, value, text] : {std::tuple{&opacity, 0.37, 0.35, "0.35"}, {&slider, 1.2, 50.0, "50"}}) {
        showWindow(*under, {214, under->sizeHint().height()});
        QSignalSpy edited(under, &LabeledSlider::valueEdited);
        const QRectF track = under->trackRect();
        dragThumb(under, track.left() + LabeledSlider::thumbSize / 2 + fraction * (track.width() - LabeledSlider::thumbSize));
        EXPECT_NEAR(under->value(), value, 1e-9) << text;
        EXPECT_EQ(under->valueText(), QString::fromLatin1(text));
        ASSERT_FALSE(edited.isEmpty());
        EXPECT_NEAR(edited.last().at(0).toDouble(), value, 1e-9);
    }

    const auto isAccent = [&](int x, int y) {
        const QColor c = slider.grab().toImage().pixelColor(x, y), a = Theme::accent();
        return std::abs(c.red() - a.red()) < 25 && std::abs(c.green() - a.green()) < 25 && std::abs(c.blue() - a.blue()) < 25;
    };
    QSignalSpy edited(&slider, &LabeledSlider::valueEdited);
    slider.setValue(20);
    EXPECT_TRUE(edited.isEmpty());
    const int y = int(slider.trackRect().center().y());
    const int middle = LabeledSlider::thumbSize / 2 + 100;
    Pointer(&slider).drag(QPointF(middle - 50, y), QPointF(middle - 50, y), Qt::LeftButton, {}, 0);
    EXPECT_EQ(slider.value(), -25);
    EXPECT_TRUE(isAccent(middle - 40, y));
    EXPECT_FALSE(isAccent(middle + 40, y));
    slider.setValue(30);
    EXPECT_FALSE(isAccent(middle - 40, y));
    EXPECT_TRUE(isAccent(middle + 40, y));
}

class Inspector : public EditorUiFixture {
public:
    Inspector()
    {
        editor->loadImage(solidImage({800, 500}), SourceType::file, false);
        showWindow(*inspector, {272, 820});
    }

    // Adds the annotation and selects it, the way a drawn one ends up.
    void addSelected(const Annotation& annotation)
    {
        editor->addAnnotation(annotation);
        editor->setSelectedAnnotationId(annotationId(annotation));
    }
    bool resetShown(Tool kind) const { return inspector->section(kind)->resetButton()->isVisibleTo(inspector.get()); }
    QVariant stored(const char* key) { return settings.store().storedValue(QLatin1String(key)); }
    void press(Tool kind, const char* name) { QTest::mouseClick(inspector->button(kind, QLatin1String(name)), Qt::LeftButton); }
    void slide(Tool kind, const char* name, double value)
    {
        LabeledSlider* slider = inspector->slider(kind, QLatin1String(name));
        dragThumb(slider, slider->trackRect().left() + slider->geometry().thumbCenterX(value));
    }

    static QColor swatch(int i) { return AnnotationColorPicker::swatchColors()[i]; }

    std::unique_ptr<AnnotationStylePanel> inspector = std::make_unique<AnnotationStylePanel>(*editor);
};

using T = TextAnnotation;
using S = ShapeAnnotation;
using R = RedactAnnotation;
using Stroke = StrokeAnnotation;

Annotation aText()
{
    TextAnnotation t = TextAnnotation::make({120, 80}, Qt::red);
    t.text = QStringLiteral("Hello");
    return t;
}
const QRectF box(100, 100, 200, 120);
template <class A>
Annotation with(Annotation a, const std::function<void(A&)>& change)
{
    change(std::get<A>(a));
    return a;
}

// Each edit, a reset too, lands in the selected annotation in the document, changing nothing
// else of it, as one step to undo; the other annotation, below it, stays untouched. The reset
// shows only while the style differs from the defaults, restores them, and leaves what is not
// style (colour, text, plate, number, a shape's radius, a redaction's style) alone; the reset
// style is what the next one takes.
TEST_F(Inspector, EditsAndResetsChangeTheSelectedAnnotationOrTheArmedToolsStyle)
{
    const Annotation text = aText(), arrow = ArrowAnnotation::make({100, 100}, {300, 200}, Qt::red);
    const Annotation shape = ShapeAnnotation::make(box, QColor::fromRgbF(0.2f, 0.4f, 1.0f)), redact = R::make(box, Qt::black);
    const Annotation bold = with<T>(text, [](T& x) { x.fontWeight = FontWeight::bold; });
    const Annotation plated = with<T>(text, [](T& x) { x.backgroundColor = Qt::white; });
    const Annotation pen = Stroke::make(StrokeKind::pen, {{10, 10}, {90, 40}}, Qt::red, 4);
    const Annotation highlighter = Stroke::make(StrokeKind::highlighter, {{10, 10}, {90, 10}}, AppConstants::defaultHighlighterColor(), 20);
    const Annotation step = StepAnnotation::make({50, 50}, 4, Qt::red, 32), red = S::make(box, Qt::red);
    const auto radius20 = [](S& s) { s.cornerRadius = 20; };
    const auto reset = [](Inspector& f) {
        const Tool kind = *f.inspector->kind();
        ASSERT_TRUE(f.resetShown(kind));
        f.inspector->section(kind)->resetButton()->click();
        EXPECT_FALSE(f.resetShown(kind));
        f.editor->setSelectedAnnotationId({});
        f.editor->setSelectedTool(kind);
        EXPECT_FALSE(f.resetShown(kind)) << "the next one takes the reset style";
    };
    const struct { const char* name; Annotation before; std::function<void(Inspector&)> act; Annotation after; } cases[] = {
        {"text size", text, [](Inspector& f) { f.slide(Tool::text, "Size", 40); }, with<T>(text, [](T& x) { x.fontSize = 40; })},
        {"semibold becomes bold", text, [](Inspector& f) { f.press(Tool::text, "Bold"); }, bold},
        {"bold becomes regular", bold, [](Inspector& f) { f.press(Tool::text, "Bold"); },
         with<T>(text, [](T& x) { x.fontWeight = FontWeight::regular; })},
        {"design", text, [](Inspector& f) { f.press(Tool::text, "Mono"); }, with<T>(text, [](T& x) { x.design = TextDesign::mono; })},
        {"outline colour", text, [](Inspector& f) { f.inspector->outlineColorPicker()->swatch(5)->click(); },
         with<T>(text, [](T& x) { x.strokeColor = Inspector::swatch(5); })},
        {"the plate is white", text, [](Inspector& f) { f.press(Tool::text, "Plate"); }, plated},
        {"the plate's colour", plated, [](Inspector& f) { f.inspector->plateColorPicker()->swatch(2)->click(); },
         with<T>(text, [](T& x) { x.backgroundColor = Inspector::swatch(2); })},
        {"arrow style", arrow, [](Inspector& f) { f.press(Tool::arrow, "Double"); },
         with<ArrowAnnotation>(arrow, [](ArrowAnnotation& x) { x.style = ArrowStyle::double_; })},
        {"shape type", shape, [](Inspector& f) { f.press(Tool::shape, "Circle"); },
         with<S>(shape, [](S& x) { x.shapeType = ShapeType::circle; })},
        {"shape thickness stops at 1", shape, [](Inspector& f) { f.slide(Tool::shape, "Thickness", 0); },
         with<S>(shape, [](S& x) { x.strokeWidth = 1; })},
        {"the fill tints with the stroke colour", shape, [](Inspector& f) { f.press(Tool::shape, "Fill"); },
         with<S>(shape, [](S& x) { x.fillColor = QColor::fromRgbF(0.2f, 0.4f, 1.0f, 0.25f); })},
        {"redaction corner radius stops at 24", redact, [](Inspector& f) { f.slide(Tool::redact, "Corner Radius", 30); },
         with<R>(redact, [](R& x) { x.cornerRadius = 24; })},
        {"redaction becomes blurred", redact, [](Inspector& f) { f.press(Tool::redact, "Blur"); },
         with<R>(redact, [](R& x) { x.redactStyle = RedactStyle::blur; })},
        {"reset: text italic, heavy and outlined",
         with<T>(text,
                 [](T& x) {
                     x.isItalic = true;
                     x.fontWeight = FontWeight::heavy;
                     x.strokeWidth = 3;
                     x.strokeColor = Qt::black;
                     x.backgroundColor = Qt::yellow;
                 }),
         reset, with<T>(text, [](T& x) { x.backgroundColor = Qt::yellow; })},
        {"reset: arrow line", with<ArrowAnnotation>(arrow, [](ArrowAnnotation& a) { a.style = ArrowStyle::line; }), reset, arrow},
        {"reset: a shape keeps its corner radius",
         with<S>(red,
                 [](S& s) {
                     s.fillColor = Qt::green;
                     s.strokeWidth = 11;
                     s.cornerRadius = 20;
                 }),
         reset, with<S>(red, radius20)},
        {"reset: a redaction's radius, keeping its style",
         with<R>(redact,
                 [](R& r) {
                     r.cornerRadius = 0;
                     r.redactStyle = RedactStyle::pixelate;
                 }),
         reset, with<R>(redact, [](R& r) { r.redactStyle = RedactStyle::pixelate; })},
        {"reset: pen width", with<Stroke>(pen, [](Stroke& s) { s.strokeWidth = 11; }), reset, pen},
        {"reset: highlighter width", with<Stroke>(highlighter, [](Stroke& s) { s.strokeWidth = 36; }), reset, highlighter},
        {"reset: step size", with<StepAnnotation>(step, [](StepAnnotation& s) { s.size = 60; }), reset, step},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        editor->loadImage(solidImage({800, 500}), SourceType::file, false);
        const RedactAnnotation bystander = RedactAnnotation::make(QRectF(0, 0, 40, 40), Qt::black);
        editor->addAnnotation(bystander);
        addSelected(c.before);
        ASSERT_TRUE(inspector->kind());
        const Annotation added = editor->document()->annotations[1];
        c.act(*this);
        EXPECT_EQ(editor->document()->annotations[1], c.after);
        EXPECT_EQ(editor->document()->annotations[0], Annotation(bystander));
        editor->undoAnnotationChange();
        EXPECT_EQ(editor->document()->annotations[1], added) << "one edit, one step to undo";
    }
    // What is not style alone offers no reset.
    for (const Annotation& a : {with<T>(text, [](T& x) { x.strokeColor = Qt::black; }), with<S>(shape, radius20),
                                with<R>(redact, [](R& r) { r.redactStyle = RedactStyle::blur; })}) {
        addSelected(a);
        EXPECT_FALSE(resetShown(*inspector->kind()));
    }

    // With nothing selected, an armed tool shows the style its next annotation takes, and
    // edits change only that remembered style; a selection is inspected rather than the tool.
    editor->loadImage(solidImage({800, 500}), SourceType::file, false);
    editor->setSelectedTool(std::nullopt);
    QSignalSpy inspecting(inspector.get(), &AnnotationStylePanel::inspectingChanged);
    EXPECT_FALSE(inspector->kind());
    settings.store().setValue(QLatin1String(Keys::arrowStrokeWidth), 9.0);
    editor->setSelectedTool(Tool::arrow);
    ASSERT_EQ(inspector->kind(), std::optional(Tool::arrow));
    EXPECT_EQ(inspecting.size(), 1);
    EXPECT_TRUE(inspector->defaultsHint()->isVisibleTo(inspector.get()));
    EXPECT_EQ(inspector->slider(Tool::arrow, QStringLiteral("Thickness"))->value(), 9);
    EXPECT_TRUE(resetShown(Tool::arrow));

    press(Tool::arrow, "Line");
    EXPECT_EQ(stored(Keys::arrowStyle), QStringLiteral("line"));
    EXPECT_TRUE(inspector->button(Tool::arrow, QStringLiteral("Line"))->isChecked());
    inspector->section(Tool::arrow)->resetButton()->click();
    EXPECT_EQ(stored(Keys::arrowStyle), QStringLiteral("single"));
    EXPECT_EQ(stored(Keys::arrowStrokeWidth), 7.0);
    EXPECT_FALSE(resetShown(Tool::arrow));
    EXPECT_TRUE(editor->document()->annotations.empty());

    // A remembered fill shows on the shape tool; the quick tool has no style of its own.
    settings.store().setValue(QLatin1String(Keys::shapeIsFilled), true);
    editor->setSelectedTool(Tool::shape);
    EXPECT_TRUE(inspector->button(Tool::shape, QStringLiteral("Fill"))->isChecked());
    editor->setSelectedTool(Tool::quick);
    EXPECT_FALSE(inspector->kind());
    EXPECT_EQ(inspecting.size(), 2);

    editor->setSelectedTool(Tool::text);
    addSelected(Stroke::make(StrokeKind::highlighter, {{10, 10}, {90, 10}}, Qt::yellow, 20));
    EXPECT_EQ(inspector->kind(), std::optional(Tool::highlighter));
    editor->removeAnnotation(editor->selectedAnnotationId());
    EXPECT_EQ(inspector->kind(), editor->selectedTool()) << "adding returns to pointer mode";

    // The swatch shown as chosen follows the current colour within one hundredth; a click on a
    // swatch chooses the annotation colour.
    editor->setSelectedTool(Tool::shape);
    AnnotationColorPicker* picker = inspector->colorPicker(Tool::shape);
    // chosen: the swatch shown as chosen, -1 for the custom button
    const struct { const char* name; QColor current; int chosen; } colours[] = {
        {"exact swatch", QColor::fromRgbF(1.0f, 0.62f, 0.04f), 1},
        {"just inside", QColor::fromRgbF(0.2f + 0.009f, 0.84f - 0.009f, 0.29f), 3},
        {"just outside", QColor::fromRgbF(0.2f, 0.84f, 0.29f + 0.011f), -1},
        {"opacity ignored", QColor::fromRgbF(0.75f, 0.35f, 0.95f, 0.3f), 6},
        {"other colour model", QColor::fromHsvF(0, 0, 1), 7},
        {"pure red is custom", QColor::fromRgbF(1, 0, 0), -1},
        {"the start colour is the red swatch", AppConstants::defaultAnnotationColor(), 0},
    };
    for (const auto& c : colours) {
        SCOPED_TRACE(c.name);
        picker->setColor(c.current);
        for (int i = 0; i < AnnotationColorPicker::swatchCount; ++i)
            EXPECT_EQ(picker->swatch(i)->isChecked(), i == c.chosen) << i;
        EXPECT_EQ(picker->customButton()->isChecked(), c.chosen < 0);
    }
    QTest::mouseClick(picker->swatch(4), Qt::LeftButton);
    EXPECT_EQ(editor->annotationColor(), swatch(4));
    EXPECT_EQ(AnnotationDefaultsStore(settings.store()).color(Keys::color), swatch(4));
    EXPECT_TRUE(picker->swatch(4)->isChecked());

    // The custom chooser does not hold up the event loop; cancelled, it keeps the colour, and
    // its colour arrives opaque.
    for (const bool accept : {false, true}) {
        QTest::mouseClick(picker->customButton(), Qt::LeftButton);
        ASSERT_TRUE(picker->customDialog());
        EXPECT_TRUE(picker->customDialog()->isVisible());
        picker->customDialog()->setCurrentColor(QColor::fromHsvF(0.5f, 0.5f, 0.5f, 0.5f));
        accept ? picker->customDialog()->accept() : picker->customDialog()->reject();
        ASSERT_TRUE(waitUntil([&] { return !picker->customDialog(); }));
        EXPECT_EQ(editor->annotationColor().rgba(), accept ? QColor::fromHsvF(0.5f, 0.5f, 0.5f).rgba() : swatch(4).rgba());
    }
    EXPECT_TRUE(picker->customButton()->isChecked());
}

class Sidebar : public EditorUiFixture {
public:
    Sidebar() { showWindow(*sidebar, {272, 900}); }

    bool resetShown(const char* section) const
    {
        return sidebar->section(QLatin1String(section))->resetButton()->isVisibleTo(sidebar.get());
    }

    std::unique_ptr<StyleSidebar> sidebar = std::make_unique<StyleSidebar>(*editor, [](QSize) { return std::nullopt; });
};

// A section's reset shows only while the section differs from its defaults, and restores them.
TEST_F(Sidebar, SectionResetsAndControlsWriteTheStyleAndFollowIt)
{
    using Styling = StylingConfiguration;
    using Change = std::function<void(Styling&)>;
    const auto style = [](Change change) { return [change](Sidebar& f) { f.editStyling(change); }; };
    const struct {
        const char* name;
        std::function<void(Sidebar&)> change;
        const char* section;
        bool offersReset;
        Change kept = {}; // what the section's reset leaves of the change
    } cases[] = {
        {"corner radius", style([](Styling& s) { s.cornerRadius = 30; }), "Card", true},
        {"padding with a stored frame",
         [](Sidebar& f) {
             f.editor->setPadding(40);
             f.editor->setExportFrameRect(QRectF(10, 10, 300, 200));
         },
         "Card", true},
        {"shadow opacity, keeping offset x",
         style([](Styling& s) {
             s.shadow.opacity = 0.8;
             s.shadow.offsetX = 5;
         }),
         "Shadow", true, [](Styling& s) { s.shadow.offsetX = 5; }},
        {"only offset x differs", style([](Styling& s) { s.shadow.offsetX = 5; }), "Shadow", false},
        {"only the shadow colour differs", style([](Styling& s) { s.shadow.color = CodableColor{1, 0, 0, 1}; }), "Shadow", false},
        {"dimming enabled", [](Sidebar& f) { f.sidebar->dimToggle()->click(); }, "Focus", true},
        {"dimming amount", style([](Styling& s) { s.dimming.amount = 0.7; }), "Focus", true},
        {"browser address", [](Sidebar& f) { f.editor->setBrowserChrome({.urlText = QStringLiteral("example.com")}); }, "Browser", true},
        {"the background has no section reset", [](Sidebar& f) { f.editor->setBackground(BackgroundPreset::sunset); }, "Card", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        editor->resetAllStyling();
        editor->setBrowserChrome({});
        Styling expected = editor->styling();
        c.change(*this);
        ASSERT_EQ(resetShown(c.section), c.offersReset);
        if (!c.offersReset)
            continue;
        sidebar->section(QLatin1String(c.section))->resetButton()->click();
        EXPECT_FALSE(resetShown(c.section));
        if (c.kept)
            c.kept(expected);
        EXPECT_EQ(editor->styling(), expected);
        EXPECT_EQ(editor->browserChrome(), BrowserChromeSettings{});
        EXPECT_FALSE(editor->exportFrameRect().has_value());
    }
    // Reset All is offered only while something differs.
    ChromeButton* reset = sidebar->resetAllButton();
    editor->toggleProjection();
    EXPECT_TRUE(reset->isEnabled());
    reset->click();
    EXPECT_FALSE(reset->isEnabled());

    // A click on a track sets that slider's value; padding goes through the editor's own
    // setter, which drops a stored export frame. The focus hint shows until there is a shape.
    // The backgrounds: wallpaper, transparent, then the presets in their order; the wallpaper's
    // thumbnail loads off the GUI thread. The address applies once the typing pauses; the
    // browser controls follow the frame and change it.
    editor->loadImage(solidImage({400, 300}), SourceType::file, false);
    editor->setExportFrameRect(QRectF(0, 0, 300, 200));
    for (const auto& [name, keepsFrame] : {std::pair{"Opacity", true}, {"Padding", false}}) {
        LabeledSlider* slider = sidebar->slider(QLatin1String(name));
        const QPointF at(slider->trackRect().left() + 0.3 * slider->trackRect().width(), slider->trackRect().center().y());
        Pointer(slider).drag(at, at, Qt::LeftButton, {}, 0);
        EXPECT_EQ(editor->exportFrameRect().has_value(), keepsFrame) << name;
    }
    EXPECT_NEAR(editor->styling().shadow.opacity, 0.3, 0.051); // the track width decides the exact step
    EXPECT_GT(editor->styling().padding, 0);

    EXPECT_TRUE(sidebar->focusHint()->isVisibleTo(sidebar.get()));
    editor->addAnnotation(ShapeAnnotation::make(QRectF(10, 10, 100, 80), Qt::red));
    EXPECT_FALSE(sidebar->focusHint()->isVisibleTo(sidebar.get()));

    const auto& swatches = sidebar->backgroundPicker()->swatches();
    ASSERT_EQ(swatches.size(), 2 + allBackgroundPresets().size());
    EXPECT_TRUE(swatches[2]->isSelected());
    swatches[6]->click(); // Sunset
    EXPECT_EQ(editor->styling().background, BackgroundStyle::preset(BackgroundPreset::sunset));
    EXPECT_TRUE(swatches[6]->isSelected());
    EXPECT_FALSE(swatches[2]->isSelected());
    swatches[1]->click();
    EXPECT_EQ(editor->styling().background, BackgroundStyle::transparent());
    swatches[0]->click();
    EXPECT_EQ(editor->styling().background, BackgroundStyle::wallpaper());

    QThread* gui = QThread::currentThread();
    std::atomic<bool> askedOnGuiThread = true;
    BackgroundPicker picker(*editor, [&](QSize) {
        askedOnGuiThread = QThread::currentThread() == gui;
        return std::optional<QImage>(solidImage({60, 60}));
    });
    picker.show();
    ASSERT_TRUE(waitUntil([&] { return picker.wallpaperSwatch()->hasPicture(); }));
    EXPECT_FALSE(askedOnGuiThread);

    editor->setBrowserChrome({true, BrowserChromeStyle::dark, true, QString()});
    QLineEdit* field = sidebar->browserSection()->addressField();
    field->setFocus();
    QTest::keyClicks(field, QStringLiteral("example.com/docs"));
    EXPECT_TRUE(editor->browserChrome().urlText.isEmpty());
    ASSERT_TRUE(waitUntil([&] { return !editor->browserChrome().urlText.isEmpty(); }));
    EXPECT_EQ(editor->browserChrome().urlText, QStringLiteral("example.com/docs"));

    editor->setBrowserChrome({true, BrowserChromeStyle::light, true, QStringLiteral("pelorin.app")});
    EXPECT_EQ(field->text(), QStringLiteral("pelorin.app"));
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
