// Frame times of the editor's canvas in a real window (run under Xvfb or a desktop):
//   bench_canvas --benchmark_counters_tabular=true
#include "core/Fonts.h"
#include "editor/EditorViewModel.h"
#include "platform/NotificationCenter.h"
#include "platform/SettingsStore.h"
#include "ui/AnnotationOverlayView.h"
#include "ui/CanvasView.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QImage>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <memory>
#include <optional>
#include <vector>

#include "BenchScreenshot.h"

using namespace pelorin;

namespace {

constexpr QSize canvasSize{1600, 1000};

struct Canvas {
    QTemporaryDir dir;
    SettingsStore settings{dir.filePath(QStringLiteral("settings.json"))};
    NotificationCenter notifications;
    EditorViewModel editor{settings, notifications};
    std::unique_ptr<CanvasView> view;

    Canvas()
    {
        editor.setScreenScaleProvider([] { return 2.0; });
        view = std::make_unique<CanvasView>(editor);
        view->resize(canvasSize);
        view->show();
        editor.loadImage(benchScreenshot(), SourceType::file, false);
        settle();
    }

    // Waits for the next frame; the window is flushed to the screen before the loop returns.
    // False after a second without one.
    bool waitForFrame()
    {
        QEventLoop loop;
        const auto swapped = QObject::connect(view.get(), &CanvasView::frameRendered, &loop, &QEventLoop::quit);
        QTimer::singleShot(1000, &loop, [&loop] { loop.exit(1); });
        const bool ok = loop.exec() == 0;
        QObject::disconnect(swapped);
        return ok;
    }

