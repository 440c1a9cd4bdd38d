#pragma once

namespace pelorin {

// `pelorin format-json`: reads JSON on standard input and writes it re-indented the way the
// clipboard formatter does, followed by one line feed. Loads no Qt library, so the launcher
// runs it without starting the app. Exits 1 with nothing on standard output when the input
// is not a JSON object or array. The output is streamed, so however deep the nesting,
// memory holds only the input. `argv` holds the `argc` arguments that follow the command's name.
int runFormatJsonCommand(int argc, char** argv);

} // namespace pelorin
