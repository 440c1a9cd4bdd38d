// `pelorin` as users and scripts start it. It answers --help, --version and format-json
// itself, without loading Qt, hands plain captures and files to an app that already runs, and
// replaces itself with the full program for everything else, arguments unchanged: the process id stays, so whoever started `pelorin` (the desktop
// entry, a script, the updater's relaunch) still watches the same process.
#include "cli/HandOff.h"
#include "cli/LightCommands.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

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

// `render` has a program of its own beside the full one, which loads far fewer libraries.
std::string programFor(const char* command)
{
    std::string program = programPath();
    if (command && std::strcmp(command, "render") == 0)
        program.replace(program.rfind('/') + 1, std::string::npos, "pelorin-render");
    return program;
}

// `render` holds a few pictures of the screenshot's full size at once (decoded, uploaded,
// drawn into; 20 MB each at 2880 × 1800), all fresh memory. Faulting that in 4 KiB at a time
// took a third of the command's processor time; the C library's malloc puts such blocks on
// 2 MiB pages when asked to, and only through the environment, before the program starts.
// It also keeps them in its heap instead of mapping and unmapping each one, so a picture's
// memory freed is the next one's, already faulted in (about a tenth of the command's time).
// The tray app is left as it is: both would only inflate what it keeps resident.
void tuneAllocatorFor(const char* command)
{
    if (std::strcmp(command, "render") != 0)
        return;
    constexpr std::pair<const char*, const char*> settings[] = {
        {"glibc.malloc.hugetlb", "1"},
        {"glibc.malloc.mmap_threshold", "268435456"},
        {"glibc.malloc.trim_threshold", "1073741824"},
    };
    const char* current = std::getenv("GLIBC_TUNABLES");
    std::string tunables = current ? current : "";
    for (const auto& [name, value] : settings) {
        if (tunables.find(name) != std::string::npos)
            continue; // the user's own choice stands
        if (!tunables.empty())
            tunables += ':';
        tunables += std::string(name) + '=' + value;
    }
    ::setenv("GLIBC_TUNABLES", tunables.c_str(), 1);
}

} // namespace

int main(int argc, char** argv)
{
    if (const std::optional<int> exitCode = pelorin::runLightCommand(argc, argv))
        return *exitCode;
    if (pelorin::handToRunningApp(argc, argv))
        return 0;
    if (argc > 1)
        tuneAllocatorFor(argv[1]);
    const std::string program = programFor(argc > 1 ? argv[1] : nullptr);
    ::execv(program.c_str(), argv);
    std::fprintf(stderr, "pelorin: cannot start %s: %s\n", program.c_str(), std::strerror(errno));
    return 127;
}
