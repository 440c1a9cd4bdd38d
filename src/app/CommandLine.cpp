#include "app/CommandLine.h"

#include "app/DetectCommand.h"
#include "app/RenderCommand.h"
#include "app/UploadCommand.h"
#include "cli/LightCommands.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QUrl>

#include <cstdio>
#include <cstring>

namespace pelorin {

namespace {

// A command's standard error carries its own message only; Qt's chatter about the session
// (missing runtime folder, decoder warnings and the like) is kept for PELORIN_DEBUG=1.
void quietQtMessages()
{
    if (qEnvironmentVariableIsEmpty("PELORIN_DEBUG"))
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& message) {
            if (type == QtCriticalMsg || type == QtFatalMsg)
                std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
        });
}

int runRender(int argc, char** argv)
{
    if (!haveDisplay())
        qputenv("QT_QPA_PLATFORM", "offscreen");
    quietQtMessages();
    QGuiApplication app(argc, argv);
    return runRenderCommand(QGuiApplication::arguments().mid(2));
}

} // namespace

bool haveDisplay()
{
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
        || !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

std::optional<int> runCommandLine(int argc, char** argv)
{
    if (const std::optional<int> exitCode = runLightCommand(argc, argv))
        return exitCode;
    if (argc < 2)
        return std::nullopt;
    const char* first = argv[1];
    if (std::strcmp(first, "render") == 0)
        return runRender(argc, argv);
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

QStringList filesFromArguments(const QStringList& arguments, QString* unknownOption, QStringList* notFiles)
{
    QStringList files;
    for (const QString& argument : arguments) {
        if (argument == QLatin1String("--background") || argument == QLatin1String("--capture")
            || argument == QLatin1String("--capture-window"))
            continue;
        if (argument.startsWith(u'-') && argument.size() > 1) {
            if (unknownOption && unknownOption->isEmpty())
                *unknownOption = argument;
            continue;
        }
        const QString path = argument.startsWith(QLatin1String("file://")) ? QUrl(argument).toLocalFile() : argument;
        const QFileInfo info(path);
        if (info.isFile()) {
            files << info.absoluteFilePath();
            continue;
        }
        std::fprintf(stderr, "pelorin: %s: %s\n", qPrintable(path), info.exists() ? "not a file" : "no such file");
        if (notFiles)
            *notFiles << info.absoluteFilePath();
    }
    return files;
}

} // namespace pelorin
