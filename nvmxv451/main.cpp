// Nevalometrix V4.51: the PC panel of the colour sensor, and its headless commands.
#include "nvmxv451/nvmxv451.h"

#ifdef NVMX_HEADLESS_COMMANDS
#include "plant/plant.h"
#endif

int main(int argc, char **argv) {
#ifdef NVMX_HEADLESS_COMMANDS
    if (IsPlantCommandLine(argc, argv))
        return RunPlantCommand(argc, argv);
#endif
    return RunProgram(argc, argv);
}
