#include "editor/EditorKeyMap.h"

namespace pelorin {

namespace {

std::optional<AnnotationTool> toolForKey(int key)
{
    if (key < Qt::Key_0 || key > Qt::Key_9)
        return std::nullopt;
    return annotationToolForDigit(QString(QChar(u'0' + (key - Qt::Key_0))));
}

} // namespace

EditorKeyDecision decideEditorKey(const EditorKeyEvent& event, const EditorKeyState& state)
{
    const Qt::KeyboardModifiers flags =
        event.modifiers & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier
                           | Qt::KeypadModifier | Qt::GroupSwitchModifier);
    if (flags != Qt::NoModifier || event.capsLock) {
        if (flags == Qt::ControlModifier && !event.capsLock && event.key == Qt::Key_W)
            return {EditorKeyAction::closeEditor, std::nullopt};
        return {};
    }
    if (state.hasDocument) {
        if (const std::optional<AnnotationTool> tool = toolForKey(event.key)) {
            if (state.focusIsText)
                return {};
            return {EditorKeyAction::chooseTool, tool};
        }
    }
    if (event.key == Qt::Key_Escape && !state.focusIsText)
        return {EditorKeyAction::escape, std::nullopt};
    return {};
}

} // namespace pelorin
