#include "core/CaptureShortcut.h"

#include <array>

namespace pelorin {

namespace {

constexpr std::array<ShortcutKey, 36> keys{{
    {'A', 38}, {'S', 39}, {'D', 40}, {'F', 41}, {'H', 43}, {'G', 42}, {'Z', 52}, {'X', 53}, {'C', 54},
    {'V', 55}, {'B', 56}, {'Q', 24}, {'W', 25}, {'E', 26}, {'R', 27}, {'Y', 29}, {'T', 28}, {'1', 10},
    {'2', 11}, {'3', 12}, {'4', 13}, {'6', 15}, {'5', 14}, {'9', 18}, {'7', 16}, {'8', 17}, {'0', 19},
    {'O', 32}, {'U', 30}, {'I', 31}, {'P', 33}, {'L', 46}, {'J', 44}, {'K', 45}, {'N', 57}, {'M', 58},
}};

constexpr ShortcutKey keyB{'B', 56};

constexpr ModifierFlags allFlags = ModifierFlag::Ctrl | ModifierFlag::Shift | ModifierFlag::Alt | ModifierFlag::Super;

} // namespace

std::span<const ShortcutKey> shortcutKeyTable()
{
    return keys;
}

ShortcutKey shortcutKey(const QString& character)
{
    const QString upper = character.toUpper();
    if (upper.size() != 1)
        return keyB;
    for (const ShortcutKey& key : keys) {
        if (upper.front() == QLatin1Char(key.character))
            return key;
    }
    return keyB;
}

std::optional<char> shortcutCharacter(quint32 keyCode)
{
    for (const ShortcutKey& key : keys) {
        if (key.keyCode == keyCode)
            return key.character;
    }
    return std::nullopt;
}

quint32 shortcutKeysym(char character)
{
    // Latin-1 keysyms are the characters' own codes.
    return character >= 'A' && character <= 'Z' ? quint32(character - 'A' + 'a') : quint32(character);
}

ModifierFlags modifierFlags(Qt::KeyboardModifiers modifiers)
{
    ModifierFlags flags;
    flags.setFlag(ModifierFlag::Ctrl, modifiers.testFlag(Qt::ControlModifier));
    flags.setFlag(ModifierFlag::Shift, modifiers.testFlag(Qt::ShiftModifier));
    flags.setFlag(ModifierFlag::Alt, modifiers.testFlag(Qt::AltModifier));
    flags.setFlag(ModifierFlag::Super, modifiers.testFlag(Qt::MetaModifier));
    return flags;
}

CaptureShortcut effectiveShortcut(const QString& storedKey, qint64 storedModifiers)
{
    CaptureShortcut shortcut;
    shortcut.key = shortcutKey(storedKey.isEmpty() ? QStringLiteral("1") : storedKey).character;
    const ModifierFlags flags = ModifierFlags::fromInt(int(storedModifiers & allFlags.toInt()));
    if (flags.testAnyFlags(ModifierFlag::Ctrl | ModifierFlag::Super))
        shortcut.modifiers = flags;
    return shortcut;
}

QString displayString(const CaptureShortcut& shortcut)
{
    QString text;
    const auto add = [&](ModifierFlag flag, const char* word) {
        if (shortcut.modifiers.testFlag(flag))
            text += QLatin1String(word) + u'+';
    };
    add(ModifierFlag::Ctrl, "Ctrl");
    add(ModifierFlag::Alt, "Alt");
    add(ModifierFlag::Shift, "Shift");
    add(ModifierFlag::Super, "Super");
    return text + QLatin1Char(shortcut.key);
}

} // namespace pelorin
