#pragma once

#include "platform/GlobalHotKeys.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QVariantMap>

#include <functional>
#include <optional>

namespace pelorin {

// Hot keys through the desktop portal's GlobalShortcuts interface (Wayland desktops that
// offer it). Every registration opens a new portal session and binds the one shortcut in
// it; the desktop may show the user a dialog, may pick another trigger, or may leave the key
// to the user (reported as NotBound; a key the user assigns later is taken). Each portal call
// and each answer has a time limit.
class PortalHotKeys : public GlobalHotKeys {
    Q_OBJECT
public:
    static constexpr const char* shortcutId = "capture-screenshot";
    static constexpr const char* sessionToken = "pelorin";

    explicit PortalHotKeys(const QDBusConnection& bus = QDBusConnection::sessionBus(), int timeoutMs = 30000);
    ~PortalHotKeys() override;

    // Returns Registered while the request is on its way, Unavailable without a session bus.
    // The desktop's answer (bound, not bound, refused, no answer) follows through registrationChanged.
    int registerHotKey(const CaptureShortcut& shortcut) override;
    void unregisterHotKey() override;
    bool isRegistered() const override { return m_bound; }

    // The trigger in the XDG shortcuts notation the portal takes, "CTRL+SHIFT+1".
    static QString preferredTrigger(const CaptureShortcut& shortcut);

private Q_SLOTS:
    void onActivated(const QDBusObjectPath& session, const QString& id, qulonglong timestamp, const QVariantMap& options);
    void onShortcutsChanged(const QDBusMessage& message);

private:
    using ResultHandler = std::function<void(const QVariantMap& results)>;
    // Calls a portal method that answers through a Request object's Response signal.
    void request(const QString& interface, const QString& method, QVariantList arguments, int optionsIndex,
                 ResultHandler onSuccess);
    void bind(const CaptureShortcut& shortcut);
    // The shortcuts the desktop lists for our session, a(sa{sv}).
    void takeBindings(const QVariant& shortcuts);
    void fail(int status);
    void closeSession();

    QDBusConnection m_bus;
    int m_timeoutMs;
    quint64 m_generation = 0; // answers for an older registration are dropped
    quint64 m_tokens = 0;
    QString m_session;
    std::optional<QDBusPendingCall> m_closing;
    bool m_listening = false;
    bool m_answered = false; // the session holds our shortcut, with or without a key
    bool m_bound = false;
};

} // namespace pelorin
