#include "editor/ScreenCaptureService.h"

#include "core/CaptureRegion.h"
#include "core/ImageFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPointer>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>
#include <QUuid>

#include <chrono>
#include <memory>

#include <QCoro/QCoroProcess>

namespace pelorin {

namespace {

constexpr const char* helperName = "pelorin-screencapture";

// The built-in tool, started ahead and waiting for its request on standard input, so the
// overlay shows without the tool's start-up (libraries, Qt, the display connection) first.
// One waits at a time; it belongs to the application object and ends with it.
class Standby {
public:
    static bool supports(const QString& tool) { return QFileInfo(tool).fileName() == QLatin1String(helperName); }

    static void prepare(const QString& tool)
    {
        if (!supports(tool) || !QCoreApplication::instance() || (s_waiting && s_waiting->state() != QProcess::NotRunning))
            return;
        delete s_waiting;
        auto* process = new QProcess(QCoreApplication::instance());
        process->setProgram(tool);
        process->setArguments({QStringLiteral("--standby")});
        process->setProcessChannelMode(QProcess::ForwardedChannels);
        process->start();
        s_waiting = process;
    }

    // The waiting tool for `tool` with its request given, or null when none is ready.
    static QProcess* take(const QString& tool, const QStringList& arguments)
    {
        QProcess* process = s_waiting;
        s_waiting = nullptr;
        if (!process || process->program() != tool || process->state() != QProcess::Running) {
            delete process;
            return nullptr;
        }
        process->setParent(nullptr); // the capture owns it from here
        process->write(QJsonDocument(QJsonArray::fromStringList(arguments)).toJson(QJsonDocument::Compact) + '\n');
        process->closeWriteChannel();
        return process;
    }

private:
    static inline QPointer<QProcess> s_waiting;
};

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
    arguments << file;
    std::unique_ptr<QProcess> process(Standby::take(tool, arguments));
    if (!process) {
        process = std::make_unique<QProcess>();
        process->setProgram(tool);
        process->setArguments(arguments);
        process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process->start();
        if (!co_await qCoro(process.get()).waitForStarted(10000)) {
            QFile::remove(file); // a tool that died while starting may still have left a file
            throw CaptureError(process->errorString());
        }
    }
    // The user may take as long as they like over the selection.
    co_await qCoro(process.get()).waitForFinished(-1);

    std::optional<QImage> image;
    if (process->exitStatus() == QProcess::NormalExit && process->exitCode() == 0 && QFileInfo::exists(file))
        image = readImageFile(file);
    QFile::remove(file);
    // The next one gets ready once the editor has shown this capture, not competing with it.
    if (Standby::supports(tool))
        QTimer::singleShot(std::chrono::seconds(2), QCoreApplication::instance(), [tool] { Standby::prepare(tool); });
    co_return image;
}

void ScreenCaptureService::prepare() const
{
    const QString tool = toolPath();
    if (QFileInfo(tool).isExecutable())
        Standby::prepare(tool);
}

} // namespace pelorin
