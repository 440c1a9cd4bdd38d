#include "UiFixture.h"

#include <QPainter>
#include <QStyleHints>

#include <algorithm>

namespace pelorin::test {
namespace {

// Drives the overlay with real pointer and key events through the canvas window. Document
// points map to the canvas through the overlay's own mapping.
class Overlay : public CanvasFixture {
public:
    Overlay()
        : pointer(canvas.get())
    {
        open({800, 500}, 1.0, QColor(238, 240, 244));
        editor->setZoomLevel(1.0);
        canvas->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(canvas.get()));
        overlay = canvas->annotationOverlay();
    }

    QPointF at(QPointF doc) const { return overlay->toView(doc); }
    // The field takes the focus when it shows: it becomes its window's focus widget. Whether
    // that window is the X server's active one is up to the server (other test programs share
    // it), so keys go to the window's focus widget directly.
    bool fieldHasFocus()
    {
        return waitUntil([&] { return canvas->window()->focusWidget() == overlay->textField(); }, 3000);
    }
    QWidget* keyTarget() const
    {
        QWidget* focused = canvas->window()->focusWidget();
        return focused ? focused : canvas.get();
    }
    // Each click waits out the double-click time first: on a fast machine two quick clicks
    // are one double click, which is not what these tests mean.
    void settle() { QTest::qWait(QGuiApplication::styleHints()->mouseDoubleClickInterval() + 50); }
    void click(QPointF doc, Qt::KeyboardModifiers mods = {})
    {
        settle();
        pointer.drag(at(doc), at(doc), Qt::LeftButton, mods, 0);
    }
    void drag(QPointF from, QPointF to, Qt::KeyboardModifiers mods = {}) { pointer.drag(at(from), at(to), Qt::LeftButton, mods); }
    void doubleClick(QPointF doc)
    {
        settle();
        QTest::mouseDClick(pointer.window(), Qt::LeftButton, {}, pointer.toWindow(at(doc)));
    }
    void type(const QString& text) { QTest::keyClicks(keyTarget(), text); }
    void key(Qt::Key k, Qt::KeyboardModifiers mods = {}) { QTest::keyClick(keyTarget(), k, mods); }
    bool editing() const { return !overlay->editingTextId().isNull(); }

    const std::vector<Annotation>& list() const { return editor->document()->annotations; }
    template <class A>
    A get(const QUuid& id) const
    {
        for (const Annotation& a : list())
            if (annotationId(a) == id)
                return std::get<A>(a);
        ADD_FAILURE() << "no such annotation";
        return {};
    }
    QUuid add(const Annotation& a)
    {
        editor->addAnnotation(a);
        return annotationId(a);
    }

    void shot(const char* name) { screenshot(canvas.get(), QLatin1String(name)); }

