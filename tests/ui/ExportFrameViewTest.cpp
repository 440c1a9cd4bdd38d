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

// Grips move or resize the frame, inside the canvas and above the minimum size, and store it
// when the drag ends; drags elsewhere go to the canvas.
TEST_F(ExportFrame, DragsOnItsGripsKeepItInsideTheCanvasAndAboveTheMinimum)
{
    const struct {
        const char* name;
        QPointF from, by;
        std::optional<QRectF> expected; // none: the drag is not the frame's
    } cases[] = {
        {"left handle right stops at the minimum width", {200, 350}, {530, 0}, QRectF(680, 150, 120, 400)},
        {"left handle left stops at the edge", {200, 350}, {-260, 0}, QRectF(0, 150, 800, 400)},
        {"top handle down stops at the minimum height", {500, 150}, {0, 500}, QRectF(200, 470, 600, 80)},
        {"bottom right beyond the canvas", {800, 550}, {400, 300}, QRectF(200, 150, 800, 550)},
        {"top left past both edges", {200, 150}, {-300, -300}, QRectF(0, 0, 800, 550)},
        {"right handle left past the left edge", {800, 350}, {-900, 0}, QRectF(0, 150, 120, 400)},
        {"moved beyond the left edge pins", {200, 250}, {-500, 0}, QRectF(0, 150, 600, 400)},
        {"moved beyond the right edge pins", {800, 250}, {500, 0}, QRectF(400, 150, 600, 400)},
        {"moved beyond the top edge pins", {350, 150}, {0, -400}, QRectF(200, 0, 600, 400)},
        {"moved beyond the bottom edge pins", {350, 550}, {30, 500}, QRectF(230, 300, 600, 400)},
        {"moved from five outside an edge", {195, 250}, {-40, 20}, QRectF(160, 170, 600, 400)},
        {"resized from just outside a handle", {191, 350}, {-50, 0}, QRectF(150, 150, 650, 400)},
        {"moved by the size tag", {500, 566}, {40, -30}, QRectF(240, 120, 600, 400)},
        {"interior", {500, 350}, {40, 30}, std::nullopt},
        {"eight inside the left edge", {208, 250}, {40, 30}, std::nullopt},
        {"ten outside an edge", {190, 250}, {40, 30}, std::nullopt},
        {"outside the frame", {80, 80}, {40, 30}, std::nullopt},
        {"a press without movement", {800, 350}, {0, 0}, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        editor->setExportFrameRect(std::nullopt);
        probe->presses = probe->moves = probe->releases = 0;
        Pointer(canvas.get()).drag(c.from, c.from + c.by, Qt::LeftButton, {}, c.by.isNull() ? 0 : 4);
        EXPECT_EQ(frame(), c.expected.value_or(startFrame));
        EXPECT_EQ(editor->exportFrameRect(), c.expected);
        EXPECT_EQ(probe->presses, c.expected || c.by.isNull() ? 0 : 1);
        if (c.expected) {
            EXPECT_EQ(probe->total(), 0);
        }
    }

    // Shown while dragged, stored on release; a padding change removes it.
    editor->setExportFrameRect(std::nullopt);
    Pointer pointer(canvas.get());
    pointer.press({800, 350});
    pointer.move({780, 350});
    pointer.move({700, 350});
    EXPECT_EQ(frame(), QRectF(200, 150, 500, 400));
    EXPECT_FALSE(editor->exportFrameRect().has_value());
    pointer.release({700, 350});
    EXPECT_EQ(editor->exportFrameRect(), std::optional<QRectF>(QRectF(200, 150, 500, 400)));
    editor->setPadding(20);
    EXPECT_FALSE(editor->exportFrameRect().has_value());
    EXPECT_EQ(frame(), editor->derivedExportFrame(QSizeF(canvasSize)));
    editor->clearDocument();
    EXPECT_FALSE(view()->isVisible());
}

TEST_F(ExportFrame, TheSizeTagSitsUnderTheFrameInsideTheCanvasAndShowsTheExportedPixels)
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

} // namespace
} // namespace pelorin::test
