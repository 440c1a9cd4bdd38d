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

TEST_F(ExportFrame, LeavesDragsAwayFromItsGripsToTheCanvas)
{
    const struct {
        const char* name;
        QPointF at;
    } cases[] = {{"interior", {500, 350}}, {"eight inside the left edge", {208, 250}}, {"ten outside an edge", {190, 250}},
                 {"outside the frame", {80, 80}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        probe->presses = 0;
        Pointer(canvas.get()).drag(c.at, c.at + QPointF(40, 30));
        EXPECT_EQ(frame(), startFrame);
        EXPECT_FALSE(editor->exportFrameRect().has_value());
        EXPECT_EQ(probe->presses, 1);
    }
}

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
    Pointer(canvas.get()).drag({800, 350}, {800, 350}, Qt::LeftButton, {}, 0);
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

TEST_F(ExportFrame, TheSizeTagSitsUnderTheFrameInsideTheCanvas)
{
    const struct {
        const char* name;
        QRectF frame;
        double centreY;
    } cases[] = {{"below the frame", {100, 100, 300, 200}, 316},
                 {"pulled up near the bottom", {100, 500, 300, 190}, 688},
                 {"frame at the bottom edge", {100, 400, 300, 300}, 688}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        editor->setExportFrameRect(c.frame);
        EXPECT_DOUBLE_EQ(view()->tagRect().center().y(), c.centreY);
        EXPECT_DOUBLE_EQ(view()->tagRect().center().x(), c.frame.center().x());
    }
}

TEST_F(ExportFrame, TagShowsTheExportedPixels)
{
    // Zoom 0.5 and a 2× image export 4 pixels per point.
    editor->loadImage(solidImage({600, 400}, 2.0), SourceType::file, false);
    editor->setZoomLevel(0.5);
    editor->setExportFrameRect(QRectF(100, 100, 400, 300));
    EXPECT_EQ(view()->outputPixelSize(), QSize(1600, 1200));
    // Without a frame, the whole card, however much of it the canvas cuts off at zoom 4: the
    // screenshot's own pixels.
    editor->setExportFrameRect(std::nullopt);
    editor->setZoomLevel(4);
    EXPECT_EQ(view()->outputPixelSize(), QSize(1200, 800));
}

TEST_F(ExportFrame, HiddenWithoutADocument)
{
    editor->clearDocument();
    EXPECT_FALSE(view()->isVisible());
}

} // namespace
} // namespace pelorin::test
