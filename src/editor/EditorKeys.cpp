#include "editor/EditorViewModel.h"

#include "editor/EditorWindowHost.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QWindow>

namespace pelorin {

namespace {

// X11 reports Caps Lock only in the native modifier state.
constexpr quint32 x11LockMask = 0x2;

bool focusIsTextInput()
{
    const QObject* focus = QGuiApplication::focusObject();
    return focus
        && (focus->inherits("QLineEdit") || focus->inherits("QTextEdit") || focus->inherits("QPlainTextEdit")
            || focus->inherits("QAbstractSpinBox"));
}

// Sees every key press of the application first, the way a local key monitor does, and
// hands those aimed at the editor window to the editor's key map.
class EditorKeyMonitor : public QObject {
public:
    explicit EditorKeyMonitor(EditorViewModel* editor)
        : QObject(editor)
        , m_editor(editor)
    {
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::KeyPress || !m_editor)
            return false;
        // Widget windows see each key twice (window, then focus widget): act on the window's copy.
        const auto* window = qobject_cast<QWindow*>(watched);
        const EditorWindowHost* host = m_editor->windowHost();
        if (!window || !host || !host->isEditorWindow(window))
            return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        const EditorKeyEvent input{key->key(), key->modifiers(), (key->nativeModifiers() & x11LockMask) != 0};
        return m_editor->handleKeyPress(input, focusIsTextInput());
    }

private:
    QPointer<EditorViewModel> m_editor;
};

} // namespace

void EditorViewModel::installEditorKeyMonitor()
{
    if (m_keyMonitor || !QCoreApplication::instance())
        return;
    auto* monitor = new EditorKeyMonitor(this);
    m_keyMonitor = monitor;
    QCoreApplication::instance()->installEventFilter(monitor);
}

bool EditorViewModel::handleKeyPress(const EditorKeyEvent& event, bool focusIsText)
{
    const EditorKeyDecision decision = decideEditorKey(event, {hasDocument(), focusIsText});
    switch (decision.action) {
    case EditorKeyAction::passThrough:
        return false;
    case EditorKeyAction::closeEditor:
        closeEditorWindow();
        return true;
    case EditorKeyAction::chooseTool:
        selectTool(decision.tool == m_selectedTool ? std::nullopt : decision.tool);
        return true;
    case EditorKeyAction::escape:
        handleEscape();
        return true;
    }
    return false;
}

void EditorViewModel::handleEscape()
{
    if (m_quickChainEscapeHandler && m_quickChainEscapeHandler())
        return;
    if (!m_selectedTool && m_selectedAnnotationId.isNull()) {
        closeEditorWindow();
        return;
    }
    setSelectedTool(std::nullopt);
    setSelectedAnnotationId({});
}

} // namespace pelorin
