#pragma once

namespace pelorin {

// `pelorin format-json`: reads JSON on standard input and writes it re-indented the way the
// clipboard formatter does, followed by one line feed. Needs no display and no Qt
// application. Exits 1 with nothing on standard output when the input is not a JSON object
// or array. The output is streamed, so however deep the nesting, memory holds only the
// input. `argv` holds the `argc` arguments that follow the command's name.
int runFormatJsonCommand(int argc, char** argv);

} // namespace pelorin
