#include "app/CommandLine.h"

#include "app/CaptureCommand.h"
#include "app/CommandSupport.h"
#include "app/DetectCommand.h"
#include "app/RenderCommand.h"
#include "app/UploadCommand.h"
#include "cli/LightCommands.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QUrl>

#include <cmath>
#include <cstdio>
#include <cstring>

namespace pelorin {

namespace {

int runCapture(int argc, char** argv)
{
    const bool help = argc > 2 && (std::strcmp(argv[2], "--help") == 0 || std::strcmp(argv[2], "-h") == 0);
    if (!help && !haveDisplay()) {
        std::fputs("pelorin capture: no display (set DISPLAY or WAYLAND_DISPLAY): there is no screen to capture\n", stderr);
        return 2;
    }
    if (help)
        qputenv("QT_QPA_PLATFORM", "offscreen");
    quietQtMessages();
    QGuiApplication app(argc, argv);
    return runCaptureCommand(QGuiApplication::arguments().mid(2));
}

} // namespace

std::optional<int> runCommandLine(int argc, char** argv)
{
    if (const std::optional<int> exitCode = runLightCommand(argc, argv))
        return exitCode;
    if (argc < 2)
        return std::nullopt;
    const char* first = argv[1];
    if (std::strcmp(first, "render") == 0)
        return runRenderProgram(argc, argv);
    if (std::strcmp(first, "capture") == 0)
        return runCapture(argc, argv);
    if (std::strcmp(first, "upload") == 0) {
        QCoreApplication app(argc, argv);
        return runUploadCommand(QCoreApplication::arguments().mid(2));
    }
    // No display and no GUI: image reading needs only the core application.
    if (std::strcmp(first, "detect") == 0) {
        quietQtMessages();
        QCoreApplication app(argc, argv);
        return runDetectCommand(QCoreApplication::arguments().mid(2));
    }
    return std::nullopt;
}

StartArguments parseStartArguments(const QStringList& arguments)
{
    StartArguments start;
    const auto error = [&start](const QString& message) {
        if (start.error.isEmpty())
            start.error = message;
    };
    const auto absoluteFile = [](const QString& argument) {
        const QString path = argument.startsWith(QLatin1String("file://")) ? QUrl(argument).toLocalFile() : argument;
        return QFileInfo(path);
    };
    std::optional<double> delay;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        const QString next = arguments.value(i + 1);
        const auto setCapture = [&](const QString& mode) {
            if (!start.capture.isEmpty())
                error(QStringLiteral("only one --capture option at a time"));
            start.capture.insert(QStringLiteral("mode"), mode);
        };
        if (argument == u"--background") {
            start.background = true;
        } else if (argument == u"--capture") {
            setCapture(QStringLiteral("region"));
        } else if (argument == u"--capture-window") {
            setCapture(QStringLiteral("window"));
        } else if (argument == u"--capture-last-region") {
            setCapture(QStringLiteral("lastRegion"));
        } else if (argument == u"--capture-screen") {
            // An optional monitor: its number (1 is the leftmost), or "pointer" for the one
            // under the mouse pointer; without it, every monitor.
            bool isNumber = false;
            const int number = next.toInt(&isNumber);
            if (isNumber || next == u"pointer") {
                if (isNumber && number < 1)
                    error(QStringLiteral("--capture-screen takes a monitor number from 1, or \"pointer\""));
                setCapture(QStringLiteral("monitor"));
                start.capture.insert(QStringLiteral("monitor"), isNumber ? number : 0);
                ++i;
            } else {
                setCapture(QStringLiteral("fullScreen"));
            }
        } else if (argument == u"--delay") {
            bool ok = false;
            const double seconds = next.toDouble(&ok);
            if (!ok || !std::isfinite(seconds) || seconds < 0 || seconds > 3600)
                error(QStringLiteral("--delay takes a number of seconds from 0 to 3600"));
            else
                delay = seconds;
            ++i;
        } else if (argument == u"--pin") {
            const QFileInfo info = absoluteFile(next);
            if (next.isEmpty())
                error(QStringLiteral("--pin needs an image file"));
            else if (!info.isFile())
                error(QStringLiteral("--pin: %1: %2").arg(next, info.exists() ? QStringLiteral("not a file") : QStringLiteral("no such file")));
            else
                start.pins << info.absoluteFilePath();
            ++i;
        } else if (argument.startsWith(u'-') && argument.size() > 1) {
            error(QStringLiteral("unknown option %1 (see pelorin --help)").arg(argument));
        } else {
            const QFileInfo info = absoluteFile(argument);
            if (info.isFile()) {
                start.files << info.absoluteFilePath();
            } else {
                std::fprintf(stderr, "pelorin: %s: %s\n", qPrintable(argument), info.exists() ? "not a file" : "no such file");
                start.notFiles << info.absoluteFilePath();
            }
        }
    }
    if (delay) {
        if (start.capture.isEmpty())
            error(QStringLiteral("--delay goes with one of the --capture options"));
        start.capture.insert(QStringLiteral("delay"), *delay);
    }
    if (!start.capture.isEmpty() && (!start.files.isEmpty() || !start.notFiles.isEmpty() || !start.pins.isEmpty()))
        error(QStringLiteral("the --capture options take no files"));
    return start;
}

} // namespace pelorin
