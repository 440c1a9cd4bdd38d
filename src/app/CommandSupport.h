#pragma once

namespace pelorin {

// Whether a display (X11, Wayland, or a Qt platform the caller chose) is there to use.
bool haveDisplay();

// A command's standard error carries its own message only; Qt's chatter about the session
// (missing runtime folder, decoder warnings and the like) is kept for PELORIN_DEBUG=1.
void quietQtMessages();

} // namespace pelorin
