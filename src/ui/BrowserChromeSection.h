#pragma once

#include <QTimer>
#include <QWidget>

class QLineEdit;

namespace pelorin {

class ChromeButton;
class EditorViewModel;
class ToggleSwitch;

// The controls of the browser frame. Each assigns a whole new browser-frame value; typing in
// the address field is applied 300 ms after the last keystroke, so the frame is not redrawn
// for every letter.
class BrowserChromeSection : public QWidget {
    Q_OBJECT
public:
    static constexpr int addressDelayMs = 300;

    BrowserChromeSection(EditorViewModel& editor, QWidget* parent = nullptr);

    ToggleSwitch* frameToggle() const { return m_enabled; }
    ToggleSwitch* addressBarToggle() const { return m_addressBar; }
    ChromeButton* darkButton() const { return m_dark; }
    ChromeButton* lightButton() const { return m_light; }
    QLineEdit* addressField() const { return m_address; }
    bool hasPendingAddress() const { return m_addressTimer.isActive(); }

private:
    void refresh();
    void applyAddress();

    EditorViewModel& m_editor;
    ToggleSwitch* m_enabled;
    ChromeButton* m_dark;
    ChromeButton* m_light;
    ToggleSwitch* m_addressBar;
    QLineEdit* m_address;
    QTimer m_addressTimer;
};

} // namespace pelorin
