#pragma once

#include "core/CaptureShortcut.h"

#include <Qt>

namespace pelorin {

// What the recorder needs of a key press.
struct RecordedKeyPress {
    int key = 0; // Qt::Key
    Qt::KeyboardModifiers modifiers;
    quint32 nativeScanCode = 0; // the X (xkb) keycode, 0 when unknown
};

// Turns key presses into a new capture shortcut. While recording, every key press belongs to
// the recorder, whatever it is; only a letter or digit held with Ctrl or Super is taken, and
// taking it ends the recording.
class ShortcutRecorder {
public:
    enum class Outcome {
        NotRecording, // the press is not the recorder's
        Ignored,      // swallowed; recording goes on
        Recorded,     // swallowed; recorded() holds the new shortcut and recording stopped
    };

    void start() { m_recording = true; }
    void stop() { m_recording = false; }
    bool isRecording() const { return m_recording; }

    Outcome keyPressed(const RecordedKeyPress& press);
    CaptureShortcut recorded() const { return m_recorded; }

private:
    bool m_recording = false;
    CaptureShortcut m_recorded;
};

} // namespace pelorin
