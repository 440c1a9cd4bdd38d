#pragma once

#include <functional>

class QMenuBar;
class QWidget;

namespace pelorin {

class EditorViewModel;

// The editor window's menu bar: File (New Screenshot, Save to Desktop, Save As...), Edit
// (Undo and Redo of the editor window given as parent, Copy to Clipboard), Capture (Capture Region, Capture Window, Capture Self) and Help
// (Check for Updates…). Save and Copy are disabled while no document is open.
QMenuBar* buildApplicationMenu(EditorViewModel& editor, std::function<void()> checkForUpdates, QWidget* parent);

} // namespace pelorin