    void settle()
    {
        view->update();
        while (waitForFrame() && view->isEasing()) {
        }
    }
};

// Made on first use and destroyed before the application ends.
std::unique_ptr<Canvas> sharedCanvas;

Canvas& canvas()
{
    if (!sharedCanvas)
        sharedCanvas = std::make_unique<Canvas>();
    return *sharedCanvas;
}

// Processor time of the whole process, the rasteriser's threads included: steadier than the
// wall clock on a machine that others share.
double processCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// One frame of a card that is still turning: each iteration nudges the target as a Ctrl-drag
// does and waits for the eased frame to reach the screen.
void BM_TiltEasingFrame(benchmark::State& state)
{
    Canvas& c = canvas();
    c.editor.beginRotationGesture();
    c.settle();
    std::vector<double> frames;
    float direction = 1;
    QElapsedTimer clock;
    clock.start();
    for (auto _ : state) {
        if (std::abs(c.editor.rotationTargets().yaw) > 0.9f)
            direction = -direction;
        c.editor.rotateBy(0.01f * direction, -0.004f * direction);
        const qint64 start = clock.nsecsElapsed();
        if (!c.waitForFrame()) {
            state.SkipWithError("no frame");
            break;
        }
        const double seconds = double(clock.nsecsElapsed() - start) / 1e9;
        frames.push_back(seconds);
        state.SetIterationTime(seconds);
    }
    c.editor.endRotationGesture();
    c.editor.resetRotation();
    c.settle();
    const double m = median(frames);
    state.counters["median_ms"] = m * 1e3;
    state.counters["median_fps"] = m > 0 ? 1 / m : 0;
}
BENCHMARK(BM_TiltEasingFrame)->UseManualTime()->Iterations(300)->Unit(benchmark::kMillisecond);

// A full-resolution frame of the untilted card, from the request to the window's flush, with
// where the time went.
void BM_FullFrame(benchmark::State& state)
{
    Canvas& c = canvas();
    c.settle();
    std::vector<double> frames, cpu, textures, draws, readBacks, presents;
    QElapsedTimer clock;
    clock.start();
    for (auto _ : state) {
        const double cpuStart = processCpuSeconds();
        const qint64 start = clock.nsecsElapsed();
        c.view->requestFrame();
        if (!c.waitForFrame() || c.view->isShowingPreview()) {
            state.SkipWithError("no full frame");
            break;
        }
        // The layers and the flush follow the scene in the same paint.
        QCoreApplication::processEvents();
        const double seconds = double(clock.nsecsElapsed() - start) / 1e9;
        frames.push_back(seconds);
        cpu.push_back(processCpuSeconds() - cpuStart);
        state.SetIterationTime(seconds);
        const CanvasView::FrameTimings t = c.view->lastFrameTimings();
        textures.push_back(t.textures);
        draws.push_back(t.draw);
        readBacks.push_back(t.readBack);
        presents.push_back(t.present);
    }
    state.counters["median_ms"] = median(frames) * 1e3;
    state.counters["cpu_ms"] = median(cpu) * 1e3;
    state.counters["draw_ms"] = median(draws);
    state.counters["readback_ms"] = median(readBacks);
    state.counters["present_ms"] = median(presents);
    state.counters["textures_ms"] = median(textures);
}
BENCHMARK(BM_FullFrame)->UseManualTime()->Iterations(60)->Unit(benchmark::kMillisecond);

// From a change of the corner radius (a slider drag) to the frame that shows it.
void BM_CornerRadiusToFrame(benchmark::State& state)
{
    Canvas& c = canvas();
    std::vector<double> frames;
    QElapsedTimer clock;
    clock.start();
    bool odd = false;
    for (auto _ : state) {
        StylingConfiguration styling = c.editor.styling();
        styling.cornerRadius = odd ? 12 : 30;
        odd = !odd;
        const qint64 start = clock.nsecsElapsed();
        c.editor.setStyling(styling);
        if (!c.waitForFrame()) {
            state.SkipWithError("no frame");
            break;
        }
        const double seconds = double(clock.nsecsElapsed() - start) / 1e9;
        frames.push_back(seconds);
        state.SetIterationTime(seconds);
    }
    state.counters["median_ms"] = median(frames) * 1e3;
}
BENCHMARK(BM_CornerRadiusToFrame)->UseManualTime()->Iterations(200)->Unit(benchmark::kMillisecond);

// A single change (a click, not a drag) is drawn at full resolution at once.
void BM_SingleChangeFullFrame(benchmark::State& state)
{
    Canvas& c = canvas();
    std::vector<double> frames;
    QElapsedTimer clock;
    clock.start();
    bool odd = false;
    for (auto _ : state) {
        state.PauseTiming();
        // Far enough apart that no two changes count as one drag.
        QEventLoop pause;
        QTimer::singleShot(250, &pause, &QEventLoop::quit);
        pause.exec();
        state.ResumeTiming();
        StylingConfiguration styling = c.editor.styling();
        styling.cornerRadius = odd ? 12 : 30;
        odd = !odd;
        const qint64 start = clock.nsecsElapsed();
        c.editor.setStyling(styling);
        if (!c.waitForFrame() || c.view->isShowingPreview()) {
            state.SkipWithError("no full frame");
            break;
        }
        const double seconds = double(clock.nsecsElapsed() - start) / 1e9;
        frames.push_back(seconds);
        state.SetIterationTime(seconds);
    }
    state.counters["median_ms"] = median(frames) * 1e3;
}
BENCHMARK(BM_SingleChangeFullFrame)->UseManualTime()->Iterations(30)->Unit(benchmark::kMillisecond);

// Dragging the export frame changes only the layers over the scene; the scene is not redrawn.
void BM_ExportFrameMoveToFrame(benchmark::State& state)
{
    Canvas& c = canvas();
    std::vector<double> frames;
    QElapsedTimer clock;
    clock.start();
    double x = 100;
    for (auto _ : state) {
        x = x > 400 ? 100 : x + 7;
        const qint64 start = clock.nsecsElapsed();
        c.editor.setExportFrameRect(QRectF(x, 120, 900, 600));
        // Layers repaint through the window's backing store; wait until it is flushed.
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
        QCoreApplication::processEvents();
        const double seconds = double(clock.nsecsElapsed() - start) / 1e9;
        frames.push_back(seconds);
        state.SetIterationTime(seconds);
    }
    c.editor.setExportFrameRect(std::nullopt);
    state.counters["median_ms"] = median(frames) * 1e3;
}
BENCHMARK(BM_ExportFrameMoveToFrame)->UseManualTime()->Iterations(200)->Unit(benchmark::kMillisecond);

// 50 annotations of every kind spread over the screenshot; the last is a shape.
QUuid addMixedAnnotations(EditorViewModel& editor)
{
    QUuid shapeId;
    for (int i = 0; i < 50; ++i) {
        const QPointF at(60 + (i % 10) * 130, 60 + (i / 10) * 160);
        switch (i % 4) {
        case 0: {
            TextAnnotation text = editor.makeTextAnnotation(at);
            text.text = QStringLiteral("Label %1").arg(i);
            editor.addAnnotation(text);
            break;
        }
        case 1:
            editor.addAnnotation(editor.makeArrowAnnotation(at, at + QPointF(90, 60)));
            break;
        case 2:
            editor.addAnnotation(editor.makeRedactAnnotation(QRectF(at, QSizeF(80, 30))));
            break;
        default:
            break;
        }
    }
    const ShapeAnnotation shape = editor.makeShapeAnnotation(QRectF(600, 400, 240, 160));
    editor.addAnnotation(shape);
    shapeId = shape.id;
    // Arrows tied to the dragged shape follow it live.
    for (int i = 0; i < 3; ++i) {
        ArrowAnnotation arrow = editor.makeArrowAnnotation({100.0 + i * 150, 820}, {0, 0});
        arrow.endAttachment = ArrowAttachment{shapeId, {0.5, 0.5}};
        editor.addAnnotation(arrow);
    }
    editor.setSelectedAnnotationId(shapeId);
    return shapeId;
}

void sendMouse(QWidget* target, QEvent::Type type, QPointF at, Qt::MouseButtons buttons)
{
    QMouseEvent event(type, at, target->mapToGlobal(at), Qt::LeftButton, buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &event);
}

void flushRepaints()
{
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
    QCoreApplication::processEvents();
}

// From a move of a shape's resize handle to the repainted canvas, with 50 annotations on a
// 2880 × 1800 screenshot. Only the annotation layer repaints: no scene frame, no texture.
void BM_AnnotationHandleDragToFrame(benchmark::State& state)
{
    Canvas& c = canvas();
    c.editor.setZoomLevel(1.0);
    const QUuid id = addMixedAnnotations(c.editor);
    c.settle();
    QWidget* overlay = c.view->annotationOverlay();
    const auto shapeRect = [&] {
        for (const Annotation& a : c.editor.document()->annotations)
            if (annotationId(a) == id)
                return boundingRect(a, 1);
        return QRectF();
    };
    const CanvasMapping map = c.view->annotationOverlay()->mapping();
    const QPointF handle = map.toView(shapeRect().bottomRight());
    const int framesBefore = c.view->framesDrawn();
    const int buildsBefore = c.view->textureBuilds().annotation;
    std::vector<double> frames;
    QElapsedTimer clock;
    clock.start();
    sendMouse(overlay, QEvent::MouseButtonPress, handle, Qt::LeftButton);
    double dx = 0;
    for (auto _ : state) {
        dx = dx > 200 ? 0 : dx + 5;
        const qint64 start = clock.nsecsElapsed();
        sendMouse(overlay, QEvent::MouseMove, handle + QPointF(dx, dx / 2), Qt::LeftButton);
        flushRepaints();
        const double seconds = double(clock.nsecsElapsed() - start) / 1e9;
        frames.push_back(seconds);
        state.SetIterationTime(seconds);
    }
    sendMouse(overlay, QEvent::MouseButtonRelease, handle + QPointF(dx, dx / 2), Qt::NoButton);
    flushRepaints();
    state.counters["median_ms"] = median(frames) * 1e3;
    state.counters["scene_frames"] = c.view->framesDrawn() - framesBefore;
    state.counters["texture_builds"] = c.view->textureBuilds().annotation - buildsBefore;
}
BENCHMARK(BM_AnnotationHandleDragToFrame)->UseManualTime()->Iterations(200)->Unit(benchmark::kMillisecond);

// From the release of a moved shape to the canvas showing the committed list.
void BM_AnnotationDragCommit(benchmark::State& state)
{
    Canvas& c = canvas();
    QWidget* overlay = c.view->annotationOverlay();
    const QUuid id = c.editor.selectedAnnotationId();
    std::vector<double> commits;
    QElapsedTimer clock;
    clock.start();
    double dy = 20;
    for (auto _ : state) {
        state.PauseTiming();
        QRectF rect;
        for (const Annotation& a : c.editor.document()->annotations)
            if (annotationId(a) == id)
                rect = boundingRect(a, 1);
        const CanvasMapping map = c.view->annotationOverlay()->mapping();
        // The shape's top edge is its grab band; move it down and back up in turn.
        const QPointF from = map.toView(QPointF(rect.left() + rect.width() / 4, rect.top()));
        dy = -dy;
        sendMouse(overlay, QEvent::MouseButtonPress, from, Qt::LeftButton);
        sendMouse(overlay, QEvent::MouseMove, from + QPointF(0, dy / 2), Qt::LeftButton);
        sendMouse(overlay, QEvent::MouseMove, from + QPointF(0, dy), Qt::LeftButton);
        flushRepaints();
        state.ResumeTiming();
        const qint64 start = clock.nsecsElapsed();
        sendMouse(overlay, QEvent::MouseButtonRelease, from + QPointF(0, dy), Qt::NoButton);
        flushRepaints();
        const double seconds = double(clock.nsecsElapsed() - start) / 1e9;
        commits.push_back(seconds);
        state.SetIterationTime(seconds);
    }
    state.counters["median_ms"] = median(commits) * 1e3;
}
BENCHMARK(BM_AnnotationDragCommit)->UseManualTime()->Iterations(50)->Unit(benchmark::kMillisecond);

// A pen line of 500 points drawn over the canvas: from each pointer move to the repainted
// canvas. The line is smoothed and painted whole on every move, so the last moves cost most:
// worst_ms is the slowest of the last 50.
void BM_PenStroke500PointsToFrame(benchmark::State& state)
{
    Canvas& c = canvas();
    c.editor.setZoomLevel(1.0);
    c.editor.selectTool(AnnotationTool::pen);
    c.settle();
    QWidget* overlay = c.view->annotationOverlay();
    const QPointF origin(300, 300);
    // A spiral-ish scribble, 3 canvas points between samples.
    const auto pointAt = [&](int i) {
        const double t = i * 0.06;
        return origin + QPointF(std::cos(t) * (40 + i * 0.5), std::sin(t) * (40 + i * 0.3)) + QPointF(i * 0.4, 0);
    };
    std::vector<double> frames;
    QElapsedTimer clock;
    clock.start();
    sendMouse(overlay, QEvent::MouseButtonPress, pointAt(0), Qt::LeftButton);
    int i = 0;
    for (auto _ : state) {
        ++i;
        const qint64 start = clock.nsecsElapsed();
        sendMouse(overlay, QEvent::MouseMove, pointAt(i), Qt::LeftButton);
        flushRepaints();
        const double seconds = double(clock.nsecsElapsed() - start) / 1e9;
        frames.push_back(seconds);
        state.SetIterationTime(seconds);
    }
    sendMouse(overlay, QEvent::MouseButtonRelease, pointAt(i), Qt::NoButton);
    flushRepaints();
    const std::vector<double> last(frames.end() - std::min<std::ptrdiff_t>(50, std::ssize(frames)), frames.end());
    const double worst = last.empty() ? 0 : *std::max_element(last.begin(), last.end());
    state.counters["median_ms"] = median(frames) * 1e3;
    state.counters["last50_median_ms"] = median(last) * 1e3;
    state.counters["worst_ms"] = worst * 1e3;
    state.counters["worst_fps"] = worst > 0 ? 1 / worst : 0;
    c.editor.selectTool(std::nullopt);
}
BENCHMARK(BM_PenStroke500PointsToFrame)->UseManualTime()->Iterations(500)->Unit(benchmark::kMillisecond);

// Twenty selected annotations of every kind dragged together, among the others on the canvas.
void BM_MultiSelectionDragToFrame(benchmark::State& state)
{
    Canvas& c = canvas();
    c.editor.setZoomLevel(1.0);
    std::vector<QUuid> group;
    for (int i = 0; i < 20; ++i) {
        const QPointF at(100 + (i % 5) * 150, 450 + (i / 5) * 110);
        Annotation made;
        switch (i % 5) {
        case 0: made = c.editor.makeShapeAnnotation(QRectF(at, QSizeF(90, 60))); break;
        case 1: made = c.editor.makeArrowAnnotation(at, at + QPointF(80, 50)); break;
        case 2: made = c.editor.makeStepAnnotation(at + QPointF(30, 30)); break;
        case 3: made = c.editor.makeStrokeAnnotation(StrokeKind::pen, {at, at + QPointF(40, 60), at + QPointF(90, 10)}); break;
        default: {
            RedactAnnotation redact = c.editor.makeRedactAnnotation(QRectF(at, QSizeF(100, 40)), RedactStyle::pixelate);
            made = redact;
            break;
        }
        }
        c.editor.addAnnotation(made);
        group.push_back(annotationId(made));
    }
    c.editor.setSelectedAnnotationIds(group);
    c.settle();
    QWidget* overlay = c.view->annotationOverlay();
    const CanvasMapping map = c.view->annotationOverlay()->mapping();
    // The first shape's top edge, its grab band.
    const QPointF grab = map.toView(QPointF(140, 450));
    std::vector<double> frames;
    QElapsedTimer clock;
    clock.start();
    sendMouse(overlay, QEvent::MouseButtonPress, grab, Qt::LeftButton);
    double dx = 0;
    for (auto _ : state) {
        dx = dx > 200 ? 0 : dx + 5;
        const qint64 start = clock.nsecsElapsed();
        sendMouse(overlay, QEvent::MouseMove, grab + QPointF(dx, dx / 3), Qt::LeftButton);
        flushRepaints();
        const double seconds = double(clock.nsecsElapsed() - start) / 1e9;
        frames.push_back(seconds);
        state.SetIterationTime(seconds);
    }
    sendMouse(overlay, QEvent::MouseButtonRelease, grab + QPointF(dx, dx / 3), Qt::NoButton);
    flushRepaints();
    const double m = median(frames);
    state.counters["median_ms"] = m * 1e3;
    state.counters["median_fps"] = m > 0 ? 1 / m : 0;
    state.counters["moved_together"] = c.editor.selectedAnnotationIds().size();
}
BENCHMARK(BM_MultiSelectionDragToFrame)->UseManualTime()->Iterations(200)->Unit(benchmark::kMillisecond);

// A drag made by the X server's test input (xdotool), as a hand on a mouse makes it: the
// pointer moves every 8 ms whether or not the canvas keeps up, and the frames that reach the
// window while it moves are counted. `keys` are held during the drag.
struct DragResult {
    double fps = 0;
    double medianFrameMs = 0;
    double previewShare = 0;
    int frames = 0;
    double drawMs = 0;
    double presentMs = 0;
};

std::optional<DragResult> dragWithRealInput(Canvas& c, const QStringList& keys, int button, QPoint step)
{
    c.view->activateWindow();
    c.settle();
    const QPoint start = c.view->mapToGlobal(QPoint(c.view->width() / 2 - 100, c.view->height() / 2 - 60));
    QStringList args{QStringLiteral("mousemove"), QString::number(start.x()), QString::number(start.y()),
                     QStringLiteral("sleep"), QStringLiteral("0.3")};
    for (const QString& key : keys)
        args << QStringLiteral("keydown") << key;
    args << QStringLiteral("mousedown") << QString::number(button);
    constexpr int moves = 250;
    for (int i = 0; i < moves; ++i) {
        // Back and forth, so the card stays in view.
        const QPoint d = (i / 50) % 2 == 0 ? step : -step;
        args << QStringLiteral("mousemove_relative") << QStringLiteral("--") << QString::number(d.x())
             << QString::number(d.y()) << QStringLiteral("sleep") << QStringLiteral("0.008");
    }
    args << QStringLiteral("mouseup") << QString::number(button);
    for (const QString& key : keys)
        args << QStringLiteral("keyup") << key;

    QElapsedTimer clock;
    clock.start();
    std::vector<qint64> stamps;
    int previews = 0;
    std::vector<double> draws, presents;
    const auto counted = QObject::connect(c.view.get(), &CanvasView::frameRendered, c.view.get(), [&] {
        stamps.push_back(clock.nsecsElapsed());
        const CanvasView::FrameTimings t = c.view->lastFrameTimings();
        draws.push_back(t.textures + t.draw + t.readBack);
        presents.push_back(t.present);
        previews += c.view->isShowingPreview() ? 1 : 0;
    });
    QProcess xdotool;
    QEventLoop loop;
    QObject::connect(&xdotool, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(&xdotool, &QProcess::errorOccurred, &loop, &QEventLoop::quit);
    xdotool.start(QStringLiteral("xdotool"), args);
    loop.exec();
    QObject::disconnect(counted);
    c.settle();
    if (xdotool.exitStatus() != QProcess::NormalExit || xdotool.exitCode() != 0)
        return std::nullopt;
    // The frames after the first one and before the release; the settling frames after it
    // are not part of the drag.
    const qint64 dragEnd = clock.nsecsElapsed();
    std::vector<double> gaps;
    for (std::size_t i = 1; i < stamps.size(); ++i)
        if (stamps[i] < dragEnd)
            gaps.push_back(double(stamps[i] - stamps[i - 1]) / 1e6);
    if (gaps.size() < 5)
        return std::nullopt;
    DragResult result;
    result.frames = int(gaps.size()) + 1;
    result.medianFrameMs = median(gaps);
    double total = 0;
    for (double g : gaps)
        total += g;
    result.fps = double(gaps.size()) / (total / 1e3);
    result.previewShare = double(previews) / double(stamps.size());
    result.drawMs = median(draws);
    result.presentMs = median(presents);
    return result;
}

void reportDrag(benchmark::State& state, const QStringList& keys, int button, QPoint step)
{
    if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty()) {
        state.SkipWithError("needs xdotool");
        return;
    }
    Canvas& c = canvas();
    std::vector<double> fps, frameMs, previews, draws, presents;
    for (auto _ : state) {
        const std::optional<DragResult> drag = dragWithRealInput(c, keys, button, step);
        if (!drag) {
            state.SkipWithError("the drag drew no frames");
            break;
        }
        fps.push_back(drag->fps);
        frameMs.push_back(drag->medianFrameMs);
        previews.push_back(drag->previewShare);
        draws.push_back(drag->drawMs);
        presents.push_back(drag->presentMs);
        state.SetIterationTime(1.0 / drag->fps);
    }
    c.editor.resetRotation();
    c.editor.setCanvasOffset({});
    c.settle();
    state.counters["fps"] = median(fps);
    state.counters["median_frame_ms"] = median(frameMs);
    state.counters["preview_share"] = median(previews);
    state.counters["scene_ms"] = median(draws);
    state.counters["present_ms"] = median(presents);
}

// Ctrl + left button turns the card.
void BM_TiltDragRealInput(benchmark::State& state)
{
    reportDrag(state, {QStringLiteral("ctrl")}, 1, QPoint(3, 1));
}
BENCHMARK(BM_TiltDragRealInput)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

// The middle button moves the card.
void BM_PanDragRealInput(benchmark::State& state)
{
    reportDrag(state, {}, 2, QPoint(3, 2));
}
BENCHMARK(BM_PanDragRealInput)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        std::fputs("bench_canvas: needs a display (run it under xvfb-run)\n", stderr);
        return 2;
    }
    QApplication app(argc, argv);
    loadBundledFonts();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    sharedCanvas.reset();
    return 0;
}
