#pragma once

#include "editor/EditorWindowHost.h"

#include <QPointer>
#include <QWidget>

namespace pelorin {

// Shows and hides the editor window; Linux has no Dock, so the activation policy is state only.
class WindowManager : public EditorWindowHost {
public:
    enum class ActivationPolicy { regular, accessory };

    void setMainWindow(QWidget* window) { m_mainWindow = window; }
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
    QPointer<QWidget> m_mainWindow;
    ActivationPolicy m_policy = ActivationPolicy::regular;
};

} // namespace pelorin
