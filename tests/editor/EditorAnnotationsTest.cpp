#include "EditorFixture.h"

#include "detection/ElementDetectionService.h"
#include "editor/AnnotationDefaultsStore.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QSignalSpy>

#include <variant>

namespace pelorin::test {
namespace {

class EditorAnnotations : public EditorFixture {
protected:
    EditorAnnotations() { editor->loadImage(solidImage({800, 500}), SourceType::file, false); }

    const std::vector<Annotation>& list() const { return editor->document()->annotations; }
    template <class A>
    A find(const QUuid& id) const
    {
        for (const Annotation& a : list())
            if (annotationId(a) == id)
                return std::get<A>(a);
        ADD_FAILURE() << "no annotation " << id.toString().toStdString();
        return {};
    }
};

// An arrow end attaches to the shape it is dropped on or near, not to an arrow nor to the
// other end's target; removing a target pins the arrow where it is drawn.
TEST_F(EditorAnnotations, ArrowsAttachToShapesAndArePinnedWhenTheTargetGoes)
{
    const ShapeAnnotation box = editor->makeShapeAnnotation(QRectF(400, 200, 100, 80));
    const ShapeAnnotation other = editor->makeShapeAnnotation(QRectF(50, 220, 60, 40));
    ArrowAnnotation arrow = editor->makeArrowAnnotation({80, 240}, {0, 0});
    arrow.startAttachment = ArrowAttachment{other.id, {0.5, 0.5}};
    arrow.endAttachment = ArrowAttachment{box.id, {0.5, 0.5}};
    editor->addAnnotation(other);
    editor->addAnnotation(box);
    editor->addAnnotation(arrow);
    editor->addAnnotation(editor->makeArrowAnnotation({600, 400}, {700, 450}));
    struct Case { const char* name; QPointF at; std::optional<QUuid> excluding; std::optional<QUuid> expected; } cases[] = {
        {"8 points outside", {392, 240}, std::nullopt, box.id},
        {"9 points outside", {391, 240}, std::nullopt, std::nullopt},
        {"the other end's target", {450, 240}, box.id, std::nullopt},
    };
    for (const Case& c : cases) {
        const auto candidate = editor->arrowAttachCandidate(c.at, arrow.id, c.excluding);
        EXPECT_EQ(candidate ? std::optional(candidate->id) : std::nullopt, c.expected) << c.name;
    }

    const ArrowEndpoints drawn =
        resolvedEndpoints(find<ArrowAnnotation>(arrow.id), [&](const QUuid& id) { return editor->attachmentBounds(id); });
    editor->removeAnnotation(box.id);
    const auto pinned = find<ArrowAnnotation>(arrow.id);
    EXPECT_EQ(pinned.position, drawn.start);
    EXPECT_EQ(pinned.endPoint, drawn.end);
    EXPECT_FALSE(pinned.endAttachment);
    EXPECT_TRUE(pinned.startAttachment); // the other end stays tied
    // One undo brings back the shape and the attachment together.
    editor->undoAnnotationChange();
    EXPECT_TRUE(find<ArrowAnnotation>(arrow.id).endAttachment);
    EXPECT_EQ(list().size(), 4u);
}

// Every update is an undo step that redraws and is remembered as the kind's style. Selecting an
// annotation adopts its colour; a new colour recolours the selection, its fill as when drawn.
TEST_F(EditorAnnotations, UpdatesAreUndoableAndTheSelectionSharesItsColour)
{
    ArrowAnnotation arrow = editor->makeArrowAnnotation({0, 0}, {100, 100});
    editor->addAnnotation(arrow);
    QSignalSpy changed(editor.get(), &EditorViewModel::annotationsChanged);
    editor->annotationTextureDirty = false;
    arrow.strokeWidth = 11;
    arrow.style = ArrowStyle::double_;
    editor->updateDocumentAnnotation(arrow);
    EXPECT_EQ(changed.count(), 1);
    EXPECT_TRUE(editor->annotationTextureDirty);
    const ArrowAnnotation next = editor->makeArrowAnnotation({}, {});
    EXPECT_EQ(std::pair(next.strokeWidth, next.style), std::pair(11.0, ArrowStyle::double_));
    editor->undoAnnotationChange();
    EXPECT_EQ(find<ArrowAnnotation>(arrow.id).strokeWidth, 7);
    editor->redoAnnotationChange();
    EXPECT_EQ(find<ArrowAnnotation>(arrow.id).strokeWidth, 11);
    EXPECT_FALSE(editor->canRedoAnnotationChange());

    editor->setAnnotationColor(Qt::blue);
    ShapeAnnotation shape = editor->makeShapeAnnotation(QRectF(10, 10, 50, 50));
    shape.fillColor = QColor(0, 0, 255, 64);
    editor->addAnnotation(shape);
    editor->setSelectedAnnotationId({});
    editor->setAnnotationColor(Qt::green);
    editor->setSelectedAnnotationId(shape.id);
    EXPECT_EQ(editor->annotationColor(), QColor(Qt::blue));
    editor->setAnnotationColor(Qt::yellow);
    QColor fill(Qt::yellow);
    fill.setAlphaF(0.25f);
    const ShapeAnnotation recoloured = find<ShapeAnnotation>(shape.id);
    EXPECT_EQ(std::pair(recoloured.color, recoloured.fillColor), std::pair(QColor(Qt::yellow), std::optional(fill)));
}

// The frame adds a bar above the screenshot: annotations move down with the content, undo
// and redo keep them with it, and turning the frame off brings them back.
TEST_F(EditorAnnotations, TheBrowserFrameMovesAnnotationsWithTheContent)
{
    const ShapeAnnotation shape = editor->makeShapeAnnotation(QRectF(100, 100, 50, 50));
    editor->addAnnotation(shape);
    editor->addAnnotation(editor->makeRedactAnnotation(QRectF(10, 10, 20, 20)));
    BrowserChromeSettings chrome = editor->browserChrome();
    chrome.isEnabled = true;
    editor->setBrowserChrome(chrome);
    const double bar = editor->document()->image.height() - 500;
    ASSERT_GT(bar, 0);
    EXPECT_EQ(editor->document()->baseImage.height(), 500);
    EXPECT_EQ(find<ShapeAnnotation>(shape.id).position, QPointF(100, 100 + bar));
    editor->undoAnnotationChange(); // the frame, an undo step of its own
    EXPECT_FALSE(editor->browserChrome().isEnabled);
    EXPECT_EQ(find<ShapeAnnotation>(shape.id).position, QPointF(100, 100));
    editor->undoAnnotationChange();
    EXPECT_EQ(list().size(), 1u);
    EXPECT_EQ(find<ShapeAnnotation>(shape.id).position, QPointF(100, 100));
    editor->redoAnnotationChange();
    editor->redoAnnotationChange();
    EXPECT_EQ(list().size(), 2u);
    EXPECT_EQ(find<ShapeAnnotation>(shape.id).position, QPointF(100, 100 + bar)) << "redone edits land with the content";
    chrome.isEnabled = false;
    editor->setBrowserChrome(chrome);
    EXPECT_EQ(find<ShapeAnnotation>(shape.id).position, QPointF(100, 100));
    EXPECT_EQ(editor->document()->image.height(), 500);
}

TEST(EditorKeyMap, Decisions)
{
    using A = EditorKeyAction;
    const EditorKeyState doc{true, false}, typing{true, true}, empty{false, false};
    const struct { const char* name; EditorKeyEvent event; EditorKeyState state; EditorKeyDecision expected; } cases[] = {
        {"5 picks the quick tool", {Qt::Key_5}, doc, {A::chooseTool, AnnotationTool::quick}},
        {"6 picks pixelate", {Qt::Key_6}, doc, {A::chooseTool, AnnotationTool::pixelate}},
        {"9 picks the numbered step", {Qt::Key_9}, doc, {A::chooseTool, AnnotationTool::step}},
        {"0 is no tool", {Qt::Key_0}, doc, {}},
        {"digit while typing goes to the text", {Qt::Key_1}, typing, {}},
        {"digit without a document", {Qt::Key_2}, empty, {}},
        {"digit with Caps Lock", {Qt::Key_2, Qt::NoModifier, true}, doc, {}},
        {"keypad digit", {Qt::Key_2, Qt::KeypadModifier}, doc, {}},
        {"shifted digit", {Qt::Key_2, Qt::ShiftModifier}, doc, {}},
        {"Ctrl+W closes even while typing", {Qt::Key_W, Qt::ControlModifier}, typing, {A::closeEditor, std::nullopt}},
        {"Ctrl+W closes without a document", {Qt::Key_W, Qt::ControlModifier}, empty, {A::closeEditor, std::nullopt}},
        {"Ctrl+Shift+W passes", {Qt::Key_W, Qt::ControlModifier | Qt::ShiftModifier}, doc, {}},
        {"Ctrl+W with Caps Lock passes", {Qt::Key_W, Qt::ControlModifier, true}, doc, {}},
        {"Super+W passes", {Qt::Key_W, Qt::MetaModifier}, doc, {}},
        {"Ctrl+C is not the editor's", {Qt::Key_C, Qt::ControlModifier}, doc, {}},
        {"Escape without a document", {Qt::Key_Escape}, empty, {A::escape, std::nullopt}},
        {"Escape while typing", {Qt::Key_Escape}, typing, {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(decideEditorKey(c.event, c.state), c.expected) << c.name;
}

// A digit toggles its tool. Escape gives the quick chain its turn, then drops the tool, then closes
// (hides, drops the document, lets the app decide whether it lives in the tray); Ctrl+W closes at once.
TEST_F(EditorAnnotations, KeysDigitsToggleToolsEscapeClearsFirstThenClosesAndCtrlWClosesAtOnce)
{
    const auto press = [&](int key, bool typing = false) { return editor->handleKeyPress({key}, typing); };
    editor->loadImage(solidImage({100, 100}), SourceType::clipboard, false);
    EXPECT_TRUE(press(Qt::Key_3));
    EXPECT_EQ(editor->selectedTool(), AnnotationTool::shape);
    EXPECT_TRUE(press(Qt::Key_3));
    EXPECT_FALSE(editor->selectedTool());
    EXPECT_FALSE(press(Qt::Key_1, true));
    EXPECT_FALSE(editor->selectedTool());

    int asked = 0;
    editor->setQuickChainEscapeHandler([&] { return ++asked == 1; });
    editor->setSelectedTool(AnnotationTool::arrow);
    for (const bool toolLeft : {true, false}) {
        EXPECT_TRUE(press(Qt::Key_Escape));
        EXPECT_EQ(editor->selectedTool().has_value(), toolLeft) << "the chain used the first";
    }
    EXPECT_TRUE(editor->hasDocument());
    EXPECT_EQ(host.hidden, 0);
    EXPECT_TRUE(press(Qt::Key_Escape));
    EXPECT_EQ(asked, 3);
    EXPECT_FALSE(editor->hasDocument());
    EXPECT_EQ(host.hidden, 1);
    EXPECT_TRUE(test::waitUntil([&] { return host.policySyncs == 1; }));

    editor->loadImage(solidImage({100, 100}), SourceType::clipboard, false);
    editor->setSelectedTool(AnnotationTool::arrow);
    EXPECT_TRUE(editor->handleKeyPress({Qt::Key_W, Qt::ControlModifier}, false));
    EXPECT_FALSE(editor->hasDocument());
}

TEST_F(EditorAnnotations, ADetectionResultForAReplacedScreenshotIsDropped)
{
    // A light screen with one dark-bordered card, so the detector has something to find.
    const auto cardScreen = [](QRect card) {
        QImage image(800, 500, QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter p(&image);
        p.setPen(QPen(QColor(90, 90, 90), 2));
        p.drawRect(card);
        return image;
    };
    const auto waitForDetection = [&] {
        ASSERT_TRUE(QTest::qWaitFor([&] { return editor->pendingElementDetection().isFinished(); }, 20000));
        QCoreApplication::processEvents();
    };
    const QImage first = cardScreen({100, 100, 300, 200});
    const QImage second = cardScreen({450, 250, 200, 150});

    editor->loadImage(first, SourceType::clipboard, false);
    editor->setSelectedTool(AnnotationTool::quick);
    EXPECT_TRUE(editor->isDetectingElements());

    // A new screenshot arrives while the first is still being looked at.
    editor->loadImage(second, SourceType::clipboard, false);
    waitForDetection();
    EXPECT_TRUE(editor->localDetectedElements().empty());
    EXPECT_FALSE(editor->localDetectionDocumentId().has_value()) << "the new screenshot is looked at afresh";
    EXPECT_FALSE(editor->isDetectingElements());

    // The quick tool on the new screenshot finds its own card, once.
    editor->setSelectedTool(AnnotationTool::quick);
    waitForDetection();
    const std::vector<QRectF> expected = ElementDetectionService::detect(second, QSizeF(800, 500));
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(editor->quickAnnotationElements(), expected);
    editor->setSelectedTool(std::nullopt);
    editor->setSelectedTool(AnnotationTool::quick);
    EXPECT_FALSE(editor->isDetectingElements()) << "the cached list is reused";

    // Components from the analysis server take precedence over what was found here.
    DetectedComponent component;
    component.x1 = 10, component.y1 = 20, component.x2 = 110, component.y2 = 60;
    editor->setDetectedComponents({component});
    EXPECT_EQ(editor->quickAnnotationElements(), std::vector<QRectF>{QRectF(10, 20, 100, 40)});
}

namespace Keys = AnnotationDefaultKeys;

QString key(const char* name)
{
    return QString::fromLatin1(name);
}

// Numbers are read only when numbers, colours only as four numbers with an alpha within 0…1, each
// twice: as written, and after a restart turned whole numbers into integers. Unknown enumerations fall back.
TEST(AnnotationDefaultsStoreTest, StoredValuesAreReadOnlyWhenWellFormed)
{
    const std::optional<QColor> none;
    struct Case { const char* name; const char* key; QVariant stored; std::variant<double, std::optional<QColor>> expected; };
    const Case cases[] = {
        {"missing number", Keys::textFontSize, {}, 24.0},
        {"zero", Keys::textFontSize, 0, 0.0},
        {"fraction", Keys::textFontSize, 12.5, 12.5},
        {"negative", Keys::textFontSize, -3, -3.0},
        {"numeric string", Keys::textFontSize, QStringLiteral("30"), 24.0},
        {"bool", Keys::textFontSize, true, 24.0},
        {"list", Keys::textFontSize, QVariantList{1, 2}, 24.0},
        {"missing colour", Keys::color, {}, none},
        {"whole numbers", Keys::color, QVariantList{1, 0, 0, 1}, QColor::fromRgbF(1, 0, 0, 1)},
        {"fractions", Keys::color, QVariantList{0.5, 0.25, 1.0, 0.5}, QColor::fromRgbF(0.5f, 0.25f, 1, 0.5f)},
        {"three numbers", Keys::color, QVariantList{1, 0, 0}, none},
        {"five numbers", Keys::color, QVariantList{1, 0, 0, 1, 1}, none},
        {"strings", Keys::color, QVariantList{QStringLiteral("1"), QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("1")}, none},
        {"a bool among numbers", Keys::color, QVariantList{1, 0, true, 1}, none},
        {"alpha above one", Keys::color, QVariantList{1, 0.2, 0.2, 2}, none},
        {"negative alpha", Keys::color, QVariantList{1, 0.2, 0.2, -0.5}, none},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempSettings settings;
        if (c.stored.isValid())
            settings.store().setValue(key(c.key), c.stored);
        const auto check = [&c](const AnnotationDefaultsStore& store) {
            if (const double* number = std::get_if<double>(&c.expected)) {
                EXPECT_EQ(store.number(c.key, 24), *number);
                EXPECT_EQ(store.number(c.key), *number) << "the key's own default";
            } else {
                EXPECT_EQ(store.color(c.key), std::get<std::optional<QColor>>(c.expected));
            }
        };
        check(AnnotationDefaultsStore(settings.store()));
        check(AnnotationDefaultsStore(settings.reopen()));
    }
    for (const QVariant& stored : {QVariant(), QVariant(QStringLiteral("hexagon")), QVariant(QStringLiteral("Bold")), QVariant(2)}) {
        SCOPED_TRACE(stored.toString().toStdString());
        TempSettings settings;
        for (const char* name : {Keys::textDesign, Keys::arrowStyle, Keys::shapeType, Keys::textFontWeight}) {
            if (stored.isValid())
                settings.store().setValue(key(name), stored);
        }
        const AnnotationDefaultsStore store(settings.reopen());
        EXPECT_EQ(store.textDesign(), TextDesign::standard);
        EXPECT_EQ(store.arrowStyle(), ArrowStyle::single);
        EXPECT_EQ(store.shapeType(), ShapeType::roundedRectangle);
        EXPECT_EQ(store.textFontWeight(), FontWeight::semibold);
    }
}

TEST(AnnotationDefaultsStoreTest, RecordWritesTheStyleOfItsKindOnly)
{
    // Colours are written in sRGB, whatever the colour's own model, and an invalid colour writes nothing.
    const QColor hsv = QColor::fromHsvF(0.6f, 0.5f, 0.8f, 0.75f);
    TempSettings colours;
    AnnotationDefaultsStore written(colours.store());
    written.setColor(hsv, Keys::color);
    written.setColor(QColor(), Keys::color);
    EXPECT_EQ(AnnotationDefaultsStore(colours.reopen()).color(Keys::color).value_or(QColor()).rgba(), hsv.rgba());

    TextAnnotation text = TextAnnotation::make({10, 10}, Qt::green);
    text.fontSize = 0;
    text.fontWeight = FontWeight::heavy;
    text.design = TextDesign::mono;
    text.isItalic = true;
    text.strokeWidth = 3;
    text.strokeColor = QColor::fromRgbF(0, 0, 1, 1);
    text.backgroundColor = Qt::black;
    text.padding = 20;

    ArrowAnnotation arrow = ArrowAnnotation::make({0, 0}, {10, 10}, Qt::green);
    arrow.strokeWidth = 12;
    arrow.style = ArrowStyle::double_;

    ShapeAnnotation shape = ShapeAnnotation::make({0, 0, 40, 40}, Qt::green);
    shape.strokeWidth = 2;
    shape.shapeType = ShapeType::circle;
    shape.cornerRadius = 0;
    shape.fillColor = QColor(0, 255, 0, 64);

    RedactAnnotation redact = RedactAnnotation::make({0, 0, 40, 40}, Qt::green);
    redact.cornerRadius = 10;
    redact.redactStyle = RedactStyle::pixelate;

    struct Case { const char* name; Annotation annotation; QJsonObject expected; };
    const Case cases[] = {
        {"text", text,
         {{key(Keys::textFontSize), 0}, {key(Keys::textFontWeight), QStringLiteral("semibold")},
          {key(Keys::textDesign), QStringLiteral("mono")}, {key(Keys::textIsItalic), true},
          {key(Keys::textStrokeWidth), 3}, {key(Keys::textStrokeColor), QJsonArray{0, 0, 1, 1}}}},
        {"arrow", arrow, {{key(Keys::arrowStrokeWidth), 12}, {key(Keys::arrowStyle), QStringLiteral("double")}}},
        {"shape", shape,
         {{key(Keys::shapeStrokeWidth), 2}, {key(Keys::shapeType), QStringLiteral("circle")},
          {key(Keys::shapeCornerRadius), 0}, {key(Keys::shapeIsFilled), true}}},
        {"redaction", redact, {{key(Keys::redactCornerRadius), 10}}},
        {"pen, its colour left to the shared key", StrokeAnnotation::make(StrokeKind::pen, {{0, 0}, {5, 5}}, Qt::green, 9),
         {{key(Keys::penStrokeWidth), 9}}},
        {"highlighter, with its own colour",
         StrokeAnnotation::make(StrokeKind::highlighter, {{0, 0}, {5, 5}}, QColor::fromRgbF(0, 1, 0, 1), 30),
         {{key(Keys::highlighterStrokeWidth), 30}, {key(Keys::highlighterColor), QJsonArray{0, 1, 0, 1}}}},
        {"step", StepAnnotation::make({10, 10}, 3, Qt::green, 48), {{key(Keys::stepSize), 48}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempSettings settings;
        AnnotationDefaultsStore(settings.store()).record(c.annotation);
        EXPECT_EQ(QJsonDocument::fromJson(readBytes(settings.path())).object(), c.expected);
    }
}

} // namespace
} // namespace pelorin::test
