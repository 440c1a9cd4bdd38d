#pragma once

#include "core/ShortcutRecorder.h"

#include <QPushButton>

namespace pelorin {

class NotificationCenter;
class SettingsStore;

// The settings field of the capture shortcut. Clicking it starts recording; the next letter
// or digit pressed with Ctrl or Super becomes the shortcut, written to both settings keys
// in one go, and "shortcutChanged" is posted. Every other key is swallowed while recording;
// clicking again or leaving the field stops it.
class ShortcutRecorderView : public QPushButton {
    Q_OBJECT
public:
    ShortcutRecorderView(SettingsStore& settings, NotificationCenter& notifications, QWidget* parent = nullptr);

    void startRecording();
    void stopRecording();
    bool isRecording() const { return m_recorder.isRecording(); }

    // The stored shortcut as it is registered, "Ctrl+Shift+1".
    QString displayString() const;

protected:
    bool event(QEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void refresh();

    SettingsStore& m_settings;
    NotificationCenter& m_notifications;
    ShortcutRecorder m_recorder;
};

} // namespace pelorin
