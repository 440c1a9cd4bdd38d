#pragma once

#include "core/Annotation.h"

#include <Qt>

#include <optional>

namespace pelorin {

struct EditorKeyEvent {
    int key = 0;                                  // Qt::Key
    Qt::KeyboardModifiers modifiers = Qt::NoModifier;
    bool capsLock = false;                        // Qt does not report Caps Lock as a modifier
};

struct EditorKeyState {
    bool hasDocument = false;
    bool focusIsText = false; // a text field of the editor window has the keyboard
};

enum class EditorKeyAction {
    passThrough,
    closeEditor, // Ctrl+W
    chooseTool,  // a digit 1–5: toggles `tool`
    escape,      // quick chain, clear tool and selection, or close
};

struct EditorKeyDecision {
    EditorKeyAction action = EditorKeyAction::passThrough;
    std::optional<AnnotationTool> tool;
    bool operator==(const EditorKeyDecision&) const = default;
};

// What the editor does with a key press in its window. Any modifier (Caps Lock and the keypad
// included) makes the editor leave the key alone, except Ctrl+W.
EditorKeyDecision decideEditorKey(const EditorKeyEvent& event, const EditorKeyState& state);

} // namespace pelorin
