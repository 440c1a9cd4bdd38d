// How soon the editor window shows something after it is asked to show, in one fresh process
// (run it under Xvfb or a desktop; bench/editor_open.sh repeats it with a cold and a warm
// shader cache):
//   bench_editor_open [--made-at-start] [--capture-ms N]
// Prints, in milliseconds from show(): the window's first expose, the first paint of the
// whole window reaching the screen, and the first frame of the screenshot reaching it.
// With --made-at-start the window is made a second before it is shown, as the tray program
// does at start-up; otherwise it is made and shown at once. --capture-ms N starts a capture
// N ms before the screenshot arrives, as the capture tool and the user picking an area take
// that long; the canvas prepares its renderer meanwhile. With --grab PREFIX the screen
// is saved at the first paint and once the screenshot is shown (PREFIX-first.png and
// PREFIX-scene.png), to look at; the times are then not meaningful.
#include "core/Fonts.h"
#include "editor/EditorViewModel.h"
#include "platform/NotificationCenter.h"
#include "platform/SettingsStore.h"
#include "ui/CanvasView.h"
#include "ui/EditorWindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>

#include <cstdio>
#include <memory>

#include "BenchScreenshot.h"

using namespace pelorin;

namespace {

// Notes the first expose and the first paint of the window; a paint is on the screen once
// the event that painted it has returned, as the flush follows the paint in the same event.
class Watch : public QObject {
public:
    QElapsedTimer clock;
    double exposed = -1;
    double painted = -1;
    QString grabPrefix;
    QWidget* window = nullptr;

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Expose && exposed < 0)
            exposed = ms();
        if (event->type() == QEvent::Paint && painted < 0 && watched->isWidgetType()) {
            painted = 0;
            QMetaObject::invokeMethod(this, [this] {
                painted = ms();
                if (!grabPrefix.isEmpty())
                    window->screen()->grabWindow(window->winId()).save(grabPrefix + QStringLiteral("-first.png"));
            }, Qt::QueuedConnection);
        }
        return false;
    }
    double ms() const { return double(clock.nsecsElapsed()) / 1e6; }
};

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        std::fputs("bench_editor_open: needs a display (run it under xvfb-run)\n", stderr);
        return 2;
    }
    QApplication app(argc, argv);
    const bool madeAtStart = app.arguments().contains(QStringLiteral("--made-at-start"));
    loadBundledFonts();
    QTemporaryDir dir;
    SettingsStore settings(dir.filePath(QStringLiteral("settings.json")));
    NotificationCenter notifications;
    EditorViewModel editor(settings, notifications);
    editor.setScreenScaleProvider([] { return 2.0; });
    const QImage image = benchScreenshot();

    const auto idle = [](int ms) {
        QEventLoop loop;
        QTimer::singleShot(ms, &loop, &QEventLoop::quit);
        loop.exec();
    };
    std::unique_ptr<EditorWindow> window;
    if (madeAtStart) {
        window = std::make_unique<EditorWindow>(editor);
        idle(1000);
    }
    if (const qsizetype at = app.arguments().indexOf(QStringLiteral("--capture-ms"));
        at > 0 && at + 1 < app.arguments().size()) {
        Q_EMIT editor.captureRequested(false);
        idle(app.arguments().at(at + 1).toInt());
    }
    Watch watch;
    if (const qsizetype at = app.arguments().indexOf(QStringLiteral("--grab")); at > 0 && at + 1 < app.arguments().size())
        watch.grabPrefix = app.arguments().at(at + 1);
    watch.clock.start();
    if (!window)
        window = std::make_unique<EditorWindow>(editor);
    editor.loadImage(image, SourceType::file, false);
    double sceneShown = -1;
    QEventLoop loop;
    QObject::connect(window->canvas(), &CanvasView::frameRendered, &loop, [&] {
        QMetaObject::invokeMethod(&loop, [&] {
            if (sceneShown < 0)
                sceneShown = watch.ms();
            loop.quit();
        }, Qt::QueuedConnection);
    });
    watch.window = window.get();
    window->installEventFilter(&watch);
    window->resize(1600, 1000);
    window->show();
    window->windowHandle()->installEventFilter(&watch);
    QTimer::singleShot(5000, &loop, &QEventLoop::quit);
    loop.exec();
    if (!watch.grabPrefix.isEmpty())
        window->screen()->grabWindow(window->winId()).save(watch.grabPrefix + QStringLiteral("-scene.png"));
    const CanvasView::FrameTimings t = window->canvas()->lastFrameTimings();
    std::printf("exposed_ms %.1f first_paint_ms %.1f scene_ms %.1f textures_ms %.1f draw_ms %.1f\n", watch.exposed,
                watch.painted, sceneShown, t.textures, t.draw);
    window.reset();
    return sceneShown < 0 ? 1 : 0;
}