    Pointer pointer;
    AnnotationOverlayView* overlay = nullptr;
};

// Each step is one above the highest on the document, whatever was deleted or undone before.
TEST_F(Overlay, StepsNumberThemselves)
{
    editor->selectTool(AnnotationTool::step);
    const auto place = [&](QPointF at) {
        click(at);
        return std::get<StepAnnotation>(list().back());
    };
    const auto numbers = [&] {
        std::vector<int> out;
        for (const Annotation& a : list())
            out.push_back(std::get<StepAnnotation>(a).number);
        return out;
    };
    place({100, 100});
    place({200, 100});
    const StepAnnotation third = place({300, 100});
    EXPECT_EQ(numbers(), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(editor->selectedTool(), AnnotationTool::step);
    EXPECT_EQ(third.position, QPointF(300 - 16, 100 - 16)) << "centred on the click";

    editor->removeAnnotation(std::get<StepAnnotation>(list()[1]).id);
    EXPECT_EQ(place({400, 100}).number, 4) << "after deleting 2";
    editor->undoAnnotationChange();
    editor->removeAnnotation(third.id);
    EXPECT_EQ(place({400, 200}).number, 2) << "after undoing 4 and deleting 3";

    // The number is typed like a text; anything but a number above 0 keeps it.
    editor->selectTool(std::nullopt);
    for (const auto& [typed, expected] : {std::pair{"12", 12}, {"x", 12}, {"0", 12}}) {
        doubleClick({400, 200});
        ASSERT_TRUE(fieldHasFocus());
        overlay->textField()->selectAll();
        type(QLatin1String(typed));
        key(Qt::Key_Return);
        EXPECT_EQ(std::get<StepAnnotation>(list().back()).number, expected) << typed;
    }
    EXPECT_EQ(nextStepNumber(list()), 13);
}

// Several annotations are chosen by a rubber band, Shift+click, all at once; moved, nudged,
// duplicated and deleted together, each one step to undo.
TEST_F(Overlay, SeveralAnnotationsActTogether)
{
    const QUuid a = add(editor->makeShapeAnnotation(QRectF(100, 100, 80, 60)));
    const QUuid b = add(editor->makeStepAnnotation({300, 150}));
    const QUuid c = add(StrokeAnnotation::make(StrokeKind::pen, {{100, 300}, {200, 340}}, Qt::red, 4));
    const QUuid far = add(editor->makeRedactAnnotation(QRectF(600, 400, 60, 40)));
    editor->setSelectedAnnotationId({});
    const auto sorted = [](std::vector<QUuid> ids) {
        std::sort(ids.begin(), ids.end());
        return ids;
    };
    const auto selection = [&] { return sorted(editor->selectedAnnotationIds()); };

    drag({80, 80}, {350, 360}); // over empty card, in pointer mode
    EXPECT_EQ(selection(), sorted({a, b, c}));
    shot("multi-selection");
    click({140, 101}, Qt::ShiftModifier);
    EXPECT_EQ(selection(), sorted({b, c})) << "Shift+click takes one out";
    click({630, 420}, Qt::ShiftModifier);
    EXPECT_EQ(selection(), sorted({b, c, far})) << "and puts one in";

    const std::vector<Annotation> before = list();
    drag({300, 150}, {340, 170}); // the step's body drags the three
    EXPECT_EQ(get<StepAnnotation>(b).position, QPointF(284 + 40, 134 + 20));
    EXPECT_EQ(get<RedactAnnotation>(far).position, QPointF(640, 420));
    EXPECT_EQ(get<ShapeAnnotation>(a).position, QPointF(100, 100)) << "not selected";
    key(Qt::Key_Left, Qt::ShiftModifier);
    key(Qt::Key_Up);
    EXPECT_EQ(get<StrokeAnnotation>(c).position, QPointF(130, 319));
    for (int i = 0; i < 3; ++i)
        editor->undoAnnotationChange();
    EXPECT_EQ(list(), before) << "a drag and two nudges: three steps";

    editor->setAnnotationColor(Qt::green);
    EXPECT_NE(get<ShapeAnnotation>(a).color, QColor(Qt::green)) << "not selected";
    EXPECT_EQ(get<RedactAnnotation>(far).color, QColor(Qt::green));
    EXPECT_EQ(get<StepAnnotation>(b).color, QColor(Qt::green));
    editor->undoAnnotationChange();
    EXPECT_EQ(list(), before) << "recolouring: one step";

    editor->selectAllAnnotations(); // Ctrl+A and Ctrl+D of the window
    EXPECT_EQ(selection(), sorted({a, b, c, far}));
    editor->duplicateSelection();
    ASSERT_EQ(list().size(), 8u);
    EXPECT_EQ(editor->selectedAnnotationIds().size(), 4u);
    EXPECT_EQ(std::get<ShapeAnnotation>(list()[4]).position, QPointF(110, 110));
    EXPECT_EQ(std::get<StepAnnotation>(list()[5]).number, 2) << "a copied step takes the next number";
    key(Qt::Key_Backspace);
    EXPECT_EQ(list(), before);
    editor->undoAnnotationChange();
    EXPECT_EQ(list().size(), 8u) << "deleting four: one step";
}

// From a 200 × 100 shape at (200, 150), each handle dragged by the case's movement. A click
// selects the uppermost annotation and empty space deselects; a selected redaction is
// resized by its corners and moved by its body.
TEST_F(Overlay, ClicksSelectAndHandlesResize)
{
    using H = ShapeHandlePosition;
    const struct {
        const char* name;
        H handle;
        QPointF move;
        QRectF expected;
    } cases[] = {
        {"top left", H::topLeft, {-20, -10}, {180, 140, 220, 110}},
        {"top right", H::topRight, {20, 10}, {200, 160, 220, 90}},
        {"bottom left", H::bottomLeft, {20, 10}, {220, 150, 180, 110}},
        {"bottom right", H::bottomRight, {20, 10}, {200, 150, 220, 110}},
        {"top", H::top, {30, -10}, {200, 140, 200, 110}},
        {"bottom", H::bottom, {30, 10}, {200, 150, 200, 110}},
        {"left", H::left, {-10, 30}, {190, 150, 210, 100}},
        {"right", H::right, {10, 30}, {200, 150, 210, 100}},
        // Past the 20-point minimum the box keeps 20 and moves with the handle.
        {"top left past the minimum", H::topLeft, {250, 150}, {450, 300, 20, 20}},
    };
    const QRectF r(200, 150, 200, 100);
    const QPointF handles[] = {r.topLeft(), r.topRight(), r.bottomLeft(), r.bottomRight(),
                               {300, 150},  {300, 250},   {200, 200},     {400, 200}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QUuid id = add(editor->makeShapeAnnotation(r));
        const QPointF from = handles[int(c.handle)];
        drag(from, from + c.move);
        EXPECT_EQ(boundingRect(get<ShapeAnnotation>(id), 1), c.expected);
        EXPECT_TRUE(editor->liveAnnotationRects().empty());
        editor->removeAnnotation(id);
    }
    const QUuid below = add(editor->makeRedactAnnotation(QRectF(100, 100, 200, 100)));
    const QUuid above = add(editor->makeRedactAnnotation(QRectF(200, 150, 200, 100)));
    editor->setSelectedAnnotationId({});
    click({250, 175});
    EXPECT_EQ(editor->selectedAnnotationId(), above);
    click({120, 120});
    EXPECT_EQ(editor->selectedAnnotationId(), below);
    drag({100, 200}, {60, 240}); // bottom-left corner, clear of the other
    EXPECT_EQ(boundingRect(get<RedactAnnotation>(below), 1), QRectF(60, 100, 240, 140));
    drag({120, 230}, {60, 130}); // the body moves
    EXPECT_EQ(boundingRect(get<RedactAnnotation>(below), 1), QRectF(0, 0, 240, 140));
    shot("redact-selected");
    click({600, 400});
    EXPECT_TRUE(editor->selectedAnnotationId().isNull());
}

// Arrow ends attach to a shape they are drawn or dragged onto (or released 8 points short
// of), never to another arrow, and follow it; deleting the shape leaves the end where it was.
TEST_F(Overlay, ArrowEndsAttachToShapesAndStayWhenTheShapeGoes)
{
    const QUuid box = add(editor->makeShapeAnnotation(QRectF(400, 100, 150, 100)));
    const QUuid label = add(editor->makeShapeAnnotation(QRectF(50, 300, 100, 60)));
    const struct {
        const char* name;
        QPointF from, to;
        std::optional<QUuid> start, end;
    } cases[] = {
        {"onto the box", {100, 150}, {470, 150}, std::nullopt, box},
        {"released 8 points short of it", {100, 120}, {392, 120}, std::nullopt, box},
        {"from the label to the box", {100, 330}, {460, 180}, label, box},
        {"wholly inside the box", {420, 120}, {520, 180}, std::nullopt, std::nullopt},
        {"onto nothing", {100, 150}, {300, 150}, std::nullopt, std::nullopt},
    };
    const auto target = [](const std::optional<ArrowAttachment>& end) { return end ? std::optional(end->targetId) : std::nullopt; };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        editor->setSelectedTool(AnnotationTool::arrow);
        pointer.press(at(c.from));
        pointer.move(at((c.from + c.to) / 2));
        pointer.move(at(c.to));
        if (c.end == box && c.start)
            shot("arrow-drawn-onto-box");
        pointer.release(at(c.to));
        const auto& arrow = std::get<ArrowAnnotation>(list().back());
        EXPECT_EQ(target(arrow.startAttachment), c.start);
        EXPECT_EQ(target(arrow.endAttachment), c.end);
        if (c.start)
            continue; // kept, from the label to the box
        editor->removeAnnotation(arrow.id);
    }
    const auto drawn = std::get<ArrowAnnotation>(editor->hitTestAnnotations()[2]);
    add(editor->makeArrowAnnotation({100, 400}, {300, 400}));
    const QUuid id = add(editor->makeArrowAnnotation({100, 150}, {250, 150}));

    // An end dragged to 8 points left of the box attaches, and the start dropped onto the
    // other arrow stays free.
    pointer.press(at({250, 150}));
    pointer.move(at({300, 150}));
    pointer.move(at({392, 150}));
    shot("arrow-attaching");
    pointer.release(at({392, 150}));
    EXPECT_EQ(target(get<ArrowAnnotation>(id).endAttachment), box);
    click({100, 150});
    drag({100, 150}, {200, 400});
    EXPECT_FALSE(get<ArrowAnnotation>(id).startAttachment);
    EXPECT_EQ(get<ArrowAnnotation>(id).position, QPointF(200, 400));

    // Moving the box takes the attached ends along; deleting it leaves them where they were drawn.
    click({430, 100});
    drag({430, 100}, {430, 200});
    EXPECT_EQ(boundingRect(get<ShapeAnnotation>(box), 1), QRectF(400, 200, 150, 100));
    const auto moved = std::get<ArrowAnnotation>(editor->hitTestAnnotations()[2]);
    EXPECT_GT(moved.endPoint.y(), drawn.endPoint.y() + 50);
    shot("shape-selected");
    key(Qt::Key_Delete);
    const auto pinned = get<ArrowAnnotation>(drawn.id);
    EXPECT_EQ(pinned.endPoint, moved.endPoint);
    EXPECT_FALSE(pinned.endAttachment);
    EXPECT_EQ(target(pinned.startAttachment), label);
    EXPECT_TRUE(editor->selectedAnnotationId().isNull());
}

TEST_F(Overlay, TextIsTypedInPlace)
{
    editor->selectTool(AnnotationTool::text);
    click({200, 200});
    ASSERT_TRUE(fieldHasFocus());
    type(QStringLiteral("Hello"));
    key(Qt::Key_Return, Qt::ShiftModifier);
    type(QStringLiteral("world 42"));
    shot("text-editing");
    key(Qt::Key_Return);
    ASSERT_FALSE(editing());
    const auto text = std::get<TextAnnotation>(list().back());
    EXPECT_EQ(text.text, QStringLiteral("Hello\nworld 42"));
    EXPECT_EQ(text.position, QPointF(200, 200));
    EXPECT_EQ(editor->selectedTool(), std::nullopt);
    shot("text-selected");

    // A double click edits it again; a whitespace-only text removes it.
    doubleClick({210, 210});
    ASSERT_TRUE(editing());
    ASSERT_TRUE(fieldHasFocus());
    overlay->textField()->selectAll();
    type(QStringLiteral("  "));
    key(Qt::Key_Return, Qt::ShiftModifier);
    key(Qt::Key_Return);
    EXPECT_TRUE(list().empty());
}

TEST_F(Overlay, QuickChainEndToEnd)
{
    editor->setLocalDetectedElements({QRectF(100, 100, 300, 200), QRectF(150, 150, 80, 40), QRectF(500, 300, 100, 60)});
    editor->selectTool(AnnotationTool::quick);
    EXPECT_EQ(overlay->quickStatusText(), QStringLiteral("Click an outlined element to annotate it"));

    click({170, 160}); // inside the large and the small element: the small one is outlined
    ASSERT_EQ(list().size(), 1u);
    const auto outline = std::get<ShapeAnnotation>(list()[0]);
    EXPECT_EQ(QRectF(outline.position, outline.size), QRectF(150, 150, 80, 40));
    EXPECT_EQ(outline.shapeType, ShapeType::rectangle);
    EXPECT_TRUE(editor->hasQuickChainEscapeHandler());
    pointer.move(at({300, 350}));
    shot("quick-chain-preview");

    click({300, 350}); // below and right of the outline: the label goes further out
    ASSERT_EQ(list().size(), 3u);
    ASSERT_TRUE(editing());
    EXPECT_FALSE(editor->hasQuickChainEscapeHandler());
    const auto label = std::get<TextAnnotation>(list()[1]);
    const auto arrow = std::get<ArrowAnnotation>(list()[2]);
    EXPECT_GT(label.position.x(), 300);
    EXPECT_EQ(arrow.startAttachment->targetId, label.id);
    EXPECT_EQ(arrow.endAttachment->targetId, outline.id);
    ASSERT_TRUE(fieldHasFocus());
    type(QStringLiteral("Save"));
    key(Qt::Key_Return);
    EXPECT_EQ(get<TextAnnotation>(label.id).text, QStringLiteral("Save"));
    EXPECT_EQ(editor->selectedTool(), AnnotationTool::quick);

    // A second chain, left of and above the third element; Esc on its label takes the label
    // away and leaves the arrow drawn where it was, still tied to its rectangle.
    click({550, 330});
    click({400, 200});
    ASSERT_EQ(list().size(), 6u);
    const auto second = std::get<ArrowAnnotation>(list()[5]);
    const auto secondLabel = std::get<TextAnnotation>(list()[4]);
    EXPECT_LT(secondLabel.position.x(), 400 - 80 + 1);
    EXPECT_LT(secondLabel.position.y(), 200 - 40);
    ASSERT_TRUE(fieldHasFocus());
    key(Qt::Key_Escape);
    ASSERT_EQ(list().size(), 5u);
    const auto kept = get<ArrowAnnotation>(second.id);
    EXPECT_FALSE(kept.startAttachment);
    EXPECT_EQ(kept.endAttachment->targetId, std::get<ShapeAnnotation>(list()[3]).id);

    // Esc while the chain waits for its label's place takes back only the waiting arrow.
    click({150, 110});
    ASSERT_EQ(list().size(), 6u);
    EXPECT_TRUE(editor->handleKeyPress({Qt::Key_Escape}, false));
    EXPECT_FALSE(overlay->quickPhase().rectId);
    EXPECT_EQ(list().size(), 6u);
    EXPECT_EQ(editor->selectedTool(), AnnotationTool::quick);
    editor->setLocalDetectedElements({});
    EXPECT_EQ(overlay->quickStatusText(), QStringLiteral("No elements detected in this screenshot"));
}

// Dragging out with a tool makes its annotation, selected; pen and highlighter stay armed
// for the next line. What the canvas then shows of every kind is what the export holds;
// pixelate shows the screenshot's own stripes in blocks.
TEST_F(Overlay, DrawnAnnotationsOfEveryKindExportAsShown)
{
    QImage image = solidImage({640, 400}, 1.0, QColor(235, 236, 240));
    {
        QPainter stripes(&image);
        for (int y = 230; y < 330; y += 6)
            stripes.fillRect(QRect(60, y, 240, 3), QColor(40, 40, 40));
    }
    editor->loadImage(image, SourceType::file, false);
    editor->setZoomLevel(1.0);
    editor->setAnnotationColor(QColor(30, 90, 220));
    const struct {
        const char* name;
        AnnotationTool tool;
        QPointF from, to;
        Qt::KeyboardModifiers mods;
        QRectF expected; // bounds; start and end of arrows
    } cases[] = {
        {"arrow", AnnotationTool::arrow, {40, 40}, {240, 140}, {}, QRectF({40, 40}, QPointF(240, 140))},
        {"shape dragged up and left", AnnotationTool::shape, {500, 180}, {300, 60}, {}, {300, 60, 200, 120}},
        {"tiny shape", AnnotationTool::shape, {600, 200}, {603, 204}, {}, {600, 200, 20, 20}},
        {"redaction", AnnotationTool::redact, {80, 250}, {160, 300}, {}, {80, 250, 80, 50}},
        {"pixelate", AnnotationTool::pixelate, {170, 240}, {290, 320}, {}, {170, 240, 120, 80}},
        // Strokes: the points' box grown by half the width (pen 4, highlighter 20).
        {"pen", AnnotationTool::pen, {420, 300}, {600, 380}, {}, {418, 298, 184, 84}},
        {"straight pen line", AnnotationTool::pen, {330, 200}, {480, 230}, Qt::ShiftModifier, {328, 198, 154, 34}},
        {"level highlight", AnnotationTool::highlighter, {40, 360}, {300, 380}, Qt::ShiftModifier, {30, 350, 280, 20}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        editor->selectTool(c.tool);
        const size_t before = list().size();
        drag(c.from, c.to, c.mods);
        ASSERT_EQ(list().size(), before + 1);
        const Annotation made = list().back();
        EXPECT_EQ(editor->selectedAnnotationId(), annotationId(made));
        const bool stroke = std::holds_alternative<StrokeAnnotation>(made);
        EXPECT_EQ(editor->selectedTool(), stroke ? std::optional(c.tool) : std::nullopt);
        if (const auto* arrow = std::get_if<ArrowAnnotation>(&made))
            EXPECT_EQ(QRectF(arrow->position, arrow->endPoint), c.expected);
        else
            EXPECT_EQ(boundingRect(made, 1), c.expected);
        if (const auto* redact = std::get_if<RedactAnnotation>(&made)) {
            EXPECT_EQ(redact->redactStyle, c.tool == AnnotationTool::pixelate ? RedactStyle::pixelate : RedactStyle::solid);
        }
        if (c.mods && stroke) {
            EXPECT_EQ(std::get<StrokeAnnotation>(made).points.size(), 2u);
        }
    }
    editor->selectTool(AnnotationTool::step);
    click({560, 40});
    editor->selectTool(AnnotationTool::text);
    click({380, 260});
    ASSERT_TRUE(fieldHasFocus());
    type(QStringLiteral("Export"));
    key(Qt::Key_Return);
    editor->setSelectedAnnotationId({});
    ASSERT_EQ(list().size(), 10u);
    waitForFrame();
    shot("every-kind");

    const std::optional<QImage> exported = editor->renderFinalImage();
    ASSERT_TRUE(exported.has_value());
    const QRect frame = editor->derivedExportFrame(QSizeF(canvasSize)).toAlignedRect();
    ASSERT_EQ(exported->size(), frame.size());
    const QImage out = exported->convertToFormat(QImage::Format_RGB32);
    long marked = 0;
    for (int y = 0; y < out.height(); ++y)
        for (int x = 0; x < out.width(); ++x)
            marked += out.pixelColor(x, y).blue() > out.pixelColor(x, y).red() + 60;
    EXPECT_GT(marked, 9000); // the blue annotations are in the export
    EXPECT_LT(compare(out, canvas->grab().toImage(), frame.topLeft(), 3, 48).share, 0.002);
    // Pixelated stripes: grey blocks, neither the stripes nor the redaction's fill.
    const QColor block = out.pixelColor(200, 270);
    EXPECT_GT(block.red(), 60);
    EXPECT_LT(block.red(), 220);
    EXPECT_EQ(out.pixelColor(200, 266), out.pixelColor(200, 268));
}

// Dimming keeps a drawn shape bright; a tilted card has no overlay until a tool is chosen.
TEST_F(Overlay, DimmingKeepsADrawnShapeBrightAndATiltedCardHasNoOverlay)
{
    editStyling([](StylingConfiguration& s) {
        s.dimming.isEnabled = true;
        s.dimming.amount = 0.6;
    });
    editor->selectTool(AnnotationTool::shape);
    pointer.press(at({300, 150}));
    pointer.move(at({400, 220}));
    pointer.move(at({500, 300}));
    // The hole follows the shape while it is dragged out.
    EXPECT_EQ(editor->currentDimState().holes.size(), 1u);
    pointer.release(at({500, 300}));
    waitForFrame();
    shot("dimmed-around-a-shape");
    const QImage frame = canvas->grabFramebuffer();
    const QColor inside = frame.pixelColor(at({400, 225}).toPoint());
    const QColor outside = frame.pixelColor(at({150, 400}).toPoint());
    EXPECT_GT(inside.lightness(), outside.lightness() + 60);

    editor->selectTool(std::nullopt);
    EXPECT_TRUE(overlay->isPresent());
    tiltBy(0.4f, 0);
    EXPECT_FALSE(overlay->isPresent());
    editor->selectTool(AnnotationTool::shape);
    EXPECT_TRUE(overlay->isPresent());
}

} // namespace
} // namespace pelorin::test
