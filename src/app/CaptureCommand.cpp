#include "app/CaptureCommand.h"

#include "app/RenderCommand.h"
#include "core/CaptureRegion.h"
#include "editor/FileExportService.h"
#include "editor/ScreenCaptureService.h"
#include "platform/SettingsKeys.h"
#include "platform/SettingsStore.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>

#include <QCoro/QCoroTask>

#include <cmath>
#include <cstdio>

namespace pelorin {

namespace {

const char* const usage = R"(Usage: pelorin capture MODE -o OUT [--delay SECONDS] [--pointer] [--raw | style options]

Captures the screen without the app and writes OUT, framed the way the editor exports it
(style options as for `pelorin render`; see pelorin render --help), or as taken with --raw.
Prints OUT's path. Needs a display; on Wayland the desktop's portal takes the picture.

Modes (one):
  --region X,Y,W,H   this part of the desktop, in points (not on Wayland: the portal only
                     lets the user pick a region)
  --screen [N]       every monitor, or monitor N (1 is the leftmost)
  --window           a window the user clicks
  --last-region      the region last captured in the app on these monitors
Options:
  --delay SECONDS    wait first
  --pointer          include the mouse pointer
  --raw              write the screenshot without a frame

Exit status: 0 written, 1 nothing captured (cancelled, or the capture or the write failed),
2 wrong arguments or no display.
)";

struct UsageError {
    QString message;
};

struct CaptureJob {
    QStringList modeArguments;
    bool lastRegion = false;
    double delay = 0;
    bool pointer = false;
    bool raw = false;
    QString output;
    QStringList style;
};

CaptureJob parse(const QStringList& args)
{
    CaptureJob job;
    int modes = 0;
    const auto value = [&](qsizetype& i, const QString& option) {
        if (i + 1 >= args.size())
            throw UsageError{option + QStringLiteral(" needs a value")};
        return args[++i];
    };
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& option = args[i];
        if (option == u"--region") {
            ++modes;
            const QString text = value(i, option);
            const std::optional<QRect> region = parseCaptureRegion(text);
            if (!region)
                throw UsageError{QStringLiteral("--region expects X,Y,W,H with a positive width and height, got \"%1\"").arg(text)};
            job.modeArguments = ScreenCaptureService::fixedRegionArguments(*region);
        } else if (option == u"--screen") {
            ++modes;
            bool isNumber = false;
            const int number = args.value(i + 1).toInt(&isNumber);
            if (isNumber) {
                if (number < 1)
                    throw UsageError{QStringLiteral("--screen takes a monitor number from 1")};
                job.modeArguments = ScreenCaptureService::monitorArguments(number);
                ++i;
            } else {
                job.modeArguments = ScreenCaptureService::fullScreenArguments();
            }
        } else if (option == u"--window") {
            ++modes;
            job.modeArguments = ScreenCaptureService::windowArguments();
        } else if (option == u"--last-region") {
            ++modes;
            job.lastRegion = true;
        } else if (option == u"--delay") {
            bool ok = false;
            job.delay = value(i, option).toDouble(&ok);
            if (!ok || !std::isfinite(job.delay) || job.delay < 0 || job.delay > 3600)
                throw UsageError{QStringLiteral("--delay takes a number of seconds from 0 to 3600")};
        } else if (option == u"--pointer") {
            job.pointer = true;
        } else if (option == u"--raw") {
            job.raw = true;
        } else if (option == u"-o" || option == u"--output") {
            job.output = value(i, option);
        } else {
            // The rest are render's style options, with their values.
            job.style << option;
        }
    }
    if (modes != 1)
        throw UsageError{QStringLiteral("give one of --region, --screen, --window or --last-region")};
    if (job.output.isEmpty())
        throw UsageError{QStringLiteral("no output file given (-o OUT)")};
    if (job.raw && !job.style.isEmpty())
        throw UsageError{QStringLiteral("--raw takes no style options (got %1)").arg(job.style.first())};
    if (const QString error = renderStyleError(job.style); !error.isEmpty())
        throw UsageError{error};
    return job;
}

void printError(const QString& message)
{
    std::fprintf(stderr, "pelorin capture: %s\n", message.toLocal8Bit().constData());
}

} // namespace

int runCaptureCommand(const QStringList& arguments)
{
    if (arguments.contains(QLatin1String("--help")) || arguments.contains(QLatin1String("-h"))) {
        std::fputs(usage, stdout);
        return 0;
    }
    CaptureJob job;
    try {
        job = parse(arguments);
    } catch (const UsageError& error) {
        printError(error.message);
        return 2;
    }
    SettingsStore& settings = SettingsStore::shared();
    if (job.lastRegion) {
        QList<QRect> monitors;
        for (const QScreen* screen : QGuiApplication::screens())
            monitors << screen->geometry();
        const QVariantMap regions = settings.value(QLatin1String(SettingsKeys::lastCaptureRegions)).toMap();
        const std::optional<QRect> region = parseCaptureRegion(regions.value(screenLayoutKey(monitors)).toString());
        if (!region) {
            printError(QStringLiteral("no region was captured on these monitors yet (capture one in the app first)"));
            return 1;
        }
        job.modeArguments = ScreenCaptureService::fixedRegionArguments(*region);
    }

    const ScreenCaptureService service(settings.stringValue(QLatin1String(SettingsKeys::captureToolPath)));
    // The region overlay keeps the user's magnifier choice here too.
    const QStringList toolArguments = ScreenCaptureService::optionArguments(
                                          job.delay, job.pointer, settings.boolValue(QLatin1String(SettingsKeys::captureMagnifier), true))
        + job.modeArguments;
    std::optional<QImage> image;
    try {
        image = QCoro::waitFor(service.runScreencapture(toolArguments));
    } catch (const CaptureError& error) {
        printError(error.description());
        return 1;
    }
    if (!image) {
        printError(QStringLiteral("nothing was captured"));
        return 1;
    }
    if (!job.raw)
        return renderFramedImage(*image, job.style, job.output, "capture");
    try {
        FileExportService::saveImage(*image, job.output);
    } catch (const ExportError& error) {
        printError(QStringLiteral("cannot write %1: %2").arg(job.output, error.description()));
        return 1;
    }
    std::printf("%s\n", QFileInfo(job.output).absoluteFilePath().toLocal8Bit().constData());
    return 0;
}

} // namespace pelorin
