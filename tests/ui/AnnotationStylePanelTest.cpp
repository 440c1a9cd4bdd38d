#include "UiFixture.h"

#include "core/AppConstants.h"
#include "editor/AnnotationDefaultsStore.h"
#include "ui/AnnotationColorPicker.h"
#include "ui/AnnotationStylePanel.h"
#include "ui/ChromeButton.h"
#include "ui/EditorWindow.h"
#include "ui/LabeledSlider.h"
#include "ui/StyleSection.h"
#include "ui/StyleSidebar.h"

#include <QColorDialog>
#include <QLabel>
#include <QSignalSpy>

namespace pelorin::test {
namespace {

namespace Keys = AnnotationDefaultKeys;
using Tool = AnnotationTool;

class Inspector : public EditorUiFixture {
public:
    Inspector()
    {
        editor->loadImage(solidImage({800, 500}), SourceType::file, false);
        showWindow(*inspector, {272, 820});
    }

    // Adds the annotation and selects it, the way a drawn one ends up.
    QUuid addSelected(Annotation annotation)
    {
        const QUuid id = annotationId(annotation);
        editor->addAnnotation(annotation);
        editor->setSelectedAnnotationId(id);
        return id;
    }

    const Annotation& only() const { return editor->document()->annotations.at(0); }
    bool resetShown(Tool kind) const { return inspector->section(kind)->resetButton()->isVisibleTo(inspector.get()); }
    QVariant stored(const char* key) { return settings.store().storedValue(QLatin1String(key)); }

    // Drags the slider's thumb to `value` with the mouse.
    static void slide(LabeledSlider* slider, double value)
    {
        const QRectF track = slider->trackRect();
        const QPoint from(int(track.left() + slider->geometry().thumbCenterX(slider->value())), int(track.center().y()));
        const QPoint to(int(std::round(track.left() + slider->geometry().thumbCenterX(value))), int(track.center().y()));
        QSignalSpy dragging(slider, &LabeledSlider::draggingChanged);
        QTest::mousePress(slider, Qt::LeftButton, {}, from);
        QTest::mouseMove(slider, to);
        QTest::mouseRelease(slider, Qt::LeftButton, {}, to);
        // One drag, so that its edits can be undone together.
        ASSERT_EQ(dragging.size(), 2);
        EXPECT_TRUE(dragging[0][0].toBool());
        EXPECT_FALSE(dragging[1][0].toBool());
    }

    static QColor swatch(int i) { return AnnotationColorPicker::swatchColors()[i]; }

