#pragma once

#include <QObject>
#include <QString>

class QWidget;

namespace pelorin {

class SettingsStore;

// Keeps a window where the user left it, across hides and restarts: its geometry is stored
// whenever it hides and put back whenever it shows. Window managers place a window that is
// mapped again as they please unless it asks for a position; Qt's restore also pulls a
// window onto a screen that still exists.
class WindowPlacement : public QObject {
public:
    WindowPlacement(QWidget& window, SettingsStore& settings, QString key);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget& m_window;
    SettingsStore& m_settings;
    QString m_key;
};

} // namespace pelorin
