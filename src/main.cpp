#include "app/Application.h"

#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
    // Answered before anything else, so it works without a display.
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::puts(PELORIN_VERSION);
        return 0;
    }
    return pelorin::runPelorin(argc, argv);
}
