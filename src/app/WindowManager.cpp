#include "app/WindowManager.h"

#include <QWindow>

#include <algorithm>

namespace pelorin {

void WindowManager::showEditorWindow()
{
    m_policy = ActivationPolicy::regular;
    if (!m_mainWindow)
        return;
    m_mainWindow->show();
    m_mainWindow->raise();
    m_mainWindow->activateWindow();
}

void WindowManager::hideEditorWindow()
{
    if (m_mainWindow)
        m_mainWindow->hide();
}

void WindowManager::syncActivationPolicy()
{
    const QList<QWidget*> windows = ownWindows();
    const bool anyVisible = std::any_of(windows.begin(), windows.end(), [](const QWidget* w) { return w->isVisible(); });
    m_policy = anyVisible ? ActivationPolicy::regular : ActivationPolicy::accessory;
}

bool WindowManager::isEditorWindow(const QWindow* window) const
{
    return m_mainWindow && window && m_mainWindow->windowHandle() == window;
}

} // namespace pelorin

namespace pelorin {

void WindowManager::addWindow(QWidget* window)
{
    if (window && !m_windows.contains(window))
        m_windows.append(window);
}

QList<QWidget*> WindowManager::ownWindows() const
{
    QList<QWidget*> windows;
    if (m_mainWindow)
        windows.append(m_mainWindow);
    for (const QPointer<QWidget>& window : m_windows)
        if (window)
            windows.append(window);
    return windows;
}

QList<QPointer<QObject>> WindowManager::hideVisibleWindows()
{
    QList<QPointer<QObject>> hidden;
    for (QWidget* widget : ownWindows()) {
        if (widget->isVisible()) {
            hidden.append(widget);
            widget->hide();
        }
    }
    return hidden;
}

void WindowManager::showWindows(const QList<QPointer<QObject>>& windows)
{
    for (const QPointer<QObject>& object : windows) {
        if (auto* widget = qobject_cast<QWidget*>(object.data()))
            widget->show();
    }
}

QImage WindowManager::grabVisibleWindow()
{
    for (QWidget* widget : ownWindows())
        if (widget->isVisible())
            return widget->grab().toImage();
    return {};
}

} // namespace pelorin
