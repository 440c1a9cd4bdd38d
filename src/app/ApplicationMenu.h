#pragma once

#include <functional>

class QMenuBar;
class QWidget;

namespace pelorin {

class EditorViewModel;

// The editor window's menu bar: File (New Screenshot, Save to Desktop, Save As...), Edit
// (Copy to Clipboard), Capture (Capture Region, Capture Window, Capture Self) and Help
// (Check for Updates…). Save and Copy are disabled while no document is open.
QMenuBar* buildApplicationMenu(EditorViewModel& editor, std::function<void()> checkForUpdates, QWidget* parent);

} // namespace pelorin
