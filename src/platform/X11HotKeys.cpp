#include "platform/X11HotKeys.h"

#include <QGuiApplication>
#include <QTimer>
#include <QtGui/qguiapplication_platform.h>

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

namespace pelorin {

namespace {

constexpr xcb_keysym_t XK_Num_Lock = 0xff7f;
constexpr xcb_keysym_t XK_Alt_L = 0xffe9;
constexpr xcb_keysym_t XK_Alt_R = 0xffea;
constexpr xcb_keysym_t XK_Super_L = 0xffeb;
constexpr xcb_keysym_t XK_Super_R = 0xffec;

struct KeySymbolsDeleter {
    void operator()(xcb_key_symbols_t* symbols) const { xcb_key_symbols_free(symbols); }
};
using KeySymbols = std::unique_ptr<xcb_key_symbols_t, KeySymbolsDeleter>;

struct FreeDeleter {
    void operator()(void* pointer) const { std::free(pointer); }
};

} // namespace

std::unique_ptr<X11HotKeys> X11HotKeys::create()
{
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection())
        return nullptr;
    return std::make_unique<X11HotKeys>(x11->connection());
}

X11HotKeys::X11HotKeys(xcb_connection_t* connection)
    : m_connection(connection)
    , m_root(xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root)
{
    QCoreApplication::instance()->installNativeEventFilter(this);
}

X11HotKeys::~X11HotKeys()
{
    if (QCoreApplication::instance())
        QCoreApplication::instance()->removeNativeEventFilter(this);
    ungrab();
}

std::uint8_t X11HotKeys::keyCodeFor(char key) const
{
    // The key that types the character in the current layout, so Ctrl+A is the key labelled
    // A on a French keyboard too; the standard position when the layout has no such key.
    KeySymbols symbols(xcb_key_symbols_alloc(m_connection));
    if (symbols) {
        std::unique_ptr<xcb_keycode_t, FreeDeleter> codes(xcb_key_symbols_get_keycode(symbols.get(), shortcutKeysym(key)));
        if (codes && *codes != XCB_NO_SYMBOL)
            return *codes;
    }
    return std::uint8_t(shortcutKey(QString(QLatin1Char(key))).keyCode);
}

X11HotKeys::ModifierMasks X11HotKeys::readModifierMasks() const
{
    // Which of Mod1–Mod5 carries Alt, Super and Num Lock depends on the server's keymap.
    ModifierMasks masks;
    KeySymbols symbols(xcb_key_symbols_alloc(m_connection));
    std::unique_ptr<xcb_get_modifier_mapping_reply_t, FreeDeleter> mapping(
        xcb_get_modifier_mapping_reply(m_connection, xcb_get_modifier_mapping(m_connection), nullptr));
    if (symbols && mapping) {
        const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(mapping.get());
        const int perModifier = mapping->keycodes_per_modifier;
        for (int modifier = 3; modifier < 8; ++modifier) {
            for (int i = 0; i < perModifier; ++i) {
                const xcb_keycode_t code = codes[modifier * perModifier + i];
                if (code == 0)
                    continue;
                const std::uint16_t bit = std::uint16_t(1u << modifier);
                for (int column = 0; column < 4; ++column) {
                    const xcb_keysym_t sym = xcb_key_symbols_get_keysym(symbols.get(), code, column);
                    if (sym == XK_Num_Lock && !masks.numLock)
                        masks.numLock = bit;
                    else if ((sym == XK_Alt_L || sym == XK_Alt_R) && !masks.alt)
                        masks.alt = bit;
                    else if ((sym == XK_Super_L || sym == XK_Super_R) && !masks.super)
                        masks.super = bit;
                }
            }
        }
    }
    if (!masks.alt)
        masks.alt = XCB_MOD_MASK_1;
    if (!masks.super)
        masks.super = XCB_MOD_MASK_4;
    if (!masks.numLock)
        masks.numLock = XCB_MOD_MASK_2;
    return masks;
}

std::uint16_t X11HotKeys::maskFor(ModifierFlags flags, const ModifierMasks& masks) const
{
    std::uint16_t mask = 0;
    if (flags.testFlag(ModifierFlag::Ctrl))
        mask |= XCB_MOD_MASK_CONTROL;
    if (flags.testFlag(ModifierFlag::Shift))
        mask |= XCB_MOD_MASK_SHIFT;
    if (flags.testFlag(ModifierFlag::Alt))
        mask |= masks.alt;
    if (flags.testFlag(ModifierFlag::Super))
        mask |= masks.super;
    return mask;
}

int X11HotKeys::registerHotKey(const CaptureShortcut& shortcut)
{
    ungrab();
    const ModifierMasks masks = readModifierMasks();
    const std::uint8_t keyCode = keyCodeFor(shortcut.key);
    const std::uint16_t modifiers = maskFor(shortcut.modifiers, masks);
    const std::uint16_t locks[4] = {0, XCB_MOD_MASK_LOCK, masks.numLock, std::uint16_t(XCB_MOD_MASK_LOCK | masks.numLock)};

    xcb_void_cookie_t cookies[4];
    for (int i = 0; i < 4; ++i)
        cookies[i] = xcb_grab_key_checked(m_connection, 1, m_root, std::uint16_t(modifiers | locks[i]), keyCode,
                                          XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
    int status = Registered;
    bool granted[4] = {};
    for (int i = 0; i < 4; ++i) {
        std::unique_ptr<xcb_generic_error_t, FreeDeleter> error(xcb_request_check(m_connection, cookies[i]));
        granted[i] = !error;
        if (error && status == Registered)
            status = error->error_code;
    }
    if (status != Registered) {
        // Half a shortcut (working only with Caps Lock on, say) would be worse than none.
        for (int i = 0; i < 4; ++i) {
            if (granted[i])
                xcb_ungrab_key(m_connection, keyCode, m_root, std::uint16_t(modifiers | locks[i]));
        }
        xcb_flush(m_connection);
        return status;
    }
    m_keyCode = keyCode;
    m_modifiers = modifiers;
    m_relevant = XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL | masks.alt | masks.super;
    std::copy(std::begin(locks), std::end(locks), std::begin(m_lockMasks));
    return Registered;
}

void X11HotKeys::unregisterHotKey()
{
    ungrab();
}

void X11HotKeys::ungrab()
{
    if (m_keyCode == 0)
        return;
    for (std::uint16_t lock : m_lockMasks)
        xcb_ungrab_key(m_connection, m_keyCode, m_root, std::uint16_t(m_modifiers | lock));
    xcb_flush(m_connection);
    m_keyCode = 0;
}

bool X11HotKeys::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
    if (m_keyCode == 0 || eventType != "xcb_generic_event_t")
        return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7f) != XCB_KEY_PRESS)
        return false;
    const auto* press = reinterpret_cast<const xcb_key_press_event_t*>(event);
    if (press->event != m_root || press->detail != m_keyCode || (press->state & m_relevant) != m_modifiers)
        return false;
    // Whoever reacts may open windows or grab the screen: not from inside Qt's event dispatch.
    QTimer::singleShot(0, this, &GlobalHotKeys::pressed);
    return true;
}

} // namespace pelorin
