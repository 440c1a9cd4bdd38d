#pragma once

#include "core/CaptureShortcut.h"

#include <QObject>

#include <memory>

namespace pelorin {

// The desktop's system-wide hot-key service, holding at most one hot key for the app.
class GlobalHotKeys : public QObject {
    Q_OBJECT
public:
    // Registration statuses: 0 is success, a positive number is the X error the server
    // answered (10, BadAccess: another client holds the combination), negative numbers are
    // ours.
    enum Status : int {
        Registered = 0,
        Unavailable = -1,   // no hot-key service on this desktop
        Refused = -2,       // the desktop's service said no
        NoAnswer = -3,      // the desktop's service did not answer in time
        NotBound = -4,      // the desktop took the shortcut but left its key to the user
    };

    using QObject::QObject;

    // Replaces any registered hot key. A backend that needs the desktop's consent returns
    // Registered at once and reports the desktop's answer, and later changes, through
    // registrationChanged.
    virtual int registerHotKey(const CaptureShortcut& shortcut) = 0;
    virtual void unregisterHotKey() = 0;
    virtual bool isRegistered() const = 0;

Q_SIGNALS:
    // Delivered from the event loop, never from inside the backend's event handling.
    void pressed();
    void registrationChanged(int status);
};

// The backend for the running desktop: key grabs under X11, the desktop portal's global
// shortcuts under Wayland, otherwise one whose registration always fails.
std::unique_ptr<GlobalHotKeys> createGlobalHotKeys();

} // namespace pelorin
