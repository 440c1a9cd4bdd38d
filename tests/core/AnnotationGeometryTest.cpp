#include "core/Annotation.h"
#include "core/Fonts.h"

#include <gtest/gtest.h>

#include <QFontInfo>

#include <cmath>

namespace pelorin {
namespace {

// Inter at 24 pt: ascent 23.25 + descent 5.796875, no leading. A different value means text
// is no longer measured with the bundled font at one pixel per point.
constexpr double interLineHeight24 = 29.046875;

class AnnotationGeometryTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { loadBundledFonts(); }
};

void expectPoint(QPointF actual, QPointF expected, double tolerance = 1e-6)
{
    EXPECT_NEAR(actual.x(), expected.x(), tolerance);
    EXPECT_NEAR(actual.y(), expected.y(), tolerance);
}

void expectRect(const QRectF& actual, const QRectF& expected, double tolerance = 1e-6)
{
    expectPoint(actual.topLeft(), expected.topLeft(), tolerance);
    expectPoint(actual.bottomRight(), expected.bottomRight(), tolerance);
}

TextAnnotation textAt(QPointF position, const char* content = "")
{
    TextAnnotation text = TextAnnotation::make(position, Qt::red);
    text.text = QString::fromUtf8(content);
    return text;
}

ArrowAnnotation arrowOf(QPointF start, QPointF end, double strokeWidth)
{
    ArrowAnnotation arrow = ArrowAnnotation::make(start, end, Qt::red);
    arrow.strokeWidth = strokeWidth;
    return arrow;
}

ShapeAnnotation shapeIn(const QRectF& rect, std::optional<QColor> fill = std::nullopt)
{
    ShapeAnnotation shape = ShapeAnnotation::make(rect, Qt::red);
    shape.fillColor = fill;
    return shape;
}

// Text is measured with the bundled font at one pixel per point, each weight with its own
// face: padding 8 around every line at the widest one's width, all of it scaled. Arrows are
// padded around their stored points, drawn in any direction; strokes around their points;
// steps are their circle's box.
TEST_F(AnnotationGeometryTest, BoundingBoxes)
{
    TextAnnotation text = textAt({});
    EXPECT_EQ(QFontInfo(font(text, 1)).family(), QStringLiteral("Inter"));
    text.isItalic = true;
    for (const FontWeight weight : allCases<FontWeight>()) {
        text.fontWeight = weight;
        const QFontInfo info(font(text, 1));
        EXPECT_EQ(info.weight(), qtFontWeight(weight)) << rawValue(weight).toStdString();
        EXPECT_TRUE(info.italic());
    }
    const double wide = pointMetrics(font(textAt({}), 1)).horizontalAdvance(QStringLiteral("a much wider line"));
    // A text at (100, 50) of so many lines at the widest one's width, at scale k.
    const auto textBox = [](int lines, double width, double k = 1) {
        return QRectF(92 * k, 42 * k, (width + 16) * k, (lines * interLineHeight24 + 16) * k);
    };
    TextAnnotation invisible = textAt({100, 50}, "invisible\ntext");
    invisible.fontSize = 0;
    const struct { const char* name; Annotation annotation; double scale; QRectF expected; double tolerance = 1e-6; } cases[] = {
        {"empty text: one line", textAt({100, 50}), 1, textBox(1, 0)},
        {"one line", textAt({100, 50}, "a much wider line"), 1, textBox(1, wide)},
        {"an empty line between", textAt({100, 50}, "short\n\na much wider line"), 1, textBox(3, wide)},
        {"a trailing line feed", textAt({100, 50}, "a much wider line\n"), 1, textBox(2, wide)},
        // Glyph advances are kept in 1/64 pixel, so widths scale only to within a few of those.
        {"text at scale 2", textAt({100, 50}, "short\na much wider line"), 2, textBox(2, wide, 2), 0.1},
        {"text of size 0", invisible, 1, textBox(0, 0)},
        {"zero-length arrow: a square on the point", arrowOf({50, 50}, {50, 50}, 7), 1, {22, 22, 56, 56}},
        {"zero-length arrow at scale 2", arrowOf({50, 50}, {50, 50}, 1), 2, {80, 80, 40, 40}},
        {"arrow drawn up and to the left", arrowOf({100, 80}, {20, 10}, 2), 1, {10, 0, 100, 90}},
        {"pen stroke at scale 2", StrokeAnnotation::make(StrokeKind::pen, {{100, 100}, {150, 200}, {200, 100}}, Qt::red, 4), 2,
         {196, 196, 208, 208}},
        {"step", StepAnnotation::make({50, 50}, 1, Qt::red, 32), 1, {34, 34, 32, 32}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        expectRect(boundingRect(c.annotation, c.scale), c.expected, c.tolerance);
    }
}

// Arrows are hot within stroke and margin of their segment; unfilled shapes only along their
// edge; pen lines along the line only; steps inside their circle.
TEST_F(AnnotationGeometryTest, HitTesting)
{
    const Annotation line = arrowOf({0, 0}, {100, 0}, 5);
    const Annotation dot = arrowOf({50, 50}, {50, 50}, 5);
    const Annotation open = shapeIn({0, 0, 100, 80});
    const Annotation filled = shapeIn({0, 0, 100, 80}, QColor(255, 0, 0, 64));
    const Annotation small = shapeIn({0, 0, 30, 30}); // band 15 on each side leaves no inside
    const Annotation narrow = shapeIn({0, 0, 200, 25});
    const Annotation vee = StrokeAnnotation::make(StrokeKind::pen, {{100, 100}, {150, 200}, {200, 100}}, Qt::red, 4);
    const Annotation step = StepAnnotation::make({50, 50}, 1, Qt::red, 32);
    const struct { const char* name; const Annotation& annotation; QPointF point; double scale; bool hit; } cases[] = {
        {"arrow: within the margin", line, {50, 15}, 1, true},
        {"arrow: just past it", line, {50, 15.1}, 1, false},
        {"arrow: past the end, measured to it", line, {115, 0}, 1, true},
        {"arrow: off the end", line, {112, 12}, 1, false},
        {"arrow: before the start", line, {-12, -12}, 1, false},
        {"arrow at scale 2: runs to (200, 0), margin 20", line, {100, 20}, 2, true},
        {"zero-length arrow: near", dot, {50, 65}, 1, true},
        {"zero-length arrow: far", dot, {61, 61}, 1, false},
        {"open centre", open, {50, 40}, 1, false},
        {"open inside band", open, {14, 40}, 1, true},
        {"open just past band", open, {16, 40}, 1, false},
        {"open outside", open, {101, 40}, 1, false},
        {"open centre at scale 2", open, {100, 80}, 2, false},
        {"open band at scale 2", open, {19, 80}, 2, true},
        {"filled centre", filled, {50, 40}, 1, true},
        {"filled outside", filled, {-1, 40}, 1, false},
        {"small centre", small, {15, 15}, 1, true},
        {"narrow middle", narrow, {100, 12}, 1, true},
        {"on the pen line", vee, {125, 150}, 1, true},
        {"just beside it", vee, {132, 150}, 1, true},
        {"past half the stroke plus 6", vee, {136, 150}, 1, false},
        {"inside the vee", vee, {150, 130}, 1, false},
        {"step centre", step, {50, 50}, 1, true},
        {"step box corner", step, {35, 35}, 1, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(hitTest(c.annotation, c.point, c.scale), c.hit) << c.name;
}

// Attached ends run from edge to edge, stopping half the stroke plus 4 short of it (half the
// way there when closer); an end whose target is gone or is an arrow falls back to its stored
// point; with the free end inside the target, the attached end sits on its anchor.
TEST_F(AnnotationGeometryTest, ResolvingRunsAttachedEndsFromEdgeToEdgeAndFallsBackToStoredPoints)
{
    const ShapeAnnotation shape = shapeIn({0, 0, 100, 100});
    const ShapeAnnotation right = shapeIn({300, 0, 100, 100});
    const ShapeAnnotation wide = shapeIn({0, 200, 200, 100});
    const TextAnnotation label = textAt({600, 100}, "Label");
    const QRectF box = boundingRect(label, 1);
    const ArrowAnnotation other = ArrowAnnotation::make({500, 500}, {600, 600}, Qt::red);
    const QUuid deleted = QUuid::createUuid();
    const QPointF centre(0.5, 0.5);
    struct Case { const char* name; QPointF from; QUuid startTarget; QUuid endTarget; QPointF anchor; QPointF start; QPointF end; };
    const Case cases[] = {
        {"both attached", {-40, 50}, shape.id, right.id, centre, {106, 50}, {294, 50}},
        {"deleted target", {-40, 50}, deleted, shape.id, centre, {-40, 50}, {-6, 50}},
        {"arrow as target", {-40, 50}, other.id, shape.id, centre, {-40, 50}, {-6, 50}},
        {"both gone", {-40, 50}, deleted, other.id, centre, {-40, 50}, {300, 300}},
        {"from above left", {-50, -50}, {}, shape.id, centre, {-50, -50}, {-6 / M_SQRT2, -6 / M_SQRT2}},
        // Only four points from the edge: pulled back by half of that, not the whole gap.
        {"close to the edge", {-4, 50}, {}, shape.id, centre, {-4, 50}, {-2, 50}},
        {"free end inside the target", {20, 220}, {}, wide.id, {0.75, 0.25}, {20, 220}, {150, 225}},
        {"a text box as target", {0, box.center().y()}, {}, label.id, centre, {0, box.center().y()}, {box.left() - 6, box.center().y()}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ArrowAnnotation arrow = ArrowAnnotation::make(c.from, {300, 300}, Qt::red);
        arrow.strokeWidth = 4; // gap 6
        if (!c.startTarget.isNull())
            arrow.startAttachment = ArrowAttachment{c.startTarget, centre};
        arrow.endAttachment = ArrowAttachment{c.endTarget, c.anchor};
        const auto resolved = resolvingAttachments({shape, other, arrow, right, wide, label});
        const auto& result = std::get<ArrowAnnotation>(resolved[2]);
        expectPoint(result.position, c.start);
        expectPoint(result.endPoint, c.end);
        // The attachments stay, so the arrow keeps following its targets.
        EXPECT_EQ(result.startAttachment, arrow.startAttachment);
    }
}

TEST_F(AnnotationGeometryTest, ShaftEndsUnderTheHeads)
{
    const double depth = 20 * std::sqrt(3.0) / 2;
    struct Case { const char* name; QPointF start, end; bool atStart, atEnd; QPointF shaftStart, shaftEnd; };
    const Case cases[] = {
        {"single", {0, 0}, {100, 0}, false, true, {0, 0}, {100 - depth, 0}},
        {"double", {0, 0}, {0, 100}, true, true, {0, depth}, {0, 100 - depth}},
        {"line", {0, 0}, {100, 0}, false, false, {0, 0}, {100, 0}},
        // 2 × 17.32 exceeds 95 % of 30: both insets shrink to 14.25.
        {"short double", {0, 0}, {30, 0}, true, true, {14.25, 0}, {15.75, 0}},
        {"short single", {0, 0}, {10, 0}, false, true, {0, 0}, {0.5, 0}},
        {"no length", {5, 5}, {5, 5}, true, true, {5, 5}, {5, 5}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ArrowEndpoints shaft = shaftEndpoints(c.start, c.end, 20, c.atStart, c.atEnd);
        expectPoint(shaft.start, c.shaftStart);
        expectPoint(shaft.end, c.shaftEnd);
    }
}

// Update replaces the first match only (an unknown one changes nothing) and remove takes every
// match. A stroke scales with its box, and a side without extent moves instead of stretching.
// Step numbers continue from the highest.
TEST_F(AnnotationGeometryTest, ListEditsStrokesFitTheirBoxAndStepsCount)
{
    const ShapeAnnotation shape = shapeIn({0, 0, 50, 50});
    const RedactAnnotation redact = RedactAnnotation::make({10, 10, 20, 20}, Qt::black);
    std::vector<Annotation> list{shape, redact, shape};
    ShapeAnnotation moved = shape;
    moved.position = {5, 5};
    updateAnnotation(list, moved);
    updateAnnotation(list, ShapeAnnotation::make({0, 0, 1, 1}, Qt::red));
    EXPECT_EQ(list, (std::vector<Annotation>{moved, redact, shape}));
    removeAnnotation(list, shape.id);
    EXPECT_EQ(list, (std::vector<Annotation>{redact}));

    const StrokeAnnotation vee = StrokeAnnotation::make(StrokeKind::pen, {{100, 100}, {150, 200}, {200, 100}}, Qt::red, 4);
    expectRect(strokeBox(strokeFittedTo(vee, QRectF(0, 0, 200, 50))), QRectF(0, 0, 200, 50));
    EXPECT_EQ(strokeFittedTo(vee, QRectF(0, 0, 200, 50)).points[1], QPointF(100, 50));
    const StrokeAnnotation level = StrokeAnnotation::make(StrokeKind::highlighter, {{10, 40}, {90, 40}}, Qt::yellow, 20);
    const StrokeAnnotation resized = strokeFittedTo(level, QRectF(10, 30, 160, 20));
    EXPECT_EQ(resized.points, (std::vector<QPointF>{{0, 0}, {160, 0}}));
    EXPECT_EQ(resized.position, QPointF(10, 30));

    EXPECT_EQ(nextStepNumber({}), 1);
    EXPECT_EQ(nextStepNumber({StepAnnotation::make({}, 1, Qt::red, 32), StepAnnotation::make({}, 7, Qt::red, 32), vee}), 8);
}

TEST(AnnotationEnumerationTest, RawValuesAndDigitsRoundTripAndUnknownInputIsNone)
{
    EXPECT_EQ(rawValue(ArrowStyle::double_), QStringLiteral("double"));
    EXPECT_EQ(fromRawValue<ShapeType>(QStringLiteral("roundedRectangle")), ShapeType::roundedRectangle);
    for (const ShapeHandlePosition handle : allCases<ShapeHandlePosition>())
        EXPECT_EQ(fromRawValue<ShapeHandlePosition>(rawValue(handle)), handle);
    for (const char* unknown : {"", "Single", "double ", "square"})
        EXPECT_EQ(fromRawValue<ArrowStyle>(QString::fromLatin1(unknown)), std::nullopt) << unknown;
    // Digits 1 to 9 pick the tools in order; anything else picks none.
    for (const AnnotationTool tool : allCases<AnnotationTool>())
        EXPECT_EQ(annotationToolForDigit(shortcutDigit(tool)), tool);
    const std::pair<const char*, std::optional<AnnotationTool>> digits[] = {
        {"1", AnnotationTool::text}, {"5", AnnotationTool::quick}, {"9", AnnotationTool::step}, {"0", {}},
        {"10", {}},                  {"12", {}},                   {"", {}},                    {"a", {}}};
    for (const auto& [digit, tool] : digits)
        EXPECT_EQ(annotationToolForDigit(QString::fromLatin1(digit)), tool) << digit;
}

} // namespace
} // namespace pelorin
