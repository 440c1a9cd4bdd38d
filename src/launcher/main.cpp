// `pelorin` as users and scripts start it. It answers --help, --version and format-json
// itself, without loading Qt, hands plain captures and files to an app that already runs, and
// replaces itself with the full program for everything else, arguments unchanged: the process id stays, so whoever started `pelorin` (the desktop
// entry, a script, the updater's relaunch) still watches the same process.
#include "cli/HandOff.h"
#include "cli/LightCommands.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>

#include <unistd.h>

namespace {

// The full program, found from this binary's own place: the installed tree and the build
// tree lay the two out alike.
std::string programPath()
{
    char self[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0)
        return PELORIN_PROGRAM_FROM_LAUNCHER;
    std::string path(self, size_t(length));
    path.resize(path.rfind('/') + 1);
    return path + PELORIN_PROGRAM_FROM_LAUNCHER;
}

} // namespace

int main(int argc, char** argv)
{
    if (const std::optional<int> exitCode = pelorin::runLightCommand(argc, argv))
        return *exitCode;
    if (pelorin::handToRunningApp(argc, argv))
        return 0;
    const std::string program = programPath();
    ::execv(program.c_str(), argv);
    std::fprintf(stderr, "pelorin: cannot start %s: %s\n", program.c_str(), std::strerror(errno));
    return 127;
}
