#pragma once

#include "platform/GlobalHotKeys.h"

#include <QObject>
#include <QString>

#include <memory>

namespace pelorin {

class NotificationCenter;
class SettingsStore;

// Why a registration with this status failed, in the log's words ("the desktop refused the
// shortcut"); empty for success. Only a combination another client holds is "taken by another app".
QString shortcutFailureReason(int status);

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
    // True when the desktop offers apps no global shortcuts at all (no X11 key grabs and no
    // GlobalShortcuts portal): the user binds `pelorin --capture` in the desktop instead.
    bool desktopHasNoShortcuts() const { return m_status == GlobalHotKeys::Unavailable; }
    // The last registration's status (GlobalHotKeys::Status, or the X error).
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
