#pragma once

#include "platform/GlobalHotKeys.h"

#include <QObject>

#include <memory>

namespace pelorin {

class NotificationCenter;
class SettingsStore;

// Registers the shortcut stored in the settings, replacing the registered one. A failure is
// written to the system log and leaves the app without a shortcut until it changes.
// Returns the registration status (0 on success).
int setupGlobalHotkeys(SettingsStore& settings, GlobalHotKeys& hotKeys);

// What Settings tells the user about the shortcut's registration `status` on the desktop named
// by `desktop` (XDG_CURRENT_DESKTOP): where to assign the key, or to bind `pelorin --capture`,
// where the app cannot hold the key itself; empty where nothing needs saying.
QString shortcutNote(int status, const QString& desktop);

// The capture shortcut for the app's lifetime: registered at construction and on every
// "shortcutChanged", posting "triggerScreenCapture" when pressed, unregistered at the end.
class GlobalShortcut : public QObject {
    Q_OBJECT
public:
    GlobalShortcut(SettingsStore& settings, NotificationCenter& notifications, std::unique_ptr<GlobalHotKeys> hotKeys,
                   QObject* parent = nullptr);
    ~GlobalShortcut() override;

    GlobalHotKeys& hotKeys() { return *m_hotKeys; }
    int status() const { return m_status; }

Q_SIGNALS:
    void statusChanged();

private:
    void setStatus(int status);

    int m_status = 0;
    SettingsStore& m_settings;
    std::unique_ptr<GlobalHotKeys> m_hotKeys;
};

} // namespace pelorin
