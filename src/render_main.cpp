// `pelorin render` as a program of its own, which the launcher starts for that command: it
// loads the renderer and the image codecs, and nothing of the tray, the editor window, the
// network or text recognition, so a render starts in a fraction of the full program's time.
#include "app/RenderCommand.h"

#include <csignal>

int main(int argc, char** argv)
{
    // Past a file-size limit a write should fail like a full disk, with the old file kept.
    std::signal(SIGXFSZ, SIG_IGN);
    return pelorin::runRenderProgram(argc, argv);
}
