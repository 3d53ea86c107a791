// Nevalometrix V4.51: the PC panel of the colour sensor.
#include "nvmxv451/nvmxv451.h"

#include <cstdio>
#include <cstring>

int main(int argc, char **argv) {
    // --version answers before the engine starts, so it needs no display. NVMX_VERSION is the
    // project's version, passed by the build (cmake/Packaging.cmake).
    for (int i = 1; i < argc; i++)
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("nvmxv451 %s\n", NVMX_VERSION);
            return 0;
        }
    return RunProgram(argc, argv);
}
