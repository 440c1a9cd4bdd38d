#include "app/update/UpdateService.h"

#include "app/update/InstallScript.h"
#include "app/update/UpdateError.h"
#include "app/update/UpdatePrompts.h"
#include "app/update/UpdateStaging.h"
#include "app/update/UpdateTools.h"
#include "net/HttpClient.h"
#include "core/Version.h"
#include "platform/AppPaths.h"
#include "platform/SettingsKeys.h"
#include "platform/SettingsStore.h"
#include "platform/SystemLog.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QPointer>

#include <QCoro/QCoroTimer>

#include <optional>

#include <unistd.h>

namespace pelorin {

namespace {

constexpr double autoCheckInterval = 20 * 60 * 60;

QString key(const char* name)
{
    return QString::fromLatin1(name);
}

double now()
{
    return double(QDateTime::currentMSecsSinceEpoch()) / 1000.0;
}

bool isWritable(const QString& path)
{
    return ::access(QFile::encodeName(path).constData(), W_OK) == 0;
}

} // namespace

UpdateEnvironment UpdateEnvironment::ofRunningApplication()
{
    UpdateEnvironment environment;
    environment.currentVersion = QStringLiteral(PELORIN_VERSION);
    // The program runs from libexec/pelorin/ below the folder; bin/pelorin is the launcher.
    const QString folder =
        QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/" PELORIN_PREFIX_FROM_PROGRAM));
    if (QFileInfo(QDir(folder).filePath(QStringLiteral("VERSION"))).isFile())
        environment.applicationFolder = folder;
    const QString support = appSupportDirectory();
    if (!support.isEmpty())
        environment.stagingRoot = QDir(support).filePath(QStringLiteral("Updates"));
    environment.processId = QCoreApplication::applicationPid();
    environment.launchInstaller = launchInstallScript;
    environment.terminate = [] { QCoreApplication::quit(); };
    return environment;
}

UpdateService::UpdateService(SettingsStore& settings, UpdatePrompts& prompts, UpdateEnvironment environment, QObject* parent)
    : QObject(parent)
    , m_settings(settings)
    , m_prompts(prompts)
    , m_environment(std::move(environment))
{
}

QUrl UpdateService::siteBase() const
{
    const QString stored = m_settings.stringValue(key(SettingsKeys::updateSiteURL));
    return QUrl(stored.isEmpty() ? QStringLiteral("https://pelorin.app/") : stored);
}

void UpdateService::setStatus(const UpdateStatus& status)
{
    m_status = status;
    Q_EMIT statusChanged(m_status);
}

void UpdateService::fail(const QString& message, const QString& alertTitle)
{
    setStatus(UpdateStatus::failed(message));
    if (!alertTitle.isEmpty())
        m_prompts.inform(alertTitle, message);
}

void UpdateService::checkForUpdates(bool interactive)
{
    check(interactive);
}

QCoro::Task<void> UpdateService::check(bool interactive)
{
    QPointer<UpdateService> self(this);
    setStatus(UpdateStatus::of(UpdateStatus::Kind::checking));
    m_settings.setValue(key(SettingsKeys::lastUpdateCheckAt), now());

    UpdateFeed feed;
    std::optional<QString> failure;
    try {
        HttpRequest request;
        request.url = feedUrl(siteBase());
        request.headers = {{"Cache-Control", "no-cache"}};
        request.timeout = std::chrono::seconds(60);
        request.maxReplyBytes = 64 * 1024;
        const HttpReply reply = co_await sendHttpRequest(std::move(request));
        if (!reply.status)
            throw UpdateError(QStringLiteral("The update site address isn't a web address."));
        if (reply.oversized)
            throw UpdateError(QStringLiteral("The update feed couldn't be read."));
        feed = UpdateFeed::decode(reply.body);
    } catch (const ServiceError& error) {
        failure = error.description();
    }
    if (!self)
        co_return;
    if (failure) {
        fail(*failure, interactive ? QStringLiteral("Update check failed") : QString());
        co_return;
    }

    const QString current = m_environment.currentVersion;
    if (!isNewer(feed.version, current)) {
        setStatus(UpdateStatus::of(UpdateStatus::Kind::upToDate));
        if (interactive)
            m_prompts.inform(QStringLiteral("You're up to date"), QStringLiteral("Pelorin %1 is the latest version.").arg(current));
        co_return;
    }
    // Only quiet checks honour a skipped version; asking explicitly offers it again.
    if (!interactive && m_settings.stringValue(key(SettingsKeys::skippedUpdateVersion)) == feed.version) {
        setStatus(UpdateStatus::of(UpdateStatus::Kind::idle));
        co_return;
    }
    setStatus(UpdateStatus::available(feed.version));
    co_await offer(std::move(feed));
}

QCoro::Task<void> UpdateService::offer(UpdateFeed feed)
{
    QPointer<UpdateService> self(this);
    const UpdatePrompts::OfferAnswer answer = co_await m_prompts.offer(feed.version, m_environment.currentVersion);
    if (!self)
        co_return;
    if (answer.skipThisVersion)
        m_settings.setValue(key(SettingsKeys::skippedUpdateVersion), feed.version);
    switch (answer.choice) {
    case UpdatePrompts::Choice::updateNow:
        co_await downloadAndInstall(std::move(feed), true);
        break;
    case UpdatePrompts::Choice::onNextLaunch:
        co_await downloadAndInstall(std::move(feed), false);
        break;
    case UpdatePrompts::Choice::later:
        setStatus(UpdateStatus::of(UpdateStatus::Kind::idle));
        break;
    }
}

bool UpdateService::canUpdateInPlace() const
{
    const QString folder = m_environment.applicationFolder;
    return !folder.isEmpty() && !m_environment.stagingRoot.isEmpty() && isWritable(folder)
        && isWritable(QFileInfo(folder).absolutePath());
}

QCoro::Task<void> UpdateService::downloadAndInstall(UpdateFeed feed, bool now)
{
    if (!canUpdateInPlace()) {
        setStatus(UpdateStatus::failed(QStringLiteral("App location isn't writable")));
        m_prompts.inform(QStringLiteral("Can't update in place"),
                         QStringLiteral("Install Pelorin from its release archive into a folder you own, then check "
                                        "for updates again."));
        co_return;
    }
    QPointer<UpdateService> self(this);
    setStatus(UpdateStatus::of(UpdateStatus::Kind::downloading));
    QString staged;
    std::optional<QString> failure;
    try {
        // A named argument: g++ 12 destroys a braced temporary in a co_await expression twice.
        const StagingPlace place{siteBase(), m_environment.stagingRoot, m_environment.currentVersion};
        staged = co_await stageUpdate(feed, place);
    } catch (const ServiceError& error) {
        failure = error.description();
    } catch (const std::exception& error) {
        failure = QString::fromLocal8Bit(error.what());
    }
    if (!self)
        co_return;
    if (failure) {
        fail(*failure, QStringLiteral("Update failed"));
        co_return;
    }

    if (!now) {
        m_settings.setValues({{key(SettingsKeys::pendingUpdateVersion), feed.version},
                              {key(SettingsKeys::pendingUpdateAppPath), staged}});
        setStatus(UpdateStatus::stagedForNextLaunch(feed.version));
        co_return;
    }
    try {
        m_environment.launchInstaller(m_environment.processId, m_environment.applicationFolder, staged);
    } catch (const ServiceError& error) {
        fail(error.description(), QStringLiteral("Update failed"));
        co_return;
    }
    m_environment.terminate();
}

void UpdateService::autoCheckIfDue()
{
    if (!m_settings.boolValue(key(SettingsKeys::autoCheckForUpdates), true))
        return;
    if (now() - m_settings.doubleValue(key(SettingsKeys::lastUpdateCheckAt), 0) <= autoCheckInterval)
        return;
    [](QPointer<UpdateService> self, std::chrono::milliseconds delay) -> QCoro::Task<void> {
        co_await QCoro::sleepFor(delay);
        if (self)
            co_await self->check(false);
    }(this, m_environment.autoCheckDelay);
}

bool UpdateService::installStagedUpdateIfPending()
{
    const QString versionKey = key(SettingsKeys::pendingUpdateVersion);
    const QString pathKey = key(SettingsKeys::pendingUpdateAppPath);
    if (!m_settings.contains(versionKey) || !m_settings.contains(pathKey))
        return false;
    const QString version = m_settings.stringValue(versionKey);
    const QString staged = m_settings.stringValue(pathKey);
    m_settings.remove(versionKey);
    m_settings.remove(pathKey);
    // A build tree or a package is never replaced, and only a complete folder replaces one.
    // The staged folder's own VERSION decides: the setting may be stale, or the folder
    // replaced since it was written.
    if (!isNewer(version, m_environment.currentVersion) || m_environment.applicationFolder.isEmpty()
        || !isApplicationFolder(staged) || !isNewer(folderVersion(staged), m_environment.currentVersion))
        return false;
    try {
        m_environment.launchInstaller(m_environment.processId, m_environment.applicationFolder, staged);
    } catch (const ServiceError& error) {
        systemLog(QStringLiteral("could not install the staged update: %1").arg(error.description()));
        return false;
    }
    return true;
}

void UpdateService::cleanupOldUpdates()
{
    // Only what the updater itself made goes: folders of its staging layout, never through a
    // link and never a folder holding anything else. A newer version stays only when it was
    // staged completely; a download that failed or was refused goes.
    const QString root = m_environment.stagingRoot;
    if (!isOwnStagingRoot(root))
        return;
    const QFileInfoList entries = QDir(root).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    for (const QFileInfo& entry : entries) {
        if (!isStagingFolder(entry.filePath()))
            continue;
        const QString staged = QDir(entry.filePath()).filePath(QStringLiteral("Pelorin"));
        if (!isNewer(entry.fileName(), m_environment.currentVersion) || !isApplicationFolder(staged))
            removeTree(entry.filePath());
    }
}

} // namespace pelorin
