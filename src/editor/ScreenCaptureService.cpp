#include "editor/ScreenCaptureService.h"

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

ScreenCaptureService::ScreenCaptureService(QString toolPath)
    : m_toolPath(std::move(toolPath))
{
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
