#include "core/ShortcutRecorder.h"

namespace pelorin {

namespace {

bool isModifierKey(int key)
{
    switch (key) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Meta:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_CapsLock:
    case Qt::Key_NumLock:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
    case Qt::Key_Hyper_L:
    case Qt::Key_Hyper_R:
    case Qt::Key_Mode_switch:
        return true;
    default:
        return false;
    }
}

std::optional<char> characterOf(const RecordedKeyPress& press)
{
    // Keypad digits are other keys than the ones the shortcut is registered for.
    if (!press.modifiers.testFlag(Qt::KeypadModifier)) {
        if (press.key >= Qt::Key_A && press.key <= Qt::Key_Z)
            return char('A' + (press.key - Qt::Key_A));
        if (press.key >= Qt::Key_0 && press.key <= Qt::Key_9)
            return char('0' + (press.key - Qt::Key_0));
    }
    // With Shift a digit key reports its symbol ("!" for 1 on a US layout), and some layouts
    // put digits on the shifted level: the key's position tells which digit it is.
    return shortcutCharacter(press.nativeScanCode);
}

} // namespace

ShortcutRecorder::Outcome ShortcutRecorder::keyPressed(const RecordedKeyPress& press)
{
    if (!m_recording)
        return Outcome::NotRecording;
    if (isModifierKey(press.key))
        return Outcome::Ignored;
    const ModifierFlags flags = modifierFlags(press.modifiers);
    if (!flags.testAnyFlags(ModifierFlag::Ctrl | ModifierFlag::Super))
        return Outcome::Ignored;
    const std::optional<char> character = characterOf(press);
    if (!character)
        return Outcome::Ignored;
    m_recorded = {*character, flags};
    m_recording = false;
    return Outcome::Recorded;
}

} // namespace pelorin