    std::unique_ptr<AnnotationStylePanel> inspector = std::make_unique<AnnotationStylePanel>(*editor);
};

const QRectF box(100, 100, 200, 120);

Annotation aText()
{
    TextAnnotation t = TextAnnotation::make({120, 80}, Qt::red);
    t.text = QStringLiteral("Hello");
    return t;
}
Annotation anArrow() { return ArrowAnnotation::make({100, 100}, {300, 200}, Qt::red); }
Annotation aShape() { return ShapeAnnotation::make(box, QColor::fromRgbF(0.2f, 0.4f, 1.0f)); }
Annotation aRedaction() { return RedactAnnotation::make(box, Qt::black); }
template <class R>
Annotation with(Annotation a, const std::function<void(R&)>& change)
{
    change(std::get<R>(a));
    return a;
}

void clickButton(Inspector& f, Tool kind, const char* name)
{
    QAbstractButton* b = f.inspector->button(kind, QLatin1String(name));
    ASSERT_TRUE(b) << name;
    QTest::mouseClick(b, Qt::LeftButton, {}, b->rect().center());
}

// Each edit lands in the selected annotation in the document and in the defaults for its kind;
// the other annotation, below it, stays untouched.
TEST_F(Inspector, EditsChangeTheSelectedAnnotationAndRememberItsStyle)
{
    using T = TextAnnotation;
    using S = ShapeAnnotation;
    using R = RedactAnnotation;
    const auto text = [](const Annotation& a) { return std::get<T>(a); };
    const struct {
        const char* name;
        Annotation annotation;
        std::function<void(Inspector&)> act;
        std::function<void(const Annotation&)> check;
        const char* key;
        QVariant remembered;
    } cases[] = {
        {"text size", aText(), [](Inspector& f) { slide(f.inspector->slider(Tool::text, "Size"), 40); },
         [&](const Annotation& a) { EXPECT_EQ(text(a).fontSize, 40); EXPECT_EQ(text(a).text, QStringLiteral("Hello")); },
         Keys::textFontSize, 40.0},
        {"semibold becomes bold", aText(), [](Inspector& f) { clickButton(f, Tool::text, "Bold"); },
         [&](const Annotation& a) { EXPECT_EQ(text(a).fontWeight, FontWeight::bold); }, Keys::textFontWeight, QStringLiteral("bold")},
        {"bold becomes regular", with<T>(aText(), [](T& x) { x.fontWeight = FontWeight::bold; }),
         [](Inspector& f) { clickButton(f, Tool::text, "Bold"); },
         [&](const Annotation& a) { EXPECT_EQ(text(a).fontWeight, FontWeight::regular); }, Keys::textFontWeight, QStringLiteral("regular")},
        {"design", aText(), [](Inspector& f) { clickButton(f, Tool::text, "Mono"); },
         [&](const Annotation& a) { EXPECT_EQ(text(a).design, TextDesign::mono); }, Keys::textDesign, QStringLiteral("mono")},
        {"outline colour", aText(), [](Inspector& f) { f.inspector->outlineColorPicker()->swatch(5)->click(); },
         [&](const Annotation& a) { EXPECT_EQ(text(a).strokeColor, swatch(5)); EXPECT_EQ(text(a).color, QColor(Qt::red)); },
         Keys::textStrokeColor, swatch(5)},
        {"the plate is white, then the chosen colour", aText(),
         [](Inspector& f) {
             clickButton(f, Tool::text, "Plate");
             EXPECT_EQ(std::get<T>(f.editor->document()->annotations[1]).backgroundColor, QColor(Qt::white));
             f.inspector->plateColorPicker()->swatch(2)->click();
         },
         [&](const Annotation& a) { EXPECT_EQ(text(a).backgroundColor, swatch(2)); EXPECT_EQ(text(a).color, QColor(Qt::red)); },
         Keys::textFontSize, 24.0},
        {"arrow style", anArrow(), [](Inspector& f) { clickButton(f, Tool::arrow, "Double"); },
         [](const Annotation& a) {
             EXPECT_EQ(std::get<ArrowAnnotation>(a).style, ArrowStyle::double_);
             EXPECT_EQ(std::get<ArrowAnnotation>(a).endPoint, QPointF(300, 200));
         },
         Keys::arrowStyle, QStringLiteral("double")},
        {"shape type", aShape(), [](Inspector& f) { clickButton(f, Tool::shape, "Circle"); },
         [](const Annotation& a) { EXPECT_EQ(std::get<S>(a).shapeType, ShapeType::circle); EXPECT_EQ(std::get<S>(a).size, box.size()); },
         Keys::shapeType, QStringLiteral("circle")},
        {"shape thickness stops at 1", aShape(), [](Inspector& f) { slide(f.inspector->slider(Tool::shape, "Thickness"), 0); },
         [](const Annotation& a) { EXPECT_EQ(std::get<S>(a).strokeWidth, 1); }, Keys::shapeStrokeWidth, 1.0},
        {"the fill tints with the stroke colour", aShape(), [](Inspector& f) { clickButton(f, Tool::shape, "Fill"); },
         [](const Annotation& a) {
             const S& s = std::get<S>(a);
             ASSERT_TRUE(s.fillColor);
             EXPECT_EQ(s.fillColor->rgb(), s.color.rgb());
             EXPECT_NEAR(s.fillColor->alphaF(), 0.25, 0.001);
         },
         Keys::shapeIsFilled, true},
        {"redaction corner radius stops at 24", aRedaction(),
         [](Inspector& f) { slide(f.inspector->slider(Tool::redact, "Corner Radius"), 30); },
         [](const Annotation& a) { EXPECT_EQ(std::get<R>(a).cornerRadius, 24); }, Keys::redactCornerRadius, 24.0},
        // The style of a redaction is its own: the next one drawn with Redact is solid again.
        {"redaction becomes blurred", aRedaction(), [](Inspector& f) { clickButton(f, Tool::redact, "Blur"); },
         [](const Annotation& a) { EXPECT_EQ(std::get<R>(a).redactStyle, RedactStyle::blur); }, Keys::redactCornerRadius, 4.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        editor->loadImage(solidImage({800, 500}), SourceType::file, false);
        const RedactAnnotation bystander = RedactAnnotation::make(QRectF(0, 0, 40, 40), Qt::black);
        editor->addAnnotation(bystander);
        addSelected(c.annotation);
        ASSERT_EQ(inspector->kind(), std::optional(Tool(c.annotation.index())));
        c.act(*this);
        c.check(editor->document()->annotations[1]);
        EXPECT_EQ(editor->document()->annotations[0], Annotation(bystander));
        if (c.remembered.typeId() == QMetaType::QColor)
            EXPECT_EQ(AnnotationDefaultsStore(settings.store()).color(c.key), c.remembered.value<QColor>());
        else
            EXPECT_EQ(stored(c.key), c.remembered);
    }
}

// With nothing selected, an armed tool shows the style its next annotation takes, and edits
// change only that remembered style.
TEST_F(Inspector, AnArmedToolEditsTheRememberedStyleOfItsKind)
{
    QSignalSpy inspecting(inspector.get(), &AnnotationStylePanel::inspectingChanged);
    EXPECT_FALSE(inspector->kind());
    settings.store().setValue(QLatin1String(Keys::arrowStrokeWidth), 9.0);
    editor->setSelectedTool(Tool::arrow);
    ASSERT_EQ(inspector->kind(), std::optional(Tool::arrow));
    EXPECT_EQ(inspecting.size(), 1);
    EXPECT_TRUE(inspector->defaultsHint()->isVisibleTo(inspector.get()));
    EXPECT_EQ(inspector->slider(Tool::arrow, QStringLiteral("Thickness"))->value(), 9);
    EXPECT_TRUE(resetShown(Tool::arrow));

    clickButton(*this, Tool::arrow, "Line");
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
}

TEST_F(Inspector, ASelectionIsInspectedRatherThanTheArmedTool)
{
    editor->setSelectedTool(Tool::text);
    addSelected(aRedaction());
    EXPECT_EQ(inspector->kind(), std::optional(Tool::redact));
    editor->removeAnnotation(annotationId(only()));
    EXPECT_EQ(inspector->kind(), editor->selectedTool()) << "adding returns to pointer mode";
}

// The reset shows only while the style differs from the defaults, restores them, and leaves
// what is not style (colour, text, number) alone; the reset style is what the next one takes.
TEST_F(Inspector, ResetsShowOnlyWhileTheStyleDiffersAndRestoreIt)
{
    using T = TextAnnotation;
    using S = ShapeAnnotation;
    using R = RedactAnnotation;
    using Stroke = StrokeAnnotation;
    const struct {
        const char* name;
        Annotation annotation;
        bool dirty;
        std::function<void(Inspector&, const Annotation& after)> check;
    } cases[] = {
        {"text outline colour alone", with<T>(aText(), [](T& x) { x.strokeColor = Qt::black; }), false, {}},
        {"text italic, heavy and outlined",
         with<T>(aText(),
                 [](T& x) {
                     x.isItalic = true;
                     x.fontWeight = FontWeight::heavy;
                     x.strokeWidth = 3;
                     x.strokeColor = Qt::black;
                     x.backgroundColor = Qt::yellow;
                 }),
         true,
         [](Inspector&, const Annotation& after) {
             EXPECT_EQ(std::get<T>(after).fontWeight, FontWeight::semibold);
             EXPECT_EQ(std::get<T>(after).strokeColor, QColor(Qt::white));
             EXPECT_EQ(std::get<T>(after).backgroundColor, QColor(Qt::yellow));
         }},
        {"arrow line", with<ArrowAnnotation>(anArrow(), [](ArrowAnnotation& a) { a.style = ArrowStyle::line; }), true,
         [](Inspector&, const Annotation& after) { EXPECT_EQ(std::get<ArrowAnnotation>(after).style, ArrowStyle::single); }},
        {"shape corner radius alone", with<S>(aShape(), [](S& s) { s.cornerRadius = 20; }), false, {}},
        {"a shape keeps and remembers its corner radius",
         with<S>(aShape(),
                 [](S& s) {
                     s.fillColor = Qt::green;
                     s.strokeWidth = 11;
                     s.cornerRadius = 20;
                 }),
         true,
         [](Inspector& f, const Annotation& after) {
             EXPECT_FALSE(std::get<S>(after).fillColor);
             EXPECT_EQ(std::get<S>(after).cornerRadius, 20);
             EXPECT_EQ(f.stored(Keys::shapeStrokeWidth), 5.0);
             EXPECT_EQ(f.stored(Keys::shapeCornerRadius), 20.0);
             EXPECT_EQ(f.stored(Keys::shapeIsFilled), false);
         }},
        {"redaction style alone", with<R>(aRedaction(), [](R& r) { r.redactStyle = RedactStyle::blur; }), false, {}},
        {"a redaction's radius, keeping its style",
         with<R>(aRedaction(),
                 [](R& r) {
                     r.cornerRadius = 0;
                     r.redactStyle = RedactStyle::pixelate;
                 }),
         true,
         [](Inspector&, const Annotation& after) {
             EXPECT_EQ(std::get<R>(after).cornerRadius, 4);
             EXPECT_EQ(std::get<R>(after).redactStyle, RedactStyle::pixelate);
         }},
        {"pen width", Stroke::make(StrokeKind::pen, {{10, 10}, {90, 40}}, Qt::red, 11), true,
         [](Inspector& f, const Annotation& after) {
             EXPECT_EQ(std::get<Stroke>(after).strokeWidth, 4);
             EXPECT_EQ(f.stored(Keys::penStrokeWidth), 4.0);
         }},
        {"highlighter width", Stroke::make(StrokeKind::highlighter, {{10, 10}, {90, 10}}, AppConstants::defaultHighlighterColor(), 36), true,
         [](Inspector& f, const Annotation& after) {
             EXPECT_EQ(std::get<Stroke>(after).strokeWidth, 20);
             EXPECT_EQ(f.stored(Keys::highlighterStrokeWidth), 20.0);
         }},
        {"step size", StepAnnotation::make({50, 50}, 4, Qt::red, 60), true,
         [](Inspector& f, const Annotation& after) {
             EXPECT_EQ(std::get<StepAnnotation>(after).size, 32);
             EXPECT_EQ(std::get<StepAnnotation>(after).number, 4);
             EXPECT_EQ(f.stored(Keys::stepSize), 32.0);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        editor->loadImage(solidImage({800, 500}), SourceType::file, false);
        addSelected(c.annotation);
        const Tool kind = *inspector->kind();
        ASSERT_EQ(resetShown(kind), c.dirty);
        if (!c.dirty)
            continue;
        inspector->section(kind)->resetButton()->click();
        EXPECT_FALSE(resetShown(kind));
        EXPECT_FALSE(EditorViewModel::annotationStyleIsDirty(only()));
        EXPECT_EQ(annotationColor(only()), annotationColor(c.annotation));
        c.check(*this, only());
        editor->setSelectedAnnotationId({});
        editor->setSelectedTool(kind);
        EXPECT_FALSE(resetShown(kind));
    }
}

// The swatch shown as chosen follows the current colour within one hundredth.
TEST(ColorPicker, ChosenSwatchFollowsTheCurrentColour)
{
    const struct {
        const char* name;
        QColor current;
        int chosen; // -1: the custom button
    } cases[] = {
        {"exact swatch", QColor::fromRgbF(1.0f, 0.62f, 0.04f), 1},
        {"just inside", QColor::fromRgbF(0.2f + 0.009f, 0.84f - 0.009f, 0.29f), 3},
        {"just outside", QColor::fromRgbF(0.2f, 0.84f, 0.29f + 0.011f), -1},
        {"opacity ignored", QColor::fromRgbF(0.75f, 0.35f, 0.95f, 0.3f), 6},
        {"other colour model", QColor::fromHsvF(0, 0, 1), 7},
        {"pure red is custom", QColor::fromRgbF(1, 0, 0), -1},
        {"the start colour is the red swatch", AppConstants::defaultAnnotationColor(), 0},
    };
    AnnotationColorPicker picker(QStringLiteral("Color"));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        picker.setColor(c.current);
        for (int i = 0; i < AnnotationColorPicker::swatchCount; ++i)
            EXPECT_EQ(picker.swatch(i)->isChecked(), i == c.chosen) << i;
        EXPECT_EQ(picker.customButton()->isChecked(), c.chosen < 0);
    }
}

TEST_F(Inspector, ColorPickerChoosesTheAnnotationColour)
{
    editor->setSelectedTool(Tool::shape);
    AnnotationColorPicker* picker = inspector->colorPicker(Tool::shape);
    EXPECT_TRUE(picker->swatch(0)->isChecked()); // the start colour, red
    QTest::mouseClick(picker->swatch(4), Qt::LeftButton);
    EXPECT_EQ(editor->annotationColor(), swatch(4));
    EXPECT_EQ(AnnotationDefaultsStore(settings.store()).color(Keys::color), swatch(4));
    EXPECT_TRUE(picker->swatch(4)->isChecked());
    EXPECT_FALSE(picker->customButton()->isChecked());

    // The custom chooser does not hold up the event loop, and its colour arrives opaque.
    QTest::mouseClick(picker->customButton(), Qt::LeftButton);
    ASSERT_TRUE(picker->customDialog());
    EXPECT_TRUE(picker->customDialog()->isVisible());
    picker->customDialog()->setCurrentColor(QColor::fromHsvF(0.5f, 0.5f, 0.5f, 0.5f));
    picker->customDialog()->accept();
    EXPECT_EQ(editor->annotationColor().rgb(), QColor::fromHsvF(0.5f, 0.5f, 0.5f).rgb());
    EXPECT_EQ(editor->annotationColor().alphaF(), 1.0f);
    EXPECT_TRUE(picker->customButton()->isChecked());
    // Filling the remembered shape tints with the chosen colour.
    clickButton(*this, Tool::shape, "Fill");
    EXPECT_TRUE(stored(Keys::shapeIsFilled).toBool());
}

// The window's right-hand panel: the inspector while there is something to inspect, the
// framing style otherwise.
class InspectorInWindow : public EditorUiFixture {
public:
    InspectorInWindow() { showWindow(window, {1280, 820}); }
    EditorWindow window{*editor};
};

TEST_F(InspectorInWindow, TakesTheSidebarsPlaceWhileThereIsSomethingToInspect)
{
    editor->loadImage(solidImage({1200, 750}, 1.0, QColor(40, 90, 160)), SourceType::file, false);
    EXPECT_TRUE(window.sidebar()->isVisible());
    EXPECT_FALSE(window.inspector()->isVisible());

    TextAnnotation text = TextAnnotation::make({160, 120}, Inspector::swatch(5));
    text.text = QStringLiteral("Look here");
    text.isItalic = true;
    text.strokeWidth = 2;
    ShapeAnnotation shape = ShapeAnnotation::make(QRectF(500, 200, 300, 180), Inspector::swatch(1));
    shape.fillColor = QColor::fromRgbF(1.0f, 0.62f, 0.04f, 0.25f);
    ArrowAnnotation arrow = ArrowAnnotation::make({300, 500}, {480, 300}, Inspector::swatch(0));
    RedactAnnotation redact = RedactAnnotation::make(QRectF(850, 500, 220, 60), Qt::black);
    for (const Annotation& a : std::initializer_list<Annotation>{text, shape, arrow, redact}) {
        editor->addAnnotation(a);
        editor->setSelectedAnnotationId(annotationId(a));
        const Tool kind = *window.inspector()->kind();
        EXPECT_TRUE(window.inspector()->isVisible());
        EXPECT_FALSE(window.sidebar()->isVisible());
        EXPECT_TRUE(window.inspector()->section(kind)->isVisible());
        screenshot(&window, QStringLiteral("inspector-%1").arg(rawValue(kind)));
    }
    editor->setSelectedAnnotationId({});
    EXPECT_TRUE(window.sidebar()->isVisible());
    screenshot(&window, QStringLiteral("style-sidebar"));
    editor->setSelectedTool(Tool::text);
    EXPECT_TRUE(window.inspector()->isVisible());
    screenshot(&window, QStringLiteral("inspector-text-tool"));
    // Cancelling the custom chooser, open over the window, keeps the colour.
    AnnotationColorPicker* picker = window.inspector()->colorPicker(Tool::text);
    const QColor before = editor->annotationColor();
    QTest::mouseClick(picker->customButton(), Qt::LeftButton);
    ASSERT_TRUE(picker->customDialog());
    ASSERT_TRUE(QTest::qWaitForWindowExposed(picker->customDialog()));
    screenshot(picker->customDialog(), QStringLiteral("custom-color"));
    picker->customDialog()->reject();
    EXPECT_EQ(editor->annotationColor(), before);
}

} // namespace
} // namespace pelorin::test
