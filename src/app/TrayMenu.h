#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <vector>

class QMenu;
class QSystemTrayIcon;

namespace pelorin {

class NotificationCenter;
class SettingsStore;

// The tray icon and its menu. Every item either posts a message to the editor or calls back
// into the shell; nothing here knows the editor.
class TrayMenu : public QObject {
    Q_OBJECT
public:
    struct Actions {
        std::function<void()> openMainWindow;
        std::function<void()> showUploadHistory;
        std::function<void()> openSettings;
        std::function<void()> checkForUpdates;
        std::function<void()> quit;
    };

    TrayMenu(NotificationCenter& notifications, SettingsStore& settings, Actions actions, QObject* parent = nullptr);
    ~TrayMenu() override;

    QMenu* menu() const { return m_menu; }
    QSystemTrayIcon* icon() const { return m_icon; }
    void show();

    // Flips "formatCopiedJSON".
    void toggleJSONFormatting();

private:
    void addCaptureOptions();

    NotificationCenter& m_notifications;
    SettingsStore& m_settings;
    Actions m_actions;
    QMenu* m_menu = nullptr;
    QSystemTrayIcon* m_icon = nullptr;
};

} // namespace pelorin
