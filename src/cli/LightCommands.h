#pragma once

#include <optional>

namespace pelorin {

// The commands that need no Qt library: --help, --version and format-json. Both the
// launcher and the app run them through here, so they answer alike whichever binary is
// started. Returns their exit code, or nothing when the arguments are for the app.
std::optional<int> runLightCommand(int argc, char** argv);

} // namespace pelorin
