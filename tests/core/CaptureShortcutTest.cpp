#include "core/CaptureShortcut.h"
#include "core/ShortcutRecorder.h"

#include <gtest/gtest.h>

using namespace pelorin;

constexpr ModifierFlags ctrlShift = ModifierFlag::Ctrl | ModifierFlag::Shift;

// Stored settings become the registered combination, shown in Linux words.
TEST(CaptureShortcut, StoredSettingsBecomeTheRegisteredCombination)
{
    struct Case { const char* key; qint64 modifiers; CaptureShortcut expected; const char* shown = nullptr; };
    const Case cases[] = {
        {"1", 3, {'1', ctrlShift}, "Ctrl+Shift+1"},
        {"k", 8, {'K', ModifierFlag::Super}, "Super+K"},
        {"Z", 1 | 4, {'Z', ModifierFlag::Ctrl | ModifierFlag::Alt}, "Ctrl+Alt+Z"},
        {"5", 15, {'5', ModifierFlag::Ctrl | ModifierFlag::Shift | ModifierFlag::Alt | ModifierFlag::Super}, "Ctrl+Alt+Shift+Super+5"},
        // No modifiers stored: Ctrl+Shift, never a bare key.
        {"1", 0, {'1', ctrlShift}},
        // Neither Ctrl nor Super (Shift or Alt alone would take a character from every app).
        {"1", 2, {'1', ctrlShift}},
        {"A", 4 | 2, {'A', ctrlShift}},
        {"A", 16, {'A', ctrlShift}},
        {"A", 16 | 8, {'A', ModifierFlag::Super}},
        // Outside the table: the B key.
        {"é", 3, {'B', ctrlShift}},
        {"!", 3, {'B', ctrlShift}},
        {"AB", 3, {'B', ctrlShift}},
        {"", 3, {'1', ctrlShift}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.key) + " " + std::to_string(c.modifiers));
        const CaptureShortcut shortcut = effectiveShortcut(QString::fromUtf8(c.key), c.modifiers);
        EXPECT_EQ(shortcut, c.expected);
        if (c.shown) {
            EXPECT_EQ(displayString(shortcut).toStdString(), c.shown);
        }
    }
}

TEST(CaptureShortcut, KeyTableHasEveryLetterAndDigitOnceAndReadsBackwards)
{
    EXPECT_EQ(shortcutKeyTable().size(), 36u);
    for (const ShortcutKey& key : shortcutKeyTable()) {
        EXPECT_EQ(shortcutKey(QString(QLatin1Char(key.character))).keyCode, key.keyCode);
        EXPECT_EQ(shortcutCharacter(key.keyCode), key.character);
    }
    EXPECT_FALSE(shortcutCharacter(9).has_value()); // Escape
    EXPECT_EQ(shortcutKeysym('A'), 0x61u);
    EXPECT_EQ(shortcutKeysym('7'), 0x37u);
}

TEST(ShortcutRecorder, TakesOnlyLettersAndDigitsWithCtrlOrSuper)
{
    using Outcome = ShortcutRecorder::Outcome;
    struct Case { const char* name; RecordedKeyPress press; Outcome outcome; CaptureShortcut recorded; };
    const Case cases[] = {
        {"Ctrl+K", {Qt::Key_K, Qt::ControlModifier, 45}, Outcome::Recorded, {'K', ModifierFlag::Ctrl}},
        {"Super+K", {Qt::Key_K, Qt::MetaModifier, 45}, Outcome::Recorded, {'K', ModifierFlag::Super}},
        {"Ctrl+Alt+Shift+Super+0", {Qt::Key_0, Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier | Qt::MetaModifier, 19},
         Outcome::Recorded, {'0', ModifierFlag::Ctrl | ModifierFlag::Alt | ModifierFlag::Shift | ModifierFlag::Super}},
        // Shift turns 1 into "!" on a US keyboard; the key's position says 1.
        {"Ctrl+Shift+1 on US", {Qt::Key_Exclam, Qt::ControlModifier | Qt::ShiftModifier, 10}, Outcome::Recorded, {'1', ctrlShift}},
        // French layout: the key left of 2 types "&" unshifted and 1 shifted.
        {"Ctrl+Shift+1 on AZERTY", {Qt::Key_1, Qt::ControlModifier | Qt::ShiftModifier, 10}, Outcome::Recorded, {'1', ctrlShift}},
        {"Ctrl+A on AZERTY", {Qt::Key_A, Qt::ControlModifier, 24}, Outcome::Recorded, {'A', ModifierFlag::Ctrl}},
        // A non-Latin layout still records the letter at that position.
        {"Ctrl+Cyrillic EF", {0x0424 /* Ф */, Qt::ControlModifier, 38}, Outcome::Recorded, {'A', ModifierFlag::Ctrl}},
        {"unknown scan code", {Qt::Key_K, Qt::ControlModifier, 0}, Outcome::Recorded, {'K', ModifierFlag::Ctrl}},
        // Swallowed but not taken.
        {"Alt+Shift+K", {Qt::Key_K, Qt::AltModifier | Qt::ShiftModifier, 45}, Outcome::Ignored, {}},
        {"Shift+K", {Qt::Key_K, Qt::ShiftModifier, 45}, Outcome::Ignored, {}},
        {"plain K", {Qt::Key_K, Qt::NoModifier, 45}, Outcome::Ignored, {}},
        {"Ctrl alone", {Qt::Key_Control, Qt::ControlModifier, 37}, Outcome::Ignored, {}},
        {"Super alone", {Qt::Key_Super_L, Qt::MetaModifier, 133}, Outcome::Ignored, {}},
        {"Escape", {Qt::Key_Escape, Qt::NoModifier, 9}, Outcome::Ignored, {}},
        {"Ctrl+Escape", {Qt::Key_Escape, Qt::ControlModifier, 9}, Outcome::Ignored, {}},
        {"Ctrl+F5", {Qt::Key_F5, Qt::ControlModifier, 71}, Outcome::Ignored, {}},
        {"Ctrl+comma", {Qt::Key_Comma, Qt::ControlModifier, 59}, Outcome::Ignored, {}},
        {"Ctrl+keypad 1", {Qt::Key_1, Qt::ControlModifier | Qt::KeypadModifier, 87}, Outcome::Ignored, {}},
    };
    // One recorder through all the rows: it records until a valid combination, and only
    // once started.
    ShortcutRecorder recorder;
    EXPECT_EQ(recorder.keyPressed({Qt::Key_K, Qt::ControlModifier, 45}), Outcome::NotRecording);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (!recorder.isRecording())
            recorder.start();
        EXPECT_EQ(recorder.keyPressed(c.press), c.outcome);
        EXPECT_EQ(recorder.isRecording(), c.outcome != Outcome::Recorded);
        if (c.outcome == Outcome::Recorded) {
            EXPECT_EQ(recorder.recorded(), c.recorded);
            EXPECT_EQ(recorder.keyPressed({Qt::Key_J, Qt::ControlModifier, 44}), Outcome::NotRecording);
        }
    }
    recorder.stop();
    EXPECT_EQ(recorder.keyPressed({Qt::Key_J, Qt::ControlModifier, 44}), Outcome::NotRecording);
    EXPECT_EQ(recorder.recorded(), (CaptureShortcut{'K', ModifierFlag::Ctrl})) << "the last one recorded";
}
