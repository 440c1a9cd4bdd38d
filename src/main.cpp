#include "app/Application.h"

int main(int argc, char** argv)
{
    return pelorin::runPelorin(argc, argv);
}
