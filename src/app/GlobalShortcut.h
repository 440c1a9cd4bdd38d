#pragma once

#include <QObject>

#include <memory>

namespace pelorin {

class GlobalHotKeys;
class NotificationCenter;
class SettingsStore;

// Registers the shortcut stored in the settings, replacing the registered one. A failure is
// written to the system log and leaves the app without a shortcut until it changes.
// Returns the registration status (0 on success).
int setupGlobalHotkeys(SettingsStore& settings, GlobalHotKeys& hotKeys);

// The capture shortcut for the app's lifetime: registered at construction and on every
// "shortcutChanged", posting "triggerScreenCapture" when pressed, unregistered at the end.
class GlobalShortcut : public QObject {
    Q_OBJECT
public:
    GlobalShortcut(SettingsStore& settings, NotificationCenter& notifications, std::unique_ptr<GlobalHotKeys> hotKeys,
                   QObject* parent = nullptr);
    ~GlobalShortcut() override;

    GlobalHotKeys& hotKeys() { return *m_hotKeys; }

private:
    SettingsStore& m_settings;
    std::unique_ptr<GlobalHotKeys> m_hotKeys;
};

} // namespace pelorin
