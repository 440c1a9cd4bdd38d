#pragma once

#include "app/WindowManager.h"
#include "ui/UploadHistoryWindow.h"

#include <functional>
#include <memory>

namespace pelorin {

class GlobalShortcut;
class NotificationCenter;
class SettingsStore;
class SettingsWindow;

// The app's windows besides the editor: Settings and Uploads, each made the first time it is
// asked for and registered with the window manager, so a capture hides and restores them.
class AppWindows {
public:
    AppWindows(SettingsStore& settings, NotificationCenter& notifications);
    ~AppWindows();

    WindowManager& manager() { return m_manager; }
    void showEditor() { m_manager.showEditorWindow(); }
    // Opens Settings, scrolled to `section` when one is named ("Account").
    void openSettings(const QString& section = {});
    void openUploads();
    SettingsWindow* settingsWindow() const { return m_settingsWindow.get(); }

    // Files dropped on the Uploads window.
    void setDropHandler(std::function<void(const QStringList&)> handler) { m_dropHandler = std::move(handler); }
    // The capture shortcut, whose availability the Settings window reports.
    void setGlobalShortcut(GlobalShortcut* shortcut) { m_globalShortcut = shortcut; }
    // Called once with the Settings window when it is made (the updater adds its status line).
    void setSettingsWindowHook(std::function<void(SettingsWindow&)> hook) { m_settingsWindowHook = std::move(hook); }

private:
    SettingsStore& m_settings;
    NotificationCenter& m_notifications;
    WindowManager m_manager;
    MessageBoxHistoryAlerts m_historyAlerts;
    std::unique_ptr<SettingsWindow> m_settingsWindow;
    std::unique_ptr<UploadHistoryWindow> m_historyWindow;
    std::function<void(const QStringList&)> m_dropHandler;
    std::function<void(SettingsWindow&)> m_settingsWindowHook;
    GlobalShortcut* m_globalShortcut = nullptr;
};

} // namespace pelorin
