#pragma once

#include "app/update/UpdateFeed.h"
#include "app/update/UpdateStatus.h"

#include <QObject>
#include <QUrl>

#include <QCoro/QCoroTask>

#include <chrono>
#include <functional>

namespace pelorin {

class SettingsStore;
class UpdatePrompts;

// Where the running application lives and how it hands over to the installer.
struct UpdateEnvironment {
    QString currentVersion;
    // The folder holding VERSION next to bin/ of the running program; empty for a build tree
    // or a system package, which cannot update in place.
    QString applicationFolder;
    QString stagingRoot;
    qint64 processId = 0;
    std::chrono::milliseconds autoCheckDelay{5000};
    // Starts the installer that waits for `pid` to end and replaces `target` with `staged`.
    std::function<void(qint64 pid, const QString& target, const QString& staged)> launchInstaller;
    // Ends the application so the installer can go on.
    std::function<void()> terminate;

    static UpdateEnvironment ofRunningApplication();
};

// Checks the download feed, offers a newer version, stages it and installs it now (through
// the installer script and a relaunch) or at the next start.
class UpdateService : public QObject {
    Q_OBJECT
public:
    UpdateService(SettingsStore& settings, UpdatePrompts& prompts, UpdateEnvironment environment, QObject* parent = nullptr);

    const UpdateStatus& status() const { return m_status; }
    const UpdateEnvironment& environment() const { return m_environment; }
    // The product site, or the "updateSiteURL" setting when one is stored.
    QUrl siteBase() const;

    // The menu items and "Check Now": runs check(interactive) without waiting for it.
    void checkForUpdates(bool interactive);
    QCoro::Task<void> check(bool interactive);
    // After start-up: a quiet check some seconds later, when enabled and 20 hours have passed.
    void autoCheckIfDue();
    // First thing at start-up. True when the installer is running and waits for this process
    // to end: the caller ends start-up there.
    bool installStagedUpdateIfPending();
    // Removes staged updates that are not newer than the running version.
    void cleanupOldUpdates();

Q_SIGNALS:
    void statusChanged(const pelorin::UpdateStatus& status);

private:
    QCoro::Task<void> offer(UpdateFeed feed);
    QCoro::Task<void> downloadAndInstall(UpdateFeed feed, bool now);
    bool canUpdateInPlace() const;
    void setStatus(const UpdateStatus& status);
    void fail(const QString& message, const QString& alertTitle);

    SettingsStore& m_settings;
    UpdatePrompts& m_prompts;
    UpdateEnvironment m_environment;
    UpdateStatus m_status;
};

} // namespace pelorin
