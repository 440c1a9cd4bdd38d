#include "core/Fonts.h"
#include "editor/EditorViewModel.h"
#include "render/ImageComposition.h"
#include "render/RedactionPixels.h"
#include "editor/FileExportService.h"
#include "editor/PngWriter.h"
#include "platform/NotificationCenter.h"
#include "platform/SettingsKeys.h"
#include "platform/SettingsStore.h"

#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QBuffer>
#include <QClipboard>
#include <QMimeData>
#include <QPainter>
#include <QTemporaryDir>

#include <memory>

#include "BenchScreenshot.h"

using namespace pelorin;

namespace {

struct Fixture {
    QTemporaryDir dir;
    SettingsStore settings{dir.filePath(QStringLiteral("settings.json"))};
    NotificationCenter notifications;
    EditorViewModel editor{settings, notifications};

    Fixture()
    {
        // Copy keeps the editor open, so every iteration copies the same document.
        settings.setValue(QLatin1String(SettingsKeys::copyFollowUp), QStringLiteral("stay"));
        editor.setWallpaperProvider([] { return std::nullopt; });
        editor.setScreenScaleProvider([] { return 2.0; });
        editor.loadImage(benchScreenshot(), SourceType::screenCapture, false);
        // The editor's default export: the card at its native 2880 × 1800 pixels.
        editor.updateViewportSize(editor.document()->imagePointSize());
        editor.setZoomLevel(1.0);
    }
};

// Made on first use and destroyed by main while the application (and its GL context) still
// exists: the renderer's destructor releases GL objects, which a static outliving
// QGuiApplication could no longer do.
std::unique_ptr<Fixture> sharedFixture;

Fixture& fixture()
{
    if (!sharedFixture)
        sharedFixture = std::make_unique<Fixture>();
    return *sharedFixture;
}

void BM_RenderFinalImage(benchmark::State& state)
{
    Fixture& f = fixture();
    for (auto _ : state) {
        std::optional<QImage> image = f.editor.renderFinalImage();
        if (!image) {
            state.SkipWithError("render failed");
            break;
        }
        benchmark::DoNotOptimize(image->constBits());
    }
}

// The export with a 1000 × 600-point pixelate, blur or solid redaction (arg 1, 2, 3; 0: none) on the
// 2× screenshot. Each iteration moves it by a hundredth of a point, so the redaction's pixels
// are made anew every time, as on the first export after drawing it (the canvas has usually
// made them already, and the export then reuses them).
void BM_RenderWithRedaction(benchmark::State& state)
{
    Fixture& f = fixture();
    const RedactStyle styles[] = {RedactStyle::solid, RedactStyle::pixelate, RedactStyle::blur, RedactStyle::solid};
    const RedactStyle style = styles[state.range(0)];
    int i = 0;
    for (auto _ : state) {
        state.PauseTiming();
        for (const Annotation& a : std::vector<Annotation>(f.editor.document()->annotations))
            f.editor.removeAnnotation(annotationId(a));
        if (state.range(0) != 0) {
            RedactAnnotation redact = RedactAnnotation::make(QRectF(200 + (i++ % 1000) * 0.01, 150, 1000, 600), Qt::black);
            redact.redactStyle = style;
            f.editor.addAnnotation(redact);
        }
        state.ResumeTiming();
        std::optional<QImage> image = f.editor.renderFinalImage();
        if (!image) {
            state.SkipWithError("render failed");
            break;
        }
        benchmark::DoNotOptimize(image->constBits());
    }
    for (const Annotation& a : std::vector<Annotation>(f.editor.document()->annotations))
        f.editor.removeAnnotation(annotationId(a));
}

// The annotation raster of the export (what a redaction adds to it) with a 1000 × 600-point
// redaction (arg 0 solid, 1 pixelate, 2 blur), its pixels made anew each time.
void BM_AnnotationRasterWithRedaction(benchmark::State& state)
{
    const ScreenshotDocument& document = *fixture().editor.document();
    const RedactStyle styles[] = {RedactStyle::solid, RedactStyle::pixelate, RedactStyle::blur};
    int i = 0;
    for (auto _ : state) {
        RedactAnnotation redact = RedactAnnotation::make(QRectF(200 + (i++ % 1000) * 0.01, 150, 1000, 600), Qt::black);
        redact.redactStyle = styles[state.range(0)];
        const auto raster = renderAnnotationsOnly({redact}, document.imagePointSize(), 2, &document.image);
        benchmark::DoNotOptimize(raster);
    }
}

// The redaction's pixels alone, made anew: 1000 × 600 points of the 2× screenshot.
void BM_RedactionPixels(benchmark::State& state)
{
    const QImage screenshot = fixture().editor.document()->image;
    const auto style = state.range(0) == 1 ? RedactStyle::pixelate : RedactStyle::blur;
    int i = 0;
    for (auto _ : state) {
        const auto pixels = redactionPixels(screenshot, QRectF(200 + (i++ % 1000) * 0.01, 150, 1000, 600), style);
        benchmark::DoNotOptimize(pixels);
    }
}

void BM_RenderAndWritePng(benchmark::State& state)
{
    Fixture& f = fixture();
    const QString path = f.dir.filePath(QStringLiteral("export.png"));
    for (auto _ : state) {
        std::optional<QImage> image = f.editor.renderFinalImage();
        if (!image) {
            state.SkipWithError("render failed");
            break;
        }
        FileExportService::saveImage(*image, path);
    }
    state.counters["bytes"] = static_cast<double>(QFileInfo(path).size());
}

// Ctrl+C in the editor: render the frame and put it on the system clipboard (run under
// xvfb-run for the X11 clipboard). The PNG is made when a program pastes: see the next one.
void BM_CopyToClipboard(benchmark::State& state)
{
    Fixture& f = fixture();
    for (auto _ : state) {
        f.editor.copyViaShortcut(); // completes without suspending when uploads are off
        if (!QGuiApplication::clipboard()->mimeData()
            || !QGuiApplication::clipboard()->mimeData()->hasFormat(QStringLiteral("image/png"))) {
            state.SkipWithError("nothing on the clipboard");
            break;
        }
    }
}

// Ctrl+C followed by a paste of image/png (in this process, so without X11's transfer).
void BM_CopyThenPastePng(benchmark::State& state)
{
    Fixture& f = fixture();
    for (auto _ : state) {
        f.editor.copyViaShortcut();
        const QMimeData* data = QGuiApplication::clipboard()->mimeData();
        const QByteArray png = data ? data->data(QStringLiteral("image/png")) : QByteArray();
        if (png.isEmpty()) {
            state.SkipWithError("no PNG on the clipboard");
            break;
        }
        benchmark::DoNotOptimize(png.constData());
    }
}

// The encoder alone on the rendered frame, by filter and zlib level, with the file size: the
// figures behind png::defaultFilter and png::defaultCompressionLevel.
void BM_EncodePng(benchmark::State& state)
{
    static const QImage frame = [] {
        std::optional<QImage> image = fixture().editor.renderFinalImage();
        return image ? image->copy() : QImage();
    }();
    if (frame.isNull()) {
        state.SkipWithError("render failed");
        return;
    }
    png::Options options;
    options.filter = static_cast<png::Filter>(state.range(0));
    options.compressionLevel = static_cast<int>(state.range(1));
    qint64 size = 0;
    for (auto _ : state) {
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        if (!png::write(buffer, frame, options)) {
            state.SkipWithError("encoding failed");
            break;
        }
        size = bytes.size();
    }
    state.counters["bytes"] = static_cast<double>(size);
}

void encoderSettings(benchmark::internal::Benchmark* b)
{
    b->ArgNames({"filter", "level"});
    for (png::Filter filter : {png::Filter::none, png::Filter::sub, png::Filter::up, png::Filter::paeth,
                               png::Filter::adaptive})
        for (int level : {1, 3, 6})
            b->Args({static_cast<int>(filter), level});
}

} // namespace

BENCHMARK(BM_CopyToClipboard)->Unit(benchmark::kMillisecond)->Repetitions(7)->ReportAggregatesOnly(true)->UseRealTime();
BENCHMARK(BM_CopyThenPastePng)->Unit(benchmark::kMillisecond)->Repetitions(7)->ReportAggregatesOnly(true)->UseRealTime();
BENCHMARK(BM_EncodePng)->Apply(encoderSettings)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RenderWithRedaction)->Arg(0)->Arg(3)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->Iterations(15)->Repetitions(5)->ReportAggregatesOnly(true)->UseRealTime();
BENCHMARK(BM_AnnotationRasterWithRedaction)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RedactionPixels)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RenderFinalImage)->Unit(benchmark::kMillisecond)->Repetitions(7)->ReportAggregatesOnly(true)->UseRealTime();
BENCHMARK(BM_RenderAndWritePng)->Unit(benchmark::kMillisecond)->Repetitions(7)->ReportAggregatesOnly(true)->UseRealTime();

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    loadBundledFonts();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    sharedFixture.reset();
    return 0;
}
