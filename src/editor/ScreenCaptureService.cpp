#include "editor/ScreenCaptureService.h"

#include "core/CaptureRegion.h"
#include "core/ImageFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QUuid>

#include <QCoro/QCoroProcess>

namespace pelorin {

namespace {

constexpr const char* helperName = "pelorin-screencapture";

} // namespace

namespace {

constexpr std::pair<CaptureMode, const char*> captureModeNames[] = {
    {CaptureMode::region, "region"},         {CaptureMode::window, "window"},
    {CaptureMode::fullScreen, "fullScreen"}, {CaptureMode::monitor, "monitor"},
    {CaptureMode::lastRegion, "lastRegion"},
};

} // namespace

QString captureModeName(CaptureMode mode)
{
    for (const auto& [value, name] : captureModeNames)
        if (value == mode)
            return QLatin1String(name);
    return {};
}

std::optional<CaptureMode> captureModeFromName(const QString& name)
{
    for (const auto& [value, word] : captureModeNames)
        if (name == QLatin1String(word))
            return value;
    return std::nullopt;
}

ScreenCaptureService::ScreenCaptureService(QString toolPath)
    : m_toolPath(std::move(toolPath))
{
}

QStringList ScreenCaptureService::monitorArguments(int number)
{
    if (number <= 0)
        return {QStringLiteral("-m")};
    return {QStringLiteral("-D"), QString::number(number)};
}

QStringList ScreenCaptureService::fixedRegionArguments(const QRect& region)
{
    return {QStringLiteral("-R"), captureRegionText(region)};
}

QStringList ScreenCaptureService::optionArguments(double delaySeconds, bool includePointer, bool magnifier)
{
    QStringList arguments;
    if (delaySeconds > 0)
        arguments << QStringLiteral("-T") << QString::number(delaySeconds);
    if (includePointer)
        arguments << QStringLiteral("-C");
    if (!magnifier)
        arguments << QStringLiteral("-M");
    return arguments;
}

QString ScreenCaptureService::toolPath() const
{
    if (!m_toolPath.isEmpty())
        return m_toolPath;
    const QString beside = QCoreApplication::applicationDirPath() + u'/' + QLatin1String(helperName);
    if (QFileInfo(beside).isExecutable())
        return beside;
    const QString onPath = QStandardPaths::findExecutable(QLatin1String(helperName));
    return onPath.isEmpty() ? beside : onPath;
}

QCoro::Task<std::optional<QImage>> ScreenCaptureService::runScreencapture(QStringList arguments) const
{
    const QString file = QDir::tempPath() + u'/' + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper() + QStringLiteral(".png");
    const QString tool = toolPath();
    if (!QFileInfo(tool).isExecutable())
        throw CaptureError(QStringLiteral("The capture tool %1 is missing or not executable.").arg(tool));
    QProcess process;
    process.setProgram(tool);
    process.setArguments(arguments << file);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start();
    if (!co_await qCoro(&process).waitForStarted(10000)) {
        QFile::remove(file); // a tool that died while starting may still have left a file
        throw CaptureError(process.errorString());
    }
    // The user may take as long as they like over the selection.
    co_await qCoro(&process).waitForFinished(-1);

    std::optional<QImage> image;
    if (process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0 && QFileInfo::exists(file))
        image = readImageFile(file);
    QFile::remove(file);
    co_return image;
}

} // namespace pelorin
