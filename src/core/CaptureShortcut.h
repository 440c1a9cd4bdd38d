#pragma once

#include <QFlags>
#include <QString>

#include <optional>
#include <span>

namespace pelorin {

// The stored modifier bits of the capture shortcut. The values are those of the settings
// file and never change; on Linux the first is Ctrl and the last is the Super key.
enum class ModifierFlag : int {
    Ctrl = 1,
    Shift = 2,
    Alt = 4,
    Super = 8,
};
Q_DECLARE_FLAGS(ModifierFlags, ModifierFlag)
Q_DECLARE_OPERATORS_FOR_FLAGS(ModifierFlags)

// One letter "A"–"Z" or digit "0"–"9" with its modifiers.
struct CaptureShortcut {
    char key = '1';
    ModifierFlags modifiers = ModifierFlag::Ctrl | ModifierFlag::Shift;

    bool operator==(const CaptureShortcut&) const = default;
};

// A key of the shortcut table: the character and the key's X keycode on a standard ANSI
// (pc105) keyboard, which is also its xkb keycode under Wayland.
struct ShortcutKey {
    char character;
    quint32 keyCode;
};

// The 36 letters and digits.
std::span<const ShortcutKey> shortcutKeyTable();

// The table entry of an upper-cased character; anything outside the table is the B key.
ShortcutKey shortcutKey(const QString& character);
// The character of the key at a keycode, if it is a letter or digit.
std::optional<char> shortcutCharacter(quint32 keyCode);
// The X keysym of the character as typed without Shift: lower-case letter or digit.
quint32 shortcutKeysym(char character);

// Qt's modifiers as stored bits; keypad and group-switch flags are dropped.
ModifierFlags modifierFlags(Qt::KeyboardModifiers modifiers);

// The shortcut the stored settings stand for. Unknown modifier bits are dropped; a
// combination without Ctrl or Super, such as the stored 0, means Ctrl+Shift, since a global
// grab of a plain or shifted key would take that character away from every application.
CaptureShortcut effectiveShortcut(const QString& storedKey, qint64 storedModifiers);

// "Ctrl+Alt+Shift+Super+K": modifier words in the order Linux desktops show them.
QString displayString(const CaptureShortcut& shortcut);

} // namespace pelorin
