#pragma once

#include "app/AppWindows.h"
#include "app/GlobalShortcut.h"
#include "app/TrayMenu.h"

#include <QImage>
#include <QPointer>
#include <QStringList>

#include <memory>

namespace pelorin {

class ApplicationUpdates;
class PinWindow;
class NotificationCenter;
class SettingsStore;

// The running tray app: global shortcut, tray, windows, the editor and the clipboard watcher,
// each an object of its own, made in start-up order.
class TrayApplication {
public:
    TrayApplication(SettingsStore& settings, NotificationCenter& notifications, ApplicationUpdates& updates);
    ~TrayApplication();

    // Shows the editor unless started in the background, then opens `files`.
    void start(bool background, const QStringList& files);
    // Files handed over by a later `pelorin FILE…`; none brings the editor forward.
    void openFiles(const QStringList& files);

    // Pins images to the screen, each in a window of its own above the others; a file that
    // is no image is reported in an alert.
    void pinFiles(const QStringList& files);
    void pinImage(const QImage& image);
    QList<PinWindow*> pins() const;

    AppWindows& windows() { return m_windows; }
    TrayMenu& tray() { return m_tray; }

private:
    struct Editor;

    SettingsStore& m_settings;
    NotificationCenter& m_notifications;
    GlobalShortcut m_shortcut;
    AppWindows m_windows;
    TrayMenu m_tray;
    std::unique_ptr<Editor> m_editor; // made after the tray shows, so the icon appears early
    QList<QPointer<PinWindow>> m_pins; // closed with the app
};

} // namespace pelorin
