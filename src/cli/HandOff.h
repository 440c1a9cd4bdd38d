#pragma once

#include <optional>
#include <string>

namespace pelorin {

// `pelorin --capture…` bound to a key, and `pelorin FILE…` from a file manager, usually reach
// an app that already runs. The launcher hands such requests over itself, without loading Qt,
// so the capture overlay or the editor appears without a full program starting first.
// Only plain requests are handed over here: captures with their monitor and delay, existing
// files named as paths, and nothing at all (show the editor). Anything else, and every
// failure, is left to the full program, which explains errors and starts the app.

// The message the running app takes for these arguments (one line of JSON, without the
// newline), or none when the full program should look at them.
std::optional<std::string> handOffMessage(int argc, const char* const* argv, const std::string& workingDirectory);

// The running app's socket for this session, as the app names it; none without a display.
std::optional<std::string> runningAppSocket();

// Sends the message and waits for the app's "ok"; true when the app took it.
bool sendToRunningApp(const std::string& socketPath, const std::string& message, int timeoutMs = 2000);

// All of the above for the launcher: true when the running app took the request.
bool handToRunningApp(int argc, const char* const* argv);

} // namespace pelorin
