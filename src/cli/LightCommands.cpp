#include "cli/LightCommands.h"

#include "cli/FormatJsonCommand.h"

#include <cstdio>
#include <cstring>

namespace pelorin {

namespace {

constexpr const char* usage =
    "Usage: pelorin [--background] [FILE...]\n"
    "  or:  pelorin --capture | --capture-window | --capture-screen [N] | --capture-last-region [--delay SECONDS]\n"
    "  or:  pelorin --pin FILE...\n"
    "  or:  pelorin COMMAND [ARGS...]\n"
    "\n"
    "Without a command, starts the tray app (or hands FILEs to the one already running):\n"
    "images open in the editor, other files are uploaded.\n"
    "  --background    start in the tray only, without showing the editor\n"
    "  --capture       capture a region with the running app (started when none runs);\n"
    "                  bind it to a key in your desktop's keyboard settings\n"
    "  --capture-window  capture a window the same way\n"
    "  --capture-screen [N]  capture every monitor, or monitor N (1 is the leftmost;\n"
    "                  \"pointer\": the one under the mouse pointer)\n"
    "  --capture-last-region  capture the region captured last on these monitors again\n"
    "  --delay SECONDS  wait before capturing (with one of the --capture options)\n"
    "  --pin FILE      show an image above every window (--pin again for more)\n"
    "  --help          show this help and exit\n"
    "  --version       show the version and exit\n"
    "\n"
    "Commands (each has --help; only capture needs a display):\n"
    "  render IN -o OUT [options]   frame a screenshot the way the editor exports it\n"
    "  capture MODE -o OUT          capture the screen into a file without the app (display needed)\n"
    "  detect IMAGE... [-o DIR]     list the UI elements found in screenshots, as JSON\n"
    "  format-json                  re-indent JSON from standard input, keeping key order\n"
    "  upload FILE...               upload files and print their links\n";

} // namespace

std::optional<int> runLightCommand(int argc, char** argv)
{
    if (argc < 2)
        return std::nullopt;
    const char* first = argv[1];
    if (std::strcmp(first, "--help") == 0 || std::strcmp(first, "-h") == 0) {
        std::fputs(usage, stdout);
        return 0;
    }
    if (std::strcmp(first, "--version") == 0) {
        std::printf("%s\n", PELORIN_VERSION); // the number alone: scripts read it
        return 0;
    }
    if (std::strcmp(first, "format-json") == 0)
        return runFormatJsonCommand(argc - 2, argv + 2);
    return std::nullopt;
}

} // namespace pelorin
