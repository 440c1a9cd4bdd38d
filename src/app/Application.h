#pragma once

namespace pelorin {

// Runs `pelorin` with the process's arguments; returns the exit code.
int runPelorin(int argc, char** argv);

} // namespace pelorin
