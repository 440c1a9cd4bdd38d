#include "app/Application.h"

#include <csignal>

int main(int argc, char** argv)
{
    // Past a file-size limit a write should fail like a full disk, with the old file kept,
    // not end the program and leave its temporary behind.
    std::signal(SIGXFSZ, SIG_IGN);
    return pelorin::runPelorin(argc, argv);
}
