// pelorin-screencapture -i [-w] [-o] PATH
// Interactive capture of a region (default) or a window (-w) into PATH as PNG. Exit status 0
// only when the PNG was written; 1 when the user cancelled; 2 on errors.

#include "CaptureOverlay.h"
#include "PortalScreenshot.h"
#include "X11Windows.h"

#include <QApplication>
#include <QImageWriter>
#include <QSaveFile>
#include <QScreen>

#include <cmath>
#include <cstdio>

namespace {

int usage()
{
    std::fputs("usage: pelorin-screencapture -i [-w] [-o] PATH\n", stderr);
    return 2;
}

// The screen's scale goes into the file's resolution, so the app opens it at its point size.
bool writePng(const QImage& image, const QString& path)
{
    QImage stamped = image;
    const int dotsPerMeter = static_cast<int>(std::lround(image.devicePixelRatio() * 72 / 0.0254));
    stamped.setDotsPerMeterX(dotsPerMeter);
    stamped.setDotsPerMeterY(dotsPerMeter);
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && QImageWriter(&file, "png").write(stamped) && file.commit();
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments().mid(1);
    if (args.isEmpty() || !args.contains(QLatin1String("-i")) || args.last().startsWith(u'-'))
        return usage();
    const bool windowMode = args.contains(QLatin1String("-w"));
    const QString output = args.last();

    if (QGuiApplication::platformName() != u"xcb")
        return portalScreenshot(output);

    const QList<QRect> windows = windowMode ? x11WindowRects() : QList<QRect>();
    int result = 1;
    QList<CaptureOverlay*> overlays;
    // Freeze every screen first, then cover them, so the overlays are not in the picture.
    QList<std::pair<QScreen*, QImage>> frozen;
    for (QScreen* screen : QGuiApplication::screens())
        frozen.append({screen, screen->grabWindow(0).toImage()});
    for (const auto& [screen, picture] : frozen) {
        auto* overlay = new CaptureOverlay(screen, picture, windowMode, windows);
        QObject::connect(overlay, &CaptureOverlay::chosen, &app, [&](const QImage& image) {
            result = writePng(image, output) ? 0 : 2;
            QApplication::quit();
        });
        QObject::connect(overlay, &CaptureOverlay::cancelled, &app, [] { QApplication::quit(); });
        overlays.append(overlay);
        overlay->show();
        overlay->activateWindow();
        overlay->grabKeyboard();
    }
    QApplication::exec();
    return result;
}
