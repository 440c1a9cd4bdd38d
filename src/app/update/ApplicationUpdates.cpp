#include "app/update/ApplicationUpdates.h"

#include "ui/SettingsWindow.h"

namespace pelorin {

ApplicationUpdates::ApplicationUpdates(SettingsStore& settings)
    : m_service(settings, m_prompts, UpdateEnvironment::ofRunningApplication())
{
}

bool ApplicationUpdates::installPendingUpdate()
{
    if (m_service.installStagedUpdateIfPending())
        return true;
    m_service.cleanupOldUpdates();
    return false;
}

std::function<void()> ApplicationUpdates::checkAction()
{
    return [this] { m_service.checkForUpdates(true); };
}

void ApplicationUpdates::attach(SettingsWindow& window)
{
    window.setUpdateStatus(m_service.status().text());
    QObject::connect(&m_service, &UpdateService::statusChanged, &window,
                     [&window](const UpdateStatus& status) { window.setUpdateStatus(status.text()); });
    QObject::connect(&window, &SettingsWindow::checkForUpdatesRequested, &m_service, [this] { m_service.checkForUpdates(true); });
}

} // namespace pelorin
