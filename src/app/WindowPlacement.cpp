#include "app/WindowPlacement.h"

#include "platform/SettingsStore.h"

#include <QEvent>
#include <QWidget>

namespace pelorin {

WindowPlacement::WindowPlacement(QWidget& window, SettingsStore& settings, QString key)
    : QObject(&window)
    , m_window(window)
    , m_settings(settings)
    , m_key(std::move(key))
{
    window.installEventFilter(this);
}

bool WindowPlacement::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != &m_window)
        return false;
    // The show event comes before the window is mapped, so the window appears in place.
    if (event->type() == QEvent::Show) {
        const QByteArray stored = m_settings.bytesValue(m_key);
        if (!stored.isEmpty())
            m_window.restoreGeometry(stored);
    } else if (event->type() == QEvent::Hide && !m_window.isMinimized()) {
        m_settings.setValue(m_key, m_window.saveGeometry());
    }
    return false;
}

} // namespace pelorin
