#include "UiFixture.h"

#include "core/AppConstants.h"
#include "render/OffscreenSceneRenderer.h"
#include "ui/AnnotationOverlayView.h"
#include "ui/CanvasInputLayer.h"
#include "ui/ChromeButton.h"
#include "ui/ExportFrameView.h"
#include "ui/ReturnTo2DButton.h"
#include "ui/SceneControlsView.h"
#include "ui/CanvasView.h"

#include <QNativeGestureEvent>
#include <QPointingDevice>
#include <QStyleHints>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <set>

namespace pelorin::test {
namespace {

// Counts the presses and releases that reach the annotation overlay, the layer below the
// navigation layer that takes plain clicks and drags.
class PointerProbe : public QObject {
public:
    explicit PointerProbe(CanvasView* canvas) : QObject(canvas) { canvas->annotationOverlay()->installEventFilter(this); }
    int presses = 0, releases = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        const auto type = event->type();
        presses += type == QEvent::MouseButtonPress;
        releases += type == QEvent::MouseButtonRelease;
        return false;
    }
};

// An editor with a canvas of its own as a top-level window, driven with real pointer and key
// events. Document points map to the canvas through the annotation overlay's own mapping.
class Canvas : public EditorUiFixture {
public:
    static constexpr QSize canvasSize{1000, 700};

    Canvas()
        : pointer(canvas.get())
    {
        showWindow(*canvas, canvasSize);
        open({800, 500}, QColor(238, 240, 244));
        editor->setZoomLevel(1.0);
        canvas->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(canvas.get()));
        probe = new PointerProbe(canvas.get());
        overlay = canvas->annotationOverlay();
    }

