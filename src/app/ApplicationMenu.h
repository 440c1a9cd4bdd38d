#pragma once

#include <functional>

class QMenuBar;
class QWidget;

namespace pelorin {

class EditorViewModel;

// What the editor's menus call back into the shell for.
struct ApplicationMenuActions {
    std::function<void()> checkForUpdates;
    std::function<void()> openSettings;
    std::function<void()> quit;
    std::function<void()> pinToScreen; // the framed screenshot, above every window
};

// Ends the app. Every Quit the app offers (tray, menu, Ctrl+Q) calls this one function.
void quitApplication();

// The editor window's menu bar: File (New Screenshot, Open…, Save to Desktop, Save As...,
// Pin to Screen, Settings…, Quit), Edit (Undo and Redo of the editor window given as parent,
// Copy to Clipboard, Reopen Closed Screenshot), View (zoom), Capture (Capture Region, Capture
// Window, Capture Full Screen, Capture Last Region, Capture Self) and Help (Check for
// Updates…). Save and Copy are disabled while no document
// is open. The tray can be hidden on some desktops, so Settings and Quit are reachable here too.
// The window's own bindings of keys the menu carries are removed: one key, one binding.
QMenuBar* buildApplicationMenu(EditorViewModel& editor, ApplicationMenuActions actions, QWidget* parent);

} // namespace pelorin
