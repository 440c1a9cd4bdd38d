// Analyze as the user meets it in the editor window (run it under Xvfb or a desktop):
//   bench_analyze_click [--think-ms N] [--no-warm-up] [IMAGE_A IMAGE_B]
// Opens screenshot A, waits N ms (default 1500: the user looks before clicking), clicks
// Analyze, then the same with B (another screenshot: nothing cached, the recogniser already
// loaded), then A again (its answer is known). For each it prints, in milliseconds from the
// click, when the shimmer's first paint reached the screen and when both the component
// overlay and the analysis panel had. The last line is the analysis alone, called in
// process on A with everything loaded (as bench_analysis measures it), as the yardstick of
// the same run. A fresh, empty cache folder is used, so nothing comes from earlier runs.
// --no-warm-up leaves the recogniser to load on the first click, as before it was loaded
// when a document opens.
#include "core/Fonts.h"
#include "detection/DeviceComponentAnalyzer.h"
#include "editor/EditorViewModel.h"
#include "platform/NotificationCenter.h"
#include "platform/SettingsStore.h"
#include "ui/AnalysisPanel.h"
#include "ui/CanvasView.h"
#include "ui/ComponentOverlayView.h"
#include "ui/EditorWindow.h"
#include "ui/ShimmerView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QImage>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <functional>

using namespace pelorin;

namespace {

// Notes when a paint of each watched widget has returned (its pixels are then flushed).
class PaintWatch : public QObject {
public:
    QElapsedTimer clock;
    std::map<QObject*, double> painted;
    std::function<void()> onPainted;

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && !painted.count(watched)) {
            painted[watched] = -1;
            QMetaObject::invokeMethod(this, [this, watched] {
                painted[watched] = ms();
                if (onPainted)
                    onPainted();
            }, Qt::QueuedConnection);
        }
        return false;
    }
    double ms() const { return double(clock.nsecsElapsed()) / 1e6; }
    double at(QObject* widget) const
    {
        const auto it = painted.find(widget);
        return it == painted.end() ? -1 : it->second;
    }
};

void idle(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

QImage readShot(const QString& path)
{
    QImage image(path);
    image.setDevicePixelRatio(2);
    return image;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        std::fputs("bench_analyze_click: needs a display (run it under xvfb-run)\n", stderr);
        return 2;
    }
    QTemporaryDir dir;
    qputenv("XDG_CACHE_HOME", dir.filePath(QStringLiteral("cache")).toLocal8Bit());
    QApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    args.removeAll(QStringLiteral("--no-warm-up"));
    int thinkMs = 1500;
    if (const qsizetype at = args.indexOf(QStringLiteral("--think-ms")); at >= 0 && at + 1 < args.size()) {
        thinkMs = args.at(at + 1).toInt();
        args.remove(at, 2);
    }
    const QString a = args.size() > 1 ? args[0] : QStringLiteral(PELORIN_DETECTION_SHOTS "/calendar@2x.png");
    const QString b = args.size() > 1 ? args[1] : QStringLiteral(PELORIN_DETECTION_SHOTS "/crm-modal@2x.png");
    const QImage first = readShot(a);
    const QImage second = readShot(b);
    if (first.isNull() || second.isNull()) {
        std::fprintf(stderr, "cannot read %s or %s\n", qPrintable(a), qPrintable(b));
        return 1;
    }
    loadBundledFonts();
    SettingsStore settings(dir.filePath(QStringLiteral("settings.json")));
    NotificationCenter notifications;
    EditorViewModel editor(settings, notifications);
    editor.setScreenScaleProvider([] { return 2.0; });
    if (!app.arguments().contains(QStringLiteral("--no-warm-up")))
        editor.setAnalysisEngines({DeviceComponentAnalyzer::prepareRecognizer, DeviceComponentAnalyzer::releaseRecognizer});
    EditorWindow window(editor);
    window.resize(1600, 1000);
    window.show();
    idle(500);

    QWidget* shimmer = window.canvas()->shimmer();
    QWidget* overlay = window.canvas()->componentOverlay();
    QWidget* panel = window.findChild<AnalysisPanel*>();
    PaintWatch watch;
    for (QWidget* widget : {shimmer, overlay, panel})
        widget->installEventFilter(&watch);

    int status = 0;
    const std::pair<const char*, const QImage*> rounds[] = {{"first", &first}, {"other", &second}, {"again", &first}};
    for (const auto& [name, image] : rounds) {
        editor.loadImage(*image, SourceType::file, false);
        idle(thinkMs);
        watch.painted.clear();
        QEventLoop loop;
        // Done once the overlay and the panel have both painted after the analysis ended.
        watch.onPainted = [&] {
            if (!editor.isAnalyzing() && watch.at(overlay) > 0 && watch.at(panel) > 0)
                loop.quit();
        };
        QTimer::singleShot(60'000, &loop, &QEventLoop::quit);
        watch.clock.start();
        editor.analyzeComponents();
        loop.exec();
        watch.onPainted = nullptr;
        const double shown = std::max(watch.at(overlay), watch.at(panel));
        std::printf("%-6s shimmer_ms %7.1f overlay_and_panel_ms %7.1f components %zu\n", name, watch.at(shimmer),
                    watch.at(overlay) < 0 || watch.at(panel) < 0 ? -1.0 : shown, editor.detectedComponents().size());
        if (editor.detectedComponents().empty())
            status = 1;
        editor.setShowComponentOverlay(false);
        idle(200);
    }
    QElapsedTimer clock;
    clock.start();
    DeviceComponentAnalyzer::analyze(first);
    std::printf("in-process analysis of the first, warm: %.1f ms\n", double(clock.nsecsElapsed()) / 1e6);
    return status;
}
