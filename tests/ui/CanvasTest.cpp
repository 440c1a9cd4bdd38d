#include "UiFixture.h"

#include "render/OffscreenSceneRenderer.h"
#include "ui/CanvasInputLayer.h"
#include "ui/ChromeButton.h"
#include "ui/ExportFrameView.h"
#include "ui/ReturnTo2DButton.h"
#include "ui/SceneControlsView.h"

#include <QNativeGestureEvent>
#include <QPainter>
#include <QPointingDevice>
#include <QWheelEvent>

#include <cmath>

namespace pelorin::test {
namespace {

constexpr double pi = 3.14159265358979323846;

class Canvas : public CanvasFixture {
protected:
    Canvas()
    {
        open();
        probe = new PointerProbe(canvas.get());
    }

    QPointF centre() const { return QPointF(canvasSize.width() / 2.0, canvasSize.height() / 2.0); }
    QSizeF offset() const { return editor->canvasTransform().canvasOffset; }
    double zoom() const { return editor->canvasTransform().zoomLevel; }
    Qt::CursorShape cursor() const { return canvas->cursor().shape(); }
    void drag(QPointF by, Qt::MouseButton button = Qt::LeftButton, Qt::KeyboardModifiers mods = {}, int steps = 2)
    {
        Pointer(canvas.get()).drag(centre(), centre() + by, button, mods, steps);
    }
    void wheel(QPoint pixelDelta, QPoint angleDelta)
    {
        const QPointF at = centre();
        QWidget* target = canvas->childAt(at.toPoint());
        target = target ? target : canvas.get();
        QWheelEvent event(target->mapFrom(canvas.get(), at), canvas->mapToGlobal(at), pixelDelta, angleDelta, Qt::NoButton, {},
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(target, &event);
    }
    void pointerOverTheCanvas()
    {
        QCursor::setPos(canvas->mapToGlobal(centre().toPoint()));
        ASSERT_TRUE(waitUntil([&] { return canvas->rect().contains(canvas->mapFromGlobal(QCursor::pos())); }));
    }

    PointerProbe* probe = nullptr;
};

// Only navigation gestures move the card; plain drags reach the layer below. Drags move in
// two equal steps; drag-zooming multiplies once per step. Ctrl+drag tilts (down tips the top
// edge towards the viewer), and small tilts snap back flat on release. Wheels and pinches
// scale the zoom about the pan point.
TEST_F(Canvas, NavigationMovesZoomsOrTiltsTheCard)
{
    const auto ctrlDrag = [&](QPointF by) { return [=, this] { drag(by, Qt::LeftButton, Qt::ControlModifier); }; };
    const auto scroll = [&](QPoint pixels, QPoint angle) { return [=, this] { wheel(pixels, angle); }; };
    const struct {
        const char* name;
        std::function<void()> input;
        QPointF pan;
        double zoomFactor;
        QPointF tilt; // in points dragged
        bool reachesLayerBelow = false;
    } cases[] = {
        {"plain left drag", [&] { drag({40, 30}); }, {}, 1.0, {}, true},
        {"Alt+left drag pans", [&] { drag({40, 30}, Qt::LeftButton, Qt::AltModifier); }, {40, 30}, 1.0, {}},
        {"right drag pans", [&] { drag({-60, 20}, Qt::RightButton); }, {-60, 20}, 1.0, {}},
        {"middle drag pans", [&] { drag({10, -50}, Qt::MiddleButton); }, {10, -50}, 1.0, {}},
        {"Shift+drag up zooms in", [&] { drag({0, -40}, Qt::LeftButton, Qt::ShiftModifier); }, {}, 1.1 * 1.1, {}},
        {"Shift+drag down zooms out", [&] { drag({25, 40}, Qt::LeftButton, Qt::ShiftModifier); }, {}, 0.9 * 0.9, {}},
        {"Ctrl+drag below the snap threshold", ctrlDrag({4, -2}), {}, 1.0, {}},
        {"Ctrl+drag yaw beyond it", ctrlDrag({20, 0}), {}, 1.0, {20, 0}},
        {"Ctrl+drag pitch beyond it", ctrlDrag({0, -12}), {}, 1.0, {0, -12}},
        {"precise wheel up 10", scroll({0, 10}, {0, 120}), {}, std::pow(1.005, 10), {}},
        {"precise wheel down 10", scroll({0, -10}, {0, -120}), {}, 1 / std::pow(1.005, 10), {}},
        {"ten line notches down", scroll({}, {0, -1200}), {}, 1 / std::pow(1.05, 10), {}},
        {"one line notch up", scroll({}, {0, 120}), {}, 1.05, {}},
        {"half a notch from a fine wheel", scroll({}, {0, 60}), {}, std::pow(1.05, 0.5), {}},
        {"horizontal wheel only is ignored", scroll({}, {120, 0}), {}, 1.0, {}},
        {"wheel clamped at the maximum", scroll({0, 1000}, {0, 120}), {}, 4.0, {}},
        {"wheel clamped at the minimum", scroll({}, {0, -12000}), {}, 0.25, {}},
        {"pinch", [&] {
             const QPointF at = centre();
             QNativeGestureEvent pinch(Qt::ZoomNativeGesture, QPointingDevice::primaryPointingDevice(), 2, at, at, canvas->mapToGlobal(at),
                                       0.2, QPointF());
             QApplication::sendEvent(canvas.get(), &pinch);
         }, {}, 1.2, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        editor->resetAllStyling();
        editor->setCanvasOffset(QSizeF(30, -20));
        editor->setZoomLevel(1.0);
        probe->presses = 0;
        c.input();
        EXPECT_NEAR(offset().width(), 30 + c.pan.x(), 1e-9);
        EXPECT_NEAR(offset().height(), -20 + c.pan.y(), 1e-9);
        EXPECT_NEAR(zoom(), c.zoomFactor, 1e-9);
        EXPECT_EQ(probe->presses > 0, c.reachesLayerBelow);
        EXPECT_FALSE(canvas->inputLayer()->isPanning() || canvas->inputLayer()->isZooming() || editor->isRotatingGesture());
        const SceneState scene = editor->sceneState();
        EXPECT_EQ(scene.isPerspective, !c.tilt.isNull());
        EXPECT_NEAR(scene.yaw, c.tilt.x() * pi / 600, 1e-5);
        EXPECT_NEAR(scene.pitch, c.tilt.y() * pi / 600, 1e-5);
        waitForFrame();
        EXPECT_NEAR(canvas->displayedYaw(), scene.yaw, 1e-6);
    }
    // A modifier pressed during a plain drag does not steal it.
    editor->setCanvasOffset(QSizeF(0, 0));
    editor->setZoomLevel(1.0);
    probe->releases = 0;
    Pointer pointer(canvas.get());
    pointer.press(centre());
    pointer.move(centre() + QPointF(20, 0));
    QTest::mouseRelease(pointer.window(), Qt::LeftButton, Qt::AltModifier, pointer.toWindow(centre() + QPointF(40, 0)));
    EXPECT_EQ(offset(), QSizeF(0, 0));
    EXPECT_EQ(probe->releases, 1);
    // With the components shown, Ctrl+drag pans instead of tilting.
    editor->setShowComponentOverlay(true);
    drag({50, 10}, Qt::LeftButton, Qt::ControlModifier, 4);
    EXPECT_EQ(offset(), QSizeF(50, 10));
    EXPECT_FALSE(editor->sceneState().isPerspective);
    EXPECT_EQ(editor->rotationTargets().yaw, 0.f);
    // Without a document nothing is claimed.
    editor->setCanvasOffset(QSizeF(0, 0));
    editor->clearDocument();
    drag({30, 30}, Qt::LeftButton, Qt::AltModifier);
    wheel({0, 10}, {0, 120});
    EXPECT_EQ(offset(), QSizeF(0, 0));
    EXPECT_EQ(zoom(), 1.0);
}

// The vertical extent of the red card in one column of the canvas's pixels.
int cardHeightAt(const QImage& frame, int x)
{
    int count = 0;
    for (int y = 0; y < frame.height(); ++y) {
        const QColor c = frame.pixelColor(x, y);
        count += c.red() > 150 && c.green() < 90 && c.blue() < 110;
    }
    return count;
}

// A turn to the right takes the card's right edge away from the viewer: it looks shorter.
TEST_F(Canvas, TiltedCardIsDrawnInPerspective)
{
    drag({60, 0}, Qt::LeftButton, Qt::ControlModifier, 4);
    waitForFrame();
    const QImage frame = canvas->grabFramebuffer();
    int left = -1, right = -1;
    for (int x = 0; x < frame.width(); ++x) {
        if (cardHeightAt(frame, x) > 100) {
            left = left < 0 ? x : left;
            right = x;
        }
    }
    ASSERT_GT(right - left, 200);
    EXPECT_GT(cardHeightAt(frame, left + 30), cardHeightAt(frame, right - 30) + 20);
}

// Alt+drag moves windows under most Linux window managers; Space+drag pans as in image editors.
TEST_F(Canvas, CursorFollowsModifiersToolAndPanningAndSpaceDragPans)
{
    const struct {
        const char* name;
        Qt::KeyboardModifiers modifiers;
        bool toolSelected;
        Qt::CursorShape expected;
    } cases[] = {
        {"plain", {}, false, Qt::ArrowCursor},
        {"alt", Qt::AltModifier, false, Qt::OpenHandCursor},
        {"alt wins over a tool", Qt::AltModifier, true, Qt::OpenHandCursor},
        {"tool", {}, true, Qt::DragCopyCursor},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        editor->setSelectedTool(c.toolSelected ? std::optional(AnnotationTool::arrow) : std::nullopt);
        canvas->inputLayer()->updateCursor(c.modifiers);
        EXPECT_EQ(cursor(), c.expected);
    }
    editor->setSelectedTool(std::nullopt);
    pointerOverTheCanvas();
    QTest::keyPress(canvas.get(), Qt::Key_Alt);
    EXPECT_EQ(cursor(), Qt::OpenHandCursor);
    QTest::keyRelease(canvas.get(), Qt::Key_Alt, Qt::AltModifier);
    EXPECT_EQ(cursor(), Qt::ArrowCursor);
    Pointer pointer(canvas.get());
    pointer.press(centre(), Qt::RightButton);
    EXPECT_EQ(cursor(), Qt::ClosedHandCursor);
    pointer.release(centre(), Qt::RightButton);
    EXPECT_EQ(cursor(), Qt::ArrowCursor);

    editor->setCanvasOffset(QSizeF(0, 0));
    probe->presses = 0;
    QTest::keyPress(canvas.get(), Qt::Key_Space);
    EXPECT_EQ(cursor(), Qt::OpenHandCursor);
    drag({30, -20});
    QTest::keyRelease(canvas.get(), Qt::Key_Space);
    EXPECT_EQ(offset(), QSizeF(30, -20));
    EXPECT_EQ(probe->presses, 0);
    EXPECT_EQ(cursor(), Qt::ArrowCursor);
    drag({30, 30}); // released: a plain drag
    EXPECT_EQ(offset(), QSizeF(30, -20));
}

TEST_F(Canvas, SceneControlsFollowTheScene)
{
    ChromeButton* projection = canvas->sceneControls()->projectionButton();
    ChromeButton* reset = canvas->sceneControls()->resetButton();
    // What the controls show: the projection button's tip, checked, enabled; reset shown, enabled.
    const struct {
        const char* name;
        std::function<void()> arrange;
        const char* shown;
    } cases[] = {
        {"flat", [] {}, "Switch to 3D, -, enabled; -, -"},
        {"perspective, untilted", [&] { projection->click(); }, "Switch to 2D, checked, enabled; reset, -"},
        {"tilted", [&] { tiltBy(0.2f, 0); }, "Switch to 2D, checked, enabled; reset, enabled"},
        {"a small pitch beyond the snap back", [&] { tiltBy(0, 0.03f); }, "Switch to 2D, checked, enabled; reset, enabled"},
        {"reset pressed", [&] {
             tiltBy(0.2f, 0.1f);
             reset->click();
         }, "Switch to 2D, checked, enabled; reset, -"},
        {"analysing", [&] { editor->setIsAnalyzing(true); }, "Switch to 3D, -, -; -, -"},
        {"components shown", [&] {
             projection->click();
             editor->setShowComponentOverlay(true);
         }, "Switch to 2D, checked, -; reset, -"},
        {"switched back to 2D", [&] {
             tiltBy(0.3f, -0.2f);
             projection->click();
         }, "Switch to 3D, -, enabled; -, -"},
    };
    for (const auto& c : cases) {
        editor->resetAllStyling();
        editor->setIsAnalyzing(false);
        editor->setShowComponentOverlay(false);
        c.arrange();
        const auto word = [](bool on, const char* name) { return QLatin1String(on ? name : "-"); };
        const QString shown = QStringLiteral("%1, %2, %3; %4, %5")
                                  .arg(projection->toolTip(), word(projection->isChecked(), "checked"),
                                       word(projection->isEnabled(), "enabled"), word(reset->isVisibleTo(canvas.get()), "reset"),
                                       word(reset->isEnabled(), "enabled"));
        EXPECT_EQ(shown, QLatin1String(c.shown)) << c.name;
    }
    // Switching to 2D flattens what is drawn too.
    waitForFrame();
    EXPECT_EQ(editor->sceneState(), SceneState{});
    EXPECT_EQ(canvas->displayedYaw(), 0.f);
    EXPECT_EQ(canvas->displayedPitch(), 0.f);
}

TEST_F(Canvas, ReturnTo2DButtonShowsWhileTiltedAndFlattensOnClick)
{
    ReturnTo2DButton* button = canvas->returnTo2DButton();
    EXPECT_FALSE(button->isVisible());
    editor->beginRotationGesture();
    EXPECT_TRUE(button->isWanted()) << "during a gesture from flat";
    editor->endRotationGesture(); // never turned: snaps back flat
    EXPECT_FALSE(button->isWanted());

    tiltBy(0.3f, 0);
    ASSERT_TRUE(waitUntil([&] { return button->opacity() == 1.0; }));
    EXPECT_TRUE(button->isVisible());
    Pointer(canvas.get()).drag(button->geometry().center(), button->geometry().center(), Qt::LeftButton, {}, 0);
    EXPECT_FALSE(editor->sceneState().isPerspective);
    ASSERT_TRUE(waitUntil([&] { return !button->isVisible(); }));

    // A frame reaching the canvas's bottom pulls its tag up to where the button stands.
    editor->setExportFrameRect(QRectF(300, 400, 400, 300));
    tiltBy(0.3f, 0);
    const QRectF tag = canvas->exportFrameView()->tagRect();
    const QRect above = button->geometry();
    EXPECT_LT(above.bottom(), tag.top());
    editor->setExportFrameRect(std::nullopt);
    EXPECT_GT(button->geometry().bottom(), above.bottom()) << "back down once the tag has gone";
}

// A 600 × 400 point screenshot at zoom 1 in the 1000 × 700 canvas: the default frame is the
// card. Grips move or resize the frame, inside the canvas and above the minimum size, and
// store it when the drag ends; drags elsewhere go to the canvas.
TEST_F(Canvas, ExportFrameGripsKeepItInsideTheCanvasAndAboveTheMinimum)
{
    open({600, 400});
    editor->setZoomLevel(1.0);
    const QRectF startFrame(200, 150, 600, 400);
    ExportFrameView* view = canvas->exportFrameView();
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
        EXPECT_EQ(view->frame(), c.expected.value_or(startFrame));
        EXPECT_EQ(editor->exportFrameRect(), c.expected);
        EXPECT_EQ(probe->presses, c.expected || c.by.isNull() ? 0 : 1);
        if (c.expected) {
            EXPECT_EQ(probe->moves + probe->releases, 0);
        }
    }

    // Shown while dragged, stored on release; a padding change removes it.
    editor->setExportFrameRect(std::nullopt);
    Pointer pointer(canvas.get());
    pointer.press({800, 350});
    pointer.move({780, 350});
    pointer.move({700, 350});
    EXPECT_EQ(view->frame(), QRectF(200, 150, 500, 400));
    EXPECT_FALSE(editor->exportFrameRect().has_value());
    pointer.release({700, 350});
    EXPECT_EQ(editor->exportFrameRect(), std::optional<QRectF>(QRectF(200, 150, 500, 400)));
    editor->setPadding(20);
    EXPECT_FALSE(editor->exportFrameRect().has_value());
    EXPECT_EQ(view->frame(), editor->derivedExportFrame(QSizeF(canvasSize)));

    // The size tag sits under the frame, inside the canvas.
    for (const auto& [frame, centreY] : {std::pair{QRectF(100, 100, 300, 200), 316.0}, // below the frame
                                         {QRectF(100, 500, 300, 190), 688.0}, // pulled up near the bottom
                                         {QRectF(100, 400, 300, 300), 688.0}}) {
        editor->setExportFrameRect(frame);
        EXPECT_EQ(view->tagRect().center(), QPointF(frame.center().x(), centreY));
    }
    // It shows the exported pixels: zoom 0.5 and a 2× image export 4 pixels per point.
    editor->setPadding(0);
    editor->loadImage(solidImage({600, 400}, 2.0), SourceType::file, false);
    editor->setZoomLevel(0.5);
    editor->setExportFrameRect(QRectF(100, 100, 400, 300));
    EXPECT_EQ(view->outputPixelSize(), QSize(1600, 1200));
    // Without a frame, the whole card, however much of it the canvas cuts off at zoom 4: the
    // screenshot's own pixels.
    editor->setExportFrameRect(std::nullopt);
    editor->setZoomLevel(4);
    EXPECT_EQ(view->outputPixelSize(), QSize(1200, 800));
    editor->clearDocument();
    EXPECT_FALSE(view->isVisible());
}

// A screenshot with structure (bands and a grid), so that a shifted or scaled card shows.
QImage patternImage(QSize points)
{
    QImage image(points, QImage::Format_ARGB32_Premultiplied);
    image.fill(QColor(245, 245, 248));
    QPainter painter(&image);
    painter.fillRect(QRect(0, 0, points.width() / 4, points.height()), QColor(60, 70, 90));
    painter.setPen(QPen(QColor(40, 120, 220), 3));
    for (int x = points.width() / 4; x < points.width(); x += 37)
        painter.drawLine(x, 0, x, points.height());
    for (int y = 0; y < points.height(); y += 29)
        painter.drawLine(0, y, points.width(), y);
    painter.fillRect(QRect(points.width() / 2, points.height() / 3, 120, 60), QColor(230, 60, 50));
    return image;
}

// What the canvas shows inside the export frame is what the export holds, pixel for pixel.
TEST_F(Canvas, MatchesTheExportInsideTheFrame)
{
    const auto redaction = [](const QRectF& rect, RedactStyle style) {
        RedactAnnotation redact = RedactAnnotation::make(rect, Qt::black);
        redact.redactStyle = style;
        return redact;
    };
    const struct {
        const char* name;
        std::function<void()> arrange;
    } cases[] = {
        {"flat card", [] {}},
        {"padded and panned", [&] {
             editor->setPadding(60);
             editor->setCanvasOffset(QSizeF(-40, 25));
         }},
        {"a frame of the user's across the card's edge", [&] { editor->setExportFrameRect(QRectF(100, 80, 420, 300)); }},
        {"tilted with redactions", [&] {
             editor->addAnnotation(RedactAnnotation::make(QRectF(40, 40, 200, 60), QColor(20, 20, 20)));
             // Pixelate and blur follow the card: drawn into the raster from its own pixels.
             editor->addAnnotation(redaction(QRectF(300, 100, 180, 90), RedactStyle::pixelate));
             editor->addAnnotation(redaction(QRectF(120, 220, 220, 120), RedactStyle::blur));
             editor->setPadding(80);
             tiltBy(0.35f, -0.2f);
         }},
        {"dimmed around a shape", [&] {
             editStyling([](StylingConfiguration& s) {
                 s.dimming.isEnabled = true;
                 s.background = BackgroundStyle::preset(BackgroundPreset::sunset);
             });
             editor->setPadding(40);
             editor->addAnnotation(ShapeAnnotation::make(QRectF(300, 120, 200, 150), Qt::transparent));
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        editor->resetAllStyling();
        editor->loadImage(patternImage({640, 400}), SourceType::file, false);
        editor->setZoomLevel(1.0); // one exported pixel per canvas pixel
        c.arrange();
        waitForFrame();
        ASSERT_DOUBLE_EQ(editor->exportScale(QSizeF(canvasSize)), 1.0);
        const std::optional<QImage> exported = editor->renderFinalImage();
        ASSERT_TRUE(exported.has_value());
        const QRectF frame = editor->exportFrameRect().value_or(editor->derivedExportFrame(QSizeF(canvasSize)));
        ASSERT_EQ(exported->size(), OffscreenSceneRenderer::pixelSizeFor(frame.size(), 1.0));
        const QImage framebuffer = canvas->grabFramebuffer();
        ASSERT_EQ(framebuffer.size(), canvasSize);
        const Agreement agreement = compare(*exported, framebuffer, QPoint(std::lround(frame.left()), std::lround(frame.top())), 2, 24);
        EXPECT_LT(agreement.mean, 1.5);
        EXPECT_LT(agreement.share, 0.003);
    }
}

// Textures are rebuilt for what changed only: corners redraw from the same ones, the same
// background twice is built once, and the annotations get a texture only for a tilt.
TEST_F(Canvas, RebuildsOnlyTheTexturesThatChanged)
{
    const CanvasView::TextureBuilds before = canvas->textureBuilds();
    for (double radius : {4.0, 12.0, 30.0}) {
        editStyling([&](StylingConfiguration& s) { s.cornerRadius = radius; });
        waitForFrame();
    }
    EXPECT_EQ(canvas->textureBuilds().background, before.background);
    EXPECT_EQ(canvas->textureBuilds().screenshot, before.screenshot);
    for (int i = 0; i < 2; ++i) {
        editor->setBackground(BackgroundPreset::sunset);
        waitForFrame();
        EXPECT_EQ(canvas->textureBuilds().background, before.background + 1);
    }

    editor->addAnnotation(RedactAnnotation::make(QRectF(10, 10, 80, 30), Qt::black));
    waitForFrame();
    const int flat = canvas->textureBuilds().annotation;
    editor->beginRotationGesture();
    ASSERT_TRUE(waitUntil([&] { return canvas->textureBuilds().annotation == flat + 1; }));
    editor->rotateBy(0.5f, 0);
    editor->endRotationGesture();
    waitForFrame();
    EXPECT_EQ(canvas->textureBuilds().annotation, flat + 1);
    // Easing asks for frames only until it has settled.
    EXPECT_FLOAT_EQ(canvas->displayedYaw(), 0.5f);
    const int settled = canvas->framesDrawn();
    QTest::qWait(200);
    EXPECT_EQ(canvas->framesDrawn(), settled);
}

// The fill behind the card is kept between frames; whatever changes it must show in the
// next frame, at either size, and a new screenshot must replace the old one on screen. The
// wallpaper is prepared off the GUI thread.
TEST_F(Canvas, ShowsChangesBehindAndOnTheCardInTheNextFrame)
{
    QThread* gui = QThread::currentThread();
    std::atomic<bool> askedOnGuiThread = true;
    canvas->setWallpaperProvider([&] {
        askedOnGuiThread = QThread::currentThread() == gui;
        QImage picture(400, 300, QImage::Format_RGB32);
        picture.fill(QColor(10, 200, 30));
        return std::optional<QImage>(picture);
    });
    editor->setZoomLevel(0.5); // the card in the middle, the background in the corners
    const auto background = [&](BackgroundStyle style) { editStyling([&](StylingConfiguration& s) { s.background = style; }); };
    const auto blue = [](QColor c, QColor) { return c.blue() > 200 && c.green() < 40; };
    const struct {
        const char* name;
        std::function<void()> change;
        std::function<bool(QColor corner, QColor middle)> shows;
    } steps[] = {
        {"the wallpaper", [&] {
             const int before = canvas->textureBuilds().background;
             editor->setBackgroundToWallpaper();
             canvas->requestFrame();
             ASSERT_TRUE(waitUntil([&] { return canvas->textureBuilds().background == before + 1; }));
         }, [](QColor c, QColor) { return c.green() > 150 && c.red() < 60; }},
        {"solid background", [&] { background(BackgroundStyle::solidColor({0, 0.8, 0, 1})); },
         [](QColor c, QColor) { return c.green() > 180 && c.red() < 40; }},
        {"transparent: the checker", [&] { background(BackgroundStyle::transparent()); },
         [](QColor c, QColor) { return c.red() == c.green() && c.red() > 140; }},
        {"another solid background", [&] { background(BackgroundStyle::solidColor({0, 0, 0.9, 1})); }, blue},
        {"a smaller canvas", [&] { canvas->resize(700, 500); }, blue},
        {"a new screenshot", [&] { editor->loadImage(solidImage({800, 500}, 1.0, QColor(250, 230, 10)), SourceType::file, false); },
         [](QColor, QColor m) { return m.red() > 230 && m.green() > 200 && m.blue() < 60; }},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.name);
        step.change();
        waitForFrame();
        const QImage frame = canvas->grabFramebuffer();
        const QColor corner = frame.pixelColor(3, 3), middle = frame.pixelColor(frame.width() / 2, frame.height() / 2);
        EXPECT_TRUE(step.shows(corner, middle)) << qPrintable(corner.name()) << " " << qPrintable(middle.name());
    }
    EXPECT_FALSE(askedOnGuiThread);
}

} // namespace
} // namespace pelorin::test
