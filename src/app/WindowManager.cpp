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

namespace pelorin {

QList<QPointer<QObject>> WindowManager::hideVisibleWindows()
{
    QList<QPointer<QObject>> hidden;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible() && widget->isWindow() && !widget->inherits("QMenu")) {
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
    QWidget* window = m_mainWindow && m_mainWindow->isVisible() ? m_mainWindow.data() : nullptr;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (!window && widget->isVisible() && widget->isWindow() && !widget->inherits("QMenu"))
            window = widget;
    }
    return window ? window->grab().toImage() : QImage();
}

} // namespace pelorin
