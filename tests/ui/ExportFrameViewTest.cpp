#include "UiFixture.h"

#include "ui/ExportFrameView.h"

namespace pelorin::test {
namespace {

// A 600 × 400 point screenshot at zoom 1 in the 1000 × 700 canvas: the default frame is the
// card, (200, 150, 600, 400).
class ExportFrame : public CanvasFixture {
public:
    ExportFrame()
    {
        open({600, 400});
        editor->setZoomLevel(1.0);
        probe = new PointerProbe(canvas.get());
    }

    ExportFrameView* view() const { return canvas->exportFrameView(); }
    QRectF frame() const { return view()->frame(); }

    PointerProbe* probe = nullptr;
};

constexpr QRectF startFrame{200, 150, 600, 400};

TEST_F(ExportFrame, DefaultFrameFollowsTheCard)
{
    EXPECT_EQ(frame(), startFrame);
    EXPECT_FALSE(editor->exportFrameRect().has_value());
}

struct DragCase {
    const char* name;
    friend void PrintTo(const DragCase& c, std::ostream* os) { *os << c.name; }
    QPointF from;
    QPointF by;
    QRectF expected;
};

class ExportFrameDrags : public ExportFrame, public ::testing::WithParamInterface<DragCase> {};

TEST_P(ExportFrameDrags, KeepTheFrameInsideTheCanvasAndAboveTheMinimum)
{
    const DragCase& c = GetParam();
    Pointer(canvas.get()).drag(c.from, c.from + c.by);
    EXPECT_EQ(frame(), c.expected);
    ASSERT_TRUE(editor->exportFrameRect().has_value());
    EXPECT_EQ(*editor->exportFrameRect(), c.expected);
    EXPECT_EQ(probe->total(), 0);
}

// The canvas is 1000 × 700.
INSTANTIATE_TEST_SUITE_P(
    Canvas, ExportFrameDrags,
    ::testing::Values(
        DragCase{"leftHandleRightStopsAtMinimumWidth", {200, 350}, {530, 0}, {680, 150, 120, 400}},
        DragCase{"leftHandleLeftStopsAtTheEdge", {200, 350}, {-260, 0}, {0, 150, 800, 400}},
        DragCase{"topHandleDownStopsAtMinimumHeight", {500, 150}, {0, 500}, {200, 470, 600, 80}},
        DragCase{"bottomRightBeyondTheCanvas", {800, 550}, {400, 300}, {200, 150, 800, 550}},
        DragCase{"topLeftPastBothEdges", {200, 150}, {-300, -300}, {0, 0, 800, 550}},
        DragCase{"rightHandleLeftPastTheLeftEdge", {800, 350}, {-900, 0}, {0, 150, 120, 400}},
        DragCase{"moveBeyondTheLeftEdgePins", {200, 250}, {-500, 0}, {0, 150, 600, 400}},
        DragCase{"moveBeyondTheRightEdgePins", {800, 250}, {500, 0}, {400, 150, 600, 400}},
        DragCase{"moveBeyondTheTopEdgePins", {350, 150}, {0, -400}, {200, 0, 600, 400}},
        DragCase{"moveBeyondTheBottomEdgePins", {350, 550}, {30, 500}, {230, 300, 600, 400}},
        DragCase{"moveFromFiveOutsideAnEdge", {195, 250}, {-40, 20}, {160, 170, 600, 400}},
        DragCase{"resizeFromJustOutsideAHandle", {191, 350}, {-50, 0}, {150, 150, 650, 400}},
        DragCase{"moveByTheTag", {500, 566}, {40, -30}, {240, 120, 600, 400}}),
    caseName<DragCase>);

struct PassCase {
    const char* name;
    friend void PrintTo(const PassCase& c, std::ostream* os) { *os << c.name; }
    QPointF at;
};

class ExportFramePassThrough : public ExportFrame, public ::testing::WithParamInterface<PassCase> {};

TEST_P(ExportFramePassThrough, LeavesPressesAwayFromItsGripsToTheCanvas)
{
    Pointer(canvas.get()).drag(GetParam().at, GetParam().at + QPointF(40, 30));
    EXPECT_EQ(frame(), startFrame);
    EXPECT_FALSE(editor->exportFrameRect().has_value());
    EXPECT_EQ(probe->presses, 1);
}

INSTANTIATE_TEST_SUITE_P(Canvas, ExportFramePassThrough,
                         ::testing::Values(PassCase{"interior", {500, 350}},
                                           PassCase{"eightInsideTheLeftEdge", {208, 250}},
                                           PassCase{"tenOutsideAnEdge", {190, 250}},
                                           PassCase{"outsideTheFrame", {80, 80}}),
                         caseName<PassCase>);

TEST_F(ExportFrame, StoresTheFrameOnlyWhenTheDragEnds)
{
    Pointer pointer(canvas.get());
    pointer.press({800, 350});
    pointer.move({780, 350});
    pointer.move({700, 350});
    EXPECT_EQ(frame(), QRectF(200, 150, 500, 400));
    EXPECT_FALSE(editor->exportFrameRect().has_value());
    pointer.release({700, 350});
    EXPECT_EQ(editor->exportFrameRect(), std::optional<QRectF>(QRectF(200, 150, 500, 400)));
}

TEST_F(ExportFrame, APressWithoutMovementStoresNothing)
{
    Pointer pointer(canvas.get());
    pointer.press({800, 350});
    pointer.release({800, 350});
    EXPECT_FALSE(editor->exportFrameRect().has_value());
}

TEST_F(ExportFrame, APaddingChangeRemovesAStoredFrame)
{
    Pointer(canvas.get()).drag({800, 350}, {700, 350});
    ASSERT_TRUE(editor->exportFrameRect().has_value());
    editor->setPadding(20);
    EXPECT_FALSE(editor->exportFrameRect().has_value());
    EXPECT_EQ(frame(), editor->derivedExportFrame(QSizeF(canvasSize)));
}

struct TagCase {
    const char* name;
    friend void PrintTo(const TagCase& c, std::ostream* os) { *os << c.name; }
    QRectF frame;
    double expectedCentreY;
};

class DimensionsTag : public ExportFrame, public ::testing::WithParamInterface<TagCase> {};

TEST_P(DimensionsTag, SitsUnderTheFrameInsideTheCanvas)
{
    editor->setExportFrameRect(GetParam().frame);
    EXPECT_DOUBLE_EQ(view()->tagRect().center().y(), GetParam().expectedCentreY);
    EXPECT_DOUBLE_EQ(view()->tagRect().center().x(), GetParam().frame.center().x());
}

INSTANTIATE_TEST_SUITE_P(Canvas, DimensionsTag,
                         ::testing::Values(TagCase{"belowTheFrame", {100, 100, 300, 200}, 316},
                                           TagCase{"pulledUpNearTheBottom", {100, 500, 300, 190}, 688},
                                           TagCase{"frameAtTheBottomEdge", {100, 400, 300, 300}, 688}),
                         caseName<TagCase>);

TEST_F(ExportFrame, TagShowsTheExportedPixels)
{
    // Zoom 0.5 and a 2× image export 4 pixels per point.
    editor->loadImage(solidImage({600, 400}, 2.0), SourceType::file, false);
    editor->setZoomLevel(0.5);
    editor->setExportFrameRect(QRectF(100, 100, 400, 300));
    EXPECT_EQ(view()->outputPixelSize(), QSize(1600, 1200));
}

TEST_F(ExportFrame, HiddenWithoutADocument)
{
    editor->clearDocument();
    EXPECT_FALSE(view()->isVisible());
}

} // namespace
} // namespace pelorin::test
