#pragma once

#include "app/update/MessageBoxUpdatePrompts.h"
#include "app/update/UpdateService.h"

#include <functional>

namespace pelorin {

class SettingsStore;
class SettingsWindow;

// The updater as the shell uses it: message-box prompts, the running application's folder,
// and the hooks for the menus and the settings window.
class ApplicationUpdates {
public:
    explicit ApplicationUpdates(SettingsStore& settings);

    UpdateService& service() { return m_service; }

    // First thing at start-up: hands a staged update to the installer (true: end the process
    // now so it can replace the folder), else clears out stale staged updates.
    bool installPendingUpdate();
    // The interactive check, for "Check for Updates…" in the tray and the Help menu.
    std::function<void()> checkAction();
    // "Check Now" and the status line of the settings window's Updates section.
    void attach(SettingsWindow& window);
    // Last step of start-up.
    void autoCheckIfDue() { m_service.autoCheckIfDue(); }

private:
    MessageBoxUpdatePrompts m_prompts;
    UpdateService m_service;
};

} // namespace pelorin
