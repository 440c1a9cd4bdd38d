#pragma once

#include "platform/GlobalHotKeys.h"

#include <QAbstractNativeEventFilter>

#include <cstdint>

struct xcb_connection_t;

namespace pelorin {

// Hot keys as passive key grabs on the root window. The grab is made with and without
// Caps Lock and Num Lock, so the shortcut works whatever their state.
class X11HotKeys : public GlobalHotKeys, public QAbstractNativeEventFilter {
    Q_OBJECT
public:
    // Over the application's own X connection; null when the app does not run on X11.
    static std::unique_ptr<X11HotKeys> create();

    explicit X11HotKeys(xcb_connection_t* connection);
    ~X11HotKeys() override;

    int registerHotKey(const CaptureShortcut& shortcut) override;
    void unregisterHotKey() override;
    bool isRegistered() const override { return m_keyCode != 0; }

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

    // The keycode a shortcut key has in the server's current keymap.
    std::uint8_t keyCodeFor(char key) const;

private:
    struct ModifierMasks {
        std::uint16_t alt = 0;
        std::uint16_t super = 0;
        std::uint16_t numLock = 0;
    };
    ModifierMasks readModifierMasks() const;
    std::uint16_t maskFor(ModifierFlags flags, const ModifierMasks& masks) const;
    void ungrab();

    xcb_connection_t* m_connection;
    std::uint32_t m_root;
    std::uint8_t m_keyCode = 0;
    std::uint16_t m_modifiers = 0;   // the grabbed combination
    std::uint16_t m_relevant = 0;    // the modifier bits a press is compared on
    std::uint16_t m_lockMasks[4] = {};
};

} // namespace pelorin