    void open(QSizeF points, QColor color = QColor(220, 30, 40))
    {
        editor->loadImage(solidImage(points, 1.0, color), SourceType::file, false);
        waitForFrame();
    }
    void waitForFrame()
    {
        const int before = canvas->framesDrawn();
        canvas->requestFrame();
        ASSERT_TRUE(waitUntil([&] { return canvas->framesDrawn() > before && !canvas->isEasing() && !canvas->isShowingPreview(); }));
    }
    QPointF centre() const { return QPointF(canvasSize.width() / 2.0, canvasSize.height() / 2.0); }
    Qt::CursorShape cursor() const { return canvas->cursor().shape(); }
    void dragBy(QPointF by, Qt::MouseButton button = Qt::LeftButton, Qt::KeyboardModifiers mods = {}, int steps = 2)
    {
        pointer.drag(centre(), centre() + by, button, mods, steps);
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

    // Space pans only with the pointer over the canvas.
    void pointerOverTheCanvas()
    {
        QCursor::setPos(canvas->mapToGlobal(centre().toPoint()));
        ASSERT_TRUE(waitUntil([&] { return canvas->rect().contains(canvas->mapFromGlobal(QCursor::pos())); }));
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

    std::unique_ptr<CanvasView> canvas = std::make_unique<CanvasView>(*editor);
    Pointer pointer;
    PointerProbe* probe = nullptr;
    AnnotationOverlayView* overlay = nullptr;
};
using Overlay = Canvas;

// Only navigation gestures move the card; plain drags reach the layer below. Drags move in
// two equal steps; drag-zooming multiplies once per step. Ctrl+drag tilts (down tips the top
// edge towards the viewer), and small tilts snap back flat on release. Wheels and pinches
// scale the zoom about the pan point.
TEST_F(Canvas, NavigationMovesZoomsOrTiltsTheCard)
{
    // Alt+drag moves windows under most Linux window managers; Space+drag pans as in image
    // editors: both show the open hand, over a tool's cursor too.
    pointerOverTheCanvas();
    pointer.move(centre()); // Qt keeps the modifiers of the last input event, another test's too
    for (const bool tool : {true, false}) {
        editor->setSelectedTool(tool ? std::optional(AnnotationTool::arrow) : std::nullopt);
        const Qt::CursorShape plain = tool ? Qt::DragCopyCursor : Qt::ArrowCursor;
        EXPECT_EQ(cursor(), plain);
        for (const auto& [key, modifier] : {std::pair{Qt::Key_Alt, Qt::AltModifier}, {Qt::Key_Space, Qt::NoModifier}}) {
            QTest::keyPress(canvas.get(), key);
            EXPECT_EQ(cursor(), Qt::OpenHandCursor) << key << " tool " << tool;
            QTest::keyRelease(canvas.get(), key, modifier);
            EXPECT_EQ(cursor(), plain) << key << " tool " << tool;
        }
    }
    pointer.press(centre(), Qt::RightButton);
    EXPECT_EQ(cursor(), Qt::ClosedHandCursor);
    pointer.release(centre(), Qt::RightButton);
    EXPECT_EQ(cursor(), Qt::ArrowCursor);

    const auto ctrlDrag = [&](QPointF by) { return [=, this] { dragBy(by, Qt::LeftButton, Qt::ControlModifier); }; };
    const auto scroll = [&](QPoint pixels, QPoint angle) { return [=, this] { wheel(pixels, angle); }; };
    const struct {
        const char* name;
        std::function<void()> input;
        QPointF pan;
        double zoomFactor;
        QPointF tilt; // in points dragged
        bool reachesLayerBelow = false;
    } cases[] = {
        // Space+drag pans as in image editors; the plain drag after it shows Space was let go.
        {"Space+drag pans", [&] {
             pointerOverTheCanvas();
             QTest::keyPress(canvas.get(), Qt::Key_Space);
             dragBy({30, -20});
             QTest::keyRelease(canvas.get(), Qt::Key_Space);
         }, {30, -20}, 1.0, {}},
        {"plain left drag", [&] { dragBy({40, 30}); }, {}, 1.0, {}, true},
        {"Alt+left drag pans", [&] { dragBy({40, 30}, Qt::LeftButton, Qt::AltModifier); }, {40, 30}, 1.0, {}},
        {"right drag pans", [&] { dragBy({-60, 20}, Qt::RightButton); }, {-60, 20}, 1.0, {}},
        {"middle drag pans", [&] { dragBy({10, -50}, Qt::MiddleButton); }, {10, -50}, 1.0, {}},
        {"Shift+drag up zooms in", [&] { dragBy({0, -40}, Qt::LeftButton, Qt::ShiftModifier); }, {}, 1.1 * 1.1, {}},
        {"Shift+drag down zooms out", [&] { dragBy({25, 40}, Qt::LeftButton, Qt::ShiftModifier); }, {}, 0.9 * 0.9, {}},
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
        {"a modifier pressed during a plain drag does not steal it", [&] {
             pointer.press(centre());
             pointer.move(centre() + QPointF(20, 0));
             QTest::mouseRelease(pointer.window(), Qt::LeftButton, Qt::AltModifier, pointer.toWindow(centre() + QPointF(40, 0)));
         }, {}, 1.0, {}, true},
        {"Ctrl+drag pans over the components", [&] {
             editor->setShowComponentOverlay(true);
             dragBy({50, 10}, Qt::LeftButton, Qt::ControlModifier, 4);
         }, {50, 10}, 1.0, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        editor->resetAllStyling();
        editor->setCanvasOffset(QSizeF(30, -20));
        editor->setZoomLevel(1.0);
        probe->presses = probe->releases = 0;
        c.input();
        EXPECT_NEAR(editor->canvasTransform().canvasOffset.width(), 30 + c.pan.x(), 1e-9);
        EXPECT_NEAR(editor->canvasTransform().canvasOffset.height(), -20 + c.pan.y(), 1e-9);
        EXPECT_NEAR(editor->canvasTransform().zoomLevel, c.zoomFactor, 1e-9);
        EXPECT_EQ(probe->presses > 0, c.reachesLayerBelow);
        EXPECT_EQ(probe->releases, probe->presses);
        EXPECT_FALSE(canvas->inputLayer()->isPanning() || canvas->inputLayer()->isZooming() || editor->isRotatingGesture());
        const SceneState scene = editor->sceneState();
        EXPECT_EQ(scene.isPerspective, !c.tilt.isNull());
        EXPECT_NEAR(scene.yaw, c.tilt.x() * std::numbers::pi / 600, 1e-5);
        EXPECT_NEAR(scene.pitch, c.tilt.y() * std::numbers::pi / 600, 1e-5);
        waitForFrame();
        EXPECT_NEAR(canvas->displayedYaw(), scene.yaw, 1e-6);
    }
    // Without a document nothing is claimed.
    editor->setCanvasOffset(QSizeF(0, 0));
    editor->clearDocument();
    dragBy({30, 30}, Qt::LeftButton, Qt::AltModifier);
    wheel({0, 10}, {0, 120});
    EXPECT_EQ(editor->canvasTransform().canvasOffset, QSizeF(0, 0));
    EXPECT_EQ(editor->canvasTransform().zoomLevel, 1.0);
}

// What the controls show: the projection button's tip, checked, enabled; reset shown,
// enabled; the return-to-2D button wanted.
TEST_F(Canvas, SceneControlsAndTheExportFrameFollowTheSceneAndThePointer)
{
    ChromeButton* projection = canvas->sceneControls()->projectionButton();
    ChromeButton* reset = canvas->sceneControls()->resetButton();
    ReturnTo2DButton* flatten = canvas->returnTo2DButton();
    // Each step from where the one before left the scene.
    const struct { const char* name; std::function<void()> step; const char* shown; } steps[] = {
        {"flat", [] {}, "Switch to 3D, -, enabled; -, -; -"},
        {"during a gesture from flat", [&] { editor->beginRotationGesture(); }, "Switch to 2D, checked, enabled; reset, -; 2D"},
        {"a gesture that never turned snaps back flat", [&] { editor->endRotationGesture(); }, "Switch to 3D, -, enabled; -, -; -"},
        {"perspective, untilted", [&] { projection->click(); }, "Switch to 2D, checked, enabled; reset, -; -"},
        {"components shown", [&] { editor->setShowComponentOverlay(true); }, "Switch to 2D, checked, -; reset, -; -"},
        {"components hidden", [&] { editor->setShowComponentOverlay(false); }, "Switch to 2D, checked, enabled; reset, -; -"},
        {"a small pitch beyond the snap back", [&] { tiltBy(0, 0.03f); }, "Switch to 2D, checked, enabled; reset, enabled; 2D"},
        {"tilted", [&] { tiltBy(0.3f, -0.2f); }, "Switch to 2D, checked, enabled; reset, enabled; 2D"},
        {"reset pressed", [&] { reset->click(); }, "Switch to 2D, checked, enabled; reset, -; -"},
        {"tilted again", [&] { tiltBy(0.2f, 0.1f); }, "Switch to 2D, checked, enabled; reset, enabled; 2D"},
        {"switched back to 2D", [&] { projection->click(); }, "Switch to 3D, -, enabled; -, -; -"},
        {"analysing", [&] { editor->setIsAnalyzing(true); }, "Switch to 3D, -, -; -, -; -"},
    };
    for (const auto& c : steps) {
        c.step();
        const auto word = [](bool on, const char* name) { return QLatin1String(on ? name : "-"); };
        const QString shown = QStringLiteral("%1, %2, %3; %4, %5; %6")
                                  .arg(projection->toolTip(), word(projection->isChecked(), "checked"),
                                       word(projection->isEnabled(), "enabled"), word(reset->isVisibleTo(canvas.get()), "reset"),
                                       word(reset->isEnabled(), "enabled"), word(flatten->isWanted(), "2D"));
        EXPECT_EQ(shown.toStdString(), c.shown) << c.name;
    }
    // Switching to 2D flattens what is drawn too.
    waitForFrame();
    EXPECT_EQ(editor->sceneState(), SceneState{});
    EXPECT_EQ(canvas->displayedYaw(), 0.f);
    EXPECT_EQ(canvas->displayedPitch(), 0.f);
    editor->setIsAnalyzing(false);

    // The return-to-2D button fades in while tilted and flattens on a click. A frame reaching
    // the canvas's bottom pulls its tag up to where the button stands.
    tiltBy(0.3f, 0);
    ASSERT_TRUE(waitUntil([&] { return flatten->opacity() == 1.0 && flatten->isVisible(); }));
    pointer.drag(flatten->geometry().center(), flatten->geometry().center(), Qt::LeftButton, {}, 0);
    EXPECT_FALSE(editor->sceneState().isPerspective);
    ASSERT_TRUE(waitUntil([&] { return !flatten->isVisible(); }));
    editor->setExportFrameRect(QRectF(300, 400, 400, 300));
    tiltBy(0.3f, 0);
    const QRect above = flatten->geometry();
    EXPECT_LT(above.bottom(), canvas->exportFrameView()->tagRect().top());
    editor->setExportFrameRect(std::nullopt);
    EXPECT_GT(flatten->geometry().bottom(), above.bottom()) << "back down once the tag has gone";

    // A 600 × 400 point screenshot at zoom 1 in the 1000 × 700 canvas: the default frame is
    // the card. Grips move or resize the frame, inside the canvas and above the minimum size,
    // and store it when the drag ends; drags elsewhere go to the canvas.
    editor->resetAllStyling();
    open({600, 400});
    editor->setZoomLevel(1.0);
    const QRectF startFrame(200, 150, 600, 400);
    ExportFrameView* view = canvas->exportFrameView();
    // expected: none where the drag is not the frame's
    const struct { const char* name; QPointF from, by; std::optional<QRectF> expected; } cases[] = {
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
        probe->presses = 0;
        pointer.drag(c.from, c.from + c.by, Qt::LeftButton, {}, c.by.isNull() ? 0 : 4);
        EXPECT_EQ(view->frame(), c.expected.value_or(startFrame));
        EXPECT_EQ(editor->exportFrameRect(), c.expected);
        EXPECT_EQ(probe->presses, c.expected || c.by.isNull() ? 0 : 1);
    }

    // Shown while dragged, stored on release; a padding change removes it.
    pointer.press({800, 350});
    pointer.move({780, 350});
    pointer.move({700, 350});
    EXPECT_EQ(view->frame(), QRectF(200, 150, 500, 400));
    EXPECT_FALSE(editor->exportFrameRect().has_value());
    pointer.release({700, 350});
    editor->setPadding(20);
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

// What the canvas shows inside the export frame is what the export holds, pixel for pixel.
TEST_F(Canvas, MatchesTheExportAndShowsChangesInTheNextFrameRebuildingOnlyWhatChanged)
{
    const auto redaction = [](const QRectF& rect, RedactStyle style) {
        RedactAnnotation redact = RedactAnnotation::make(rect, Qt::black);
        redact.redactStyle = style;
        return redact;
    };
    const struct { const char* name; std::function<void()> arrange; } cases[] = {
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
        {"annotations of every kind", [&] {
             TextAnnotation text = TextAnnotation::make({380, 260}, Qt::blue);
             text.text = QStringLiteral("Hello\nworld 42");
             const QColor blue = Qt::blue, yellow = AppConstants::defaultHighlighterColor();
             for (const Annotation& a : {Annotation(text), Annotation(ArrowAnnotation::make({40, 40}, {240, 140}, blue)),
                                         Annotation(ShapeAnnotation::make(QRectF(300, 60, 200, 120), blue)),
                                         Annotation(StrokeAnnotation::make(StrokeKind::pen, {{420, 300}, {600, 380}}, blue, 4)),
                                         Annotation(StrokeAnnotation::make(StrokeKind::highlighter, {{40, 360}, {300, 360}},
                                                                           yellow, 20)),
                                         Annotation(StepAnnotation::make({560, 40}, 3, blue, 32)),
                                         Annotation(redaction(QRectF(170, 240, 120, 80), RedactStyle::pixelate))})
                 editor->addAnnotation(a);
             editor->setSelectedAnnotationId({});
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        editor->resetAllStyling();
        // A screenshot with structure, so that a shifted or scaled card shows.
        editor->loadImage(QImage(QStringLiteral(PELORIN_SAMPLE)).scaled(640, 400), SourceType::file, false);
        editor->setZoomLevel(1.0); // one exported pixel per canvas pixel
        c.arrange();
        waitForFrame();
        const std::optional<QImage> exported = editor->renderFinalImage();
        ASSERT_TRUE(exported.has_value());
        const QRectF frame = editor->exportFrameRect().value_or(editor->derivedExportFrame(QSizeF(canvasSize)));
        ASSERT_EQ(exported->size(), OffscreenSceneRenderer::pixelSizeFor(frame.size(), 1.0));
        // Flat annotations are drawn by the overlay above the picture, a tilted card's in it
        // (where the return-to-2D button would stand in the way).
        const QImage shown = overlay->isPresent() ? canvas->grab().toImage() : canvas->grabFramebuffer();
        ASSERT_EQ(shown.size(), canvasSize);
        // The mean of the largest channel difference, and the share of pixels where it is above
        // 24, leaving out 3 pixels along the edges.
        const QImage a = exported->convertToFormat(QImage::Format_RGB32);
        const QPoint origin(std::lround(frame.left()), std::lround(frame.top()));
        double sum = 0, large = 0, count = 0;
        for (int y = 3; y < a.height() - 3; ++y) {
            for (int x = 3; x < a.width() - 3; ++x, ++count) {
                const QColor p = a.pixelColor(x, y), q = shown.pixelColor(origin + QPoint(x, y));
                const int d = std::max({std::abs(p.red() - q.red()), std::abs(p.green() - q.green()), std::abs(p.blue() - q.blue())});
                sum += d;
                large += d > 24;
            }
        }
        EXPECT_LT(sum / count, 1.5);
        EXPECT_LT(large / count, 0.003);
    }

    // The fill behind the card is kept between frames; whatever changes it must show in the
    // next frame, at either size, and a new screenshot must replace the old one on screen.
    // The wallpaper is prepared off the GUI thread.
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
    const struct { const char* name; std::function<void()> change; std::function<bool(QColor, QColor)> shows; } steps[] = {
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

    // Textures are rebuilt for what changed only: corners redraw from the same ones, the same
    // background twice is built once, and the annotations get a texture only for a tilt.
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

// Several annotations are chosen by a rubber band, Shift+click, all at once; moved, nudged,
// duplicated and deleted together, each one step to undo. Handles resize one.
TEST_F(Overlay, ClicksAndBandsSelectAndSelectionsMoveResizeAndDelete)
{
    const QUuid a = add(editor->makeShapeAnnotation(QRectF(100, 100, 80, 60)));
    const QUuid b = add(editor->makeStepAnnotation({300, 150}));
    const QUuid c = add(StrokeAnnotation::make(StrokeKind::pen, {{100, 300}, {200, 340}}, Qt::red, 4));
    const QUuid far = add(editor->makeRedactAnnotation(QRectF(600, 400, 60, 40)));
    editor->setSelectedAnnotationId({});
    using Ids = std::set<QUuid>;
    const auto selection = [&] { return Ids(editor->selectedAnnotationIds().begin(), editor->selectedAnnotationIds().end()); };

    drag({80, 80}, {350, 360}); // over empty card, in pointer mode
    EXPECT_EQ(selection(), (Ids{a, b, c}));
    click({140, 101}, Qt::ShiftModifier);
    EXPECT_EQ(selection(), (Ids{b, c})) << "Shift+click takes one out";
    click({630, 420}, Qt::ShiftModifier);
    EXPECT_EQ(selection(), (Ids{b, c, far})) << "and puts one in";

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
    EXPECT_EQ(selection(), (Ids{a, b, c, far}));
    editor->duplicateSelection();
    ASSERT_EQ(list().size(), 8u);
    EXPECT_EQ(std::get<ShapeAnnotation>(list()[4]).position, QPointF(110, 110));
    EXPECT_EQ(std::get<StepAnnotation>(list()[5]).number, 2) << "a copied step takes the next number";
    key(Qt::Key_Backspace);
    EXPECT_EQ(list(), before);
    editor->undoAnnotationChange();
    EXPECT_EQ(list().size(), 8u) << "deleting four: one step";

    // From a 200 × 100 shape at (200, 150), each handle dragged by the case's movement. A click
    // selects the uppermost annotation and empty space deselects; a selected redaction is
    // resized by its corners and moved by its body.
    open({800, 500});
    editor->setZoomLevel(1.0);
    using H = ShapeHandlePosition;
    const struct { const char* name; H handle; QPointF move; QRectF expected; } cases[] = {
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
    for (const auto& h : cases) {
        SCOPED_TRACE(h.name);
        const QUuid id = add(editor->makeShapeAnnotation(r));
        const QPointF from = handles[int(h.handle)];
        drag(from, from + h.move);
        EXPECT_EQ(boundingRect(get<ShapeAnnotation>(id), 1), h.expected);
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
    click({600, 400});
    EXPECT_TRUE(editor->selectedAnnotationId().isNull());
}

// Arrow ends attach to a shape they are drawn or dragged onto (or let go 8 points short
// of), never to another arrow, and follow it.
TEST_F(Overlay, ArrowEndsAttachToShapesByHandAndByTheQuickChain)
{
    const QUuid box = add(editor->makeShapeAnnotation(QRectF(400, 100, 150, 100)));
    const QUuid label = add(editor->makeShapeAnnotation(QRectF(50, 300, 100, 60)));
    const struct { const char* name; QPointF from, to; std::optional<QUuid> start, end; } cases[] = {
        {"onto the box", {100, 150}, {470, 150}, std::nullopt, box},
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
    pointer.release(at({392, 150}));
    EXPECT_EQ(target(get<ArrowAnnotation>(id).endAttachment), box);
    click({100, 150});
    drag({100, 150}, {200, 400});
    EXPECT_FALSE(get<ArrowAnnotation>(id).startAttachment);
    EXPECT_EQ(get<ArrowAnnotation>(id).position, QPointF(200, 400));

    // Moving the box takes the attached ends along; Delete takes it away and sets them free.
    click({430, 100});
    drag({430, 100}, {430, 200});
    EXPECT_EQ(boundingRect(get<ShapeAnnotation>(box), 1), QRectF(400, 200, 150, 100));
    const auto moved = std::get<ArrowAnnotation>(editor->hitTestAnnotations()[2]);
    EXPECT_GT(moved.endPoint.y(), drawn.endPoint.y() + 50);
    key(Qt::Key_Delete);
    EXPECT_FALSE(get<ArrowAnnotation>(drawn.id).endAttachment);
    EXPECT_TRUE(editor->selectedAnnotationId().isNull());

    // The quick chain outlines an element and ties a labelled arrow to the outline.
    open({800, 500});
    editor->setZoomLevel(1.0);
    editor->setLocalDetectedElements({QRectF(100, 100, 300, 200), QRectF(150, 150, 80, 40), QRectF(500, 300, 100, 60)});
    editor->selectTool(AnnotationTool::quick);

    click({170, 160}); // inside the large and the small element: the small one is outlined
    ASSERT_EQ(list().size(), 1u);
    const auto outline = std::get<ShapeAnnotation>(list()[0]);
    EXPECT_EQ(QRectF(outline.position, outline.size), QRectF(150, 150, 80, 40));
    EXPECT_EQ(outline.shapeType, ShapeType::rectangle);
    EXPECT_TRUE(editor->hasQuickChainEscapeHandler());

    click({300, 350}); // below and right of the outline: the caption goes further out
    ASSERT_EQ(list().size(), 3u);
    ASSERT_TRUE(editing());
    EXPECT_FALSE(editor->hasQuickChainEscapeHandler());
    const auto caption = std::get<TextAnnotation>(list()[1]);
    const auto arrow = std::get<ArrowAnnotation>(list()[2]);
    EXPECT_GT(caption.position.x(), 300);
    EXPECT_EQ(arrow.startAttachment->targetId, caption.id);
    EXPECT_EQ(arrow.endAttachment->targetId, outline.id);
    ASSERT_TRUE(fieldHasFocus());
    type(QStringLiteral("Save"));
    key(Qt::Key_Return);
    EXPECT_EQ(get<TextAnnotation>(caption.id).text, QStringLiteral("Save"));
    EXPECT_EQ(editor->selectedTool(), AnnotationTool::quick);

    // A second chain, left of and above the third element; Esc on its caption takes the caption
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

    // Esc while the chain waits for its caption's place takes back only the waiting arrow.
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
// for the next line; steps are placed by clicks; a text is typed in place and edited again.
TEST_F(Overlay, ToolsDrawEveryKindAndTextsAndStepsAreTypedInPlace)
{
    // The dimming's hole follows a shape while it is dragged out; a tilted card has no overlay
    // until a tool is chosen.
    editStyling([](StylingConfiguration& s) { s.dimming.isEnabled = true; });
    editor->selectTool(AnnotationTool::shape);
    pointer.press(at({650, 420}));
    pointer.move(at({760, 480}));
    EXPECT_EQ(editor->currentDimState().holes.size(), 1u);
    pointer.release(at({760, 480}));
    editor->selectTool(std::nullopt);
    EXPECT_TRUE(overlay->isPresent());
    tiltBy(0.4f, 0);
    EXPECT_FALSE(overlay->isPresent());

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
    // Each step is one above the highest, centred on the click, and the tool stays armed.
    editor->selectTool(AnnotationTool::step);
    click({560, 40});
    click({600, 40});
    const auto step = std::get<StepAnnotation>(list().back());
    EXPECT_EQ(step.number, 2);
    EXPECT_EQ(step.position, QPointF(600 - 16, 40 - 16));
    EXPECT_EQ(editor->selectedTool(), AnnotationTool::step);
    // A text is typed in place, over lines; Return ends it and leaves the tool.
    editor->selectTool(AnnotationTool::text);
    click({380, 260});
    ASSERT_TRUE(fieldHasFocus());
    type(QStringLiteral("Hello"));
    key(Qt::Key_Return, Qt::ShiftModifier);
    type(QStringLiteral("world 42"));
    key(Qt::Key_Return);
    ASSERT_FALSE(editing());
    const auto text = std::get<TextAnnotation>(list().back());
    EXPECT_EQ(text.text, QStringLiteral("Hello\nworld 42"));
    EXPECT_EQ(text.position, QPointF(380, 260));
    EXPECT_EQ(editor->selectedTool(), std::nullopt);
    editor->setSelectedAnnotationId({});
    ASSERT_EQ(list().size(), 12u);

    // A double click edits the text again; a whitespace-only text removes it.
    doubleClick({390, 270});
    ASSERT_TRUE(editing());
    ASSERT_TRUE(fieldHasFocus());
    overlay->textField()->selectAll();
    type(QStringLiteral("  "));
    key(Qt::Key_Return, Qt::ShiftModifier);
    key(Qt::Key_Return);
    EXPECT_EQ(list().size(), 11u);
    EXPECT_FALSE(std::holds_alternative<TextAnnotation>(list().back()));

    // A step's number is typed like a text; anything but a number above 0 keeps it.
    for (const auto& [typed, expected] : {std::pair{"0", 2}, {"12", 12}}) {
        doubleClick({600, 40});
        ASSERT_TRUE(fieldHasFocus());
        overlay->textField()->selectAll();
        type(QLatin1String(typed));
        key(Qt::Key_Return);
        EXPECT_EQ(get<StepAnnotation>(step.id).number, expected) << typed;
    }
}

} // namespace
} // namespace pelorin::test
