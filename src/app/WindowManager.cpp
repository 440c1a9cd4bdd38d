#include "app/WindowManager.h"

#include <QApplication>
#include <QWindow>

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
    bool anyVisible = false;
    for (const QWidget* widget : QApplication::topLevelWidgets())
        anyVisible = anyVisible || (widget->isVisible() && widget->isWindow() && !widget->windowTitle().isEmpty());
    m_policy = anyVisible ? ActivationPolicy::regular : ActivationPolicy::accessory;
}

bool WindowManager::isEditorWindow(const QWindow* window) const
{
    return m_mainWindow && window && m_mainWindow->windowHandle() == window;
}

} // namespace pelorin
