#include "EditorFixture.h"

#include <QSignalSpy>

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
    // A shape with an arrow drawn from a point left of it into it, attached at the shape's end.
    std::pair<ShapeAnnotation, ArrowAnnotation> attachedPair()
    {
        const ShapeAnnotation box = editor->makeShapeAnnotation(QRectF(400, 200, 100, 80));
        const ShapeAnnotation other = editor->makeShapeAnnotation(QRectF(50, 220, 60, 40));
        ArrowAnnotation arrow = editor->makeArrowAnnotation({80, 240}, {0, 0});
        arrow.startAttachment = ArrowAttachment{other.id, {0.5, 0.5}};
        arrow.endAttachment = ArrowAttachment{box.id, {0.5, 0.5}};
        editor->addAnnotation(other);
        editor->addAnnotation(box);
        editor->addAnnotation(arrow);
        return {box, arrow};
    }
};

TEST_F(EditorAnnotations, RemovingATargetPinsAttachedArrowsWhereTheyAreDrawn)
{
    const auto [box, arrow] = attachedPair();
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
    EXPECT_EQ(list().size(), 3u);
}

TEST_F(EditorAnnotations, AttachCandidates)
{
    const auto [box, arrow] = attachedPair();
    const ArrowAnnotation free = editor->makeArrowAnnotation({600, 400}, {700, 450});
    editor->addAnnotation(free);
    struct Case {
        const char* name;
        QPointF at;
        std::optional<QUuid> excluding;
        std::optional<QUuid> expected;
    } cases[] = {
        {"inside", {450, 240}, std::nullopt, box.id},
        {"8 points outside", {392, 240}, std::nullopt, box.id},
        {"9 points outside", {391, 240}, std::nullopt, std::nullopt},
        {"over an arrow only", {650, 425}, std::nullopt, std::nullopt},
        {"the other end's target", {450, 240}, box.id, std::nullopt},
    };
    for (const Case& c : cases) {
        const auto candidate = editor->arrowAttachCandidate(c.at, arrow.id, c.excluding);
        EXPECT_EQ(candidate ? std::optional(candidate->id) : std::nullopt, c.expected) << c.name;
    }
}

// Every update is an undo step that redraws and is remembered as the kind's style; an edit run
// (a slider dragged) is one step.
TEST_F(EditorAnnotations, UpdatesAreRecordedAndUndoable)
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
    EXPECT_EQ(editor->makeArrowAnnotation({}, {}).strokeWidth, 11);
    EXPECT_EQ(editor->makeArrowAnnotation({}, {}).style, ArrowStyle::double_);
    editor->undoAnnotationChange();
    EXPECT_EQ(find<ArrowAnnotation>(arrow.id).strokeWidth, 7);

    ShapeAnnotation shape = editor->makeShapeAnnotation(QRectF(10, 10, 100, 100));
    editor->addAnnotation(shape);
    editor->beginAnnotationEditRun(shape.id);
    for (double width : {2.0, 4.0, 6.0, 8.0}) {
        shape.strokeWidth = width;
        editor->updateDocumentAnnotation(shape);
    }
    editor->endAnnotationEditRun();
    shape.strokeWidth = 12;
    editor->updateDocumentAnnotation(shape);
    editor->undoAnnotationChange();
    EXPECT_EQ(find<ShapeAnnotation>(shape.id).strokeWidth, 8);
    editor->undoAnnotationChange();
    EXPECT_EQ(find<ShapeAnnotation>(shape.id).strokeWidth, 5);
    editor->redoAnnotationChange();
    editor->redoAnnotationChange();
    EXPECT_EQ(find<ShapeAnnotation>(shape.id).strokeWidth, 12);
    EXPECT_FALSE(editor->canRedoAnnotationChange());
}

TEST_F(EditorAnnotations, SelectionAdoptsColourAndTheColourRecoloursTheSelection)
{
    editor->setAnnotationColor(Qt::blue);
    ShapeAnnotation shape = editor->makeShapeAnnotation(QRectF(10, 10, 50, 50));
    shape.fillColor = QColor(0, 0, 255, 64);
    editor->addAnnotation(shape);
    editor->setSelectedAnnotationId({});
    editor->setAnnotationColor(Qt::green);

    editor->setSelectedAnnotationId(shape.id);
    EXPECT_EQ(editor->annotationColor(), QColor(Qt::blue));
    editor->setAnnotationColor(Qt::yellow);
    EXPECT_EQ(find<ShapeAnnotation>(shape.id).color, QColor(Qt::yellow));
    QColor fill(Qt::yellow);
    fill.setAlphaF(0.25f);
    EXPECT_EQ(find<ShapeAnnotation>(shape.id).fillColor, fill) << "the fill follows, as when it was drawn";
}

TEST_F(EditorAnnotations, ChoosingAToolFlattensATiltedCard)
{
    editor->beginRotationGesture();
    editor->rotateBy(0.4f, 0.2f);
    editor->endRotationGesture();
    ASSERT_TRUE(editor->sceneState().isPerspective);
    editor->selectTool(AnnotationTool::arrow);
    EXPECT_EQ(editor->sceneState(), SceneState{});
    EXPECT_EQ(editor->rotationTargets().yaw, 0);
    EXPECT_EQ(editor->selectedTool(), AnnotationTool::arrow);
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

} // namespace
} // namespace pelorin::test
