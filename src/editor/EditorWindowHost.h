#pragma once

#include <QImage>
#include <QList>
#include <QPointer>

class QWindow;

namespace pelorin {

// What the editor needs of the window manager, which lives in the application shell.
class EditorWindowHost {
public:
    virtual ~EditorWindowHost() = default;
    virtual void showEditorWindow() = 0;
    // Hides (never destroys) the editor window.
    virtual void hideEditorWindow() = 0;
    // Re-evaluates whether the app shows as a regular app or lives only in the tray.
    virtual void syncActivationPolicy() = 0;
    // Whether key events aimed at this window belong to the editor.
    virtual bool isEditorWindow(const QWindow* window) const = 0;
    // Hides every visible window of the app and returns them, in order, to be shown again.
    virtual QList<QPointer<QObject>> hideVisibleWindows() = 0;
    virtual void showWindows(const QList<QPointer<QObject>>& windows) = 0;
    // The content of the editor window (else the first visible window); null when none is visible.
    virtual QImage grabVisibleWindow() = 0;
};

} // namespace pelorin
