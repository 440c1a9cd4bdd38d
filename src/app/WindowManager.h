#pragma once

#include "editor/EditorWindowHost.h"

#include <QPointer>
#include <QWidget>

namespace pelorin {

// Shows and hides the editor window and the app's other windows. The activation policy is
// kept as state only: a Linux desktop has nothing that switches with it.
class WindowManager : public EditorWindowHost {
public:
    enum class ActivationPolicy { regular, accessory };

    void setMainWindow(QWidget* window) { m_mainWindow = window; }
    // Another window of the app (settings, uploads) that a capture hides and shows again.
    // Only registered windows are touched: the tray icon is a window of Qt's own on X11, and
    // hiding it takes it out of the tray host for good.
    void addWindow(QWidget* window);
    QWidget* mainWindow() const { return m_mainWindow; }
    ActivationPolicy activationPolicy() const { return m_policy; }

    void showEditorWindow() override;
    void hideEditorWindow() override;
    void syncActivationPolicy() override;
    bool isEditorWindow(const QWindow* window) const override;
    QList<QPointer<QObject>> hideVisibleWindows() override;
    void showWindows(const QList<QPointer<QObject>>& windows) override;
    QImage grabVisibleWindow() override;

private:
    QList<QWidget*> ownWindows() const;

    QPointer<QWidget> m_mainWindow;
    QList<QPointer<QWidget>> m_windows;
    ActivationPolicy m_policy = ActivationPolicy::regular;
};

} // namespace pelorin
