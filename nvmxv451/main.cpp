// Nevalometrix V4.51: the PC panel of the colour sensor.
#include "nvmxv451/nvmxv451.h"
#include "platform/userint.h"

int main(int argc, char **argv) {
    SetProgramNames("Nevalometrix", "nvmxv451");
    return RunProgram(argc, argv);
}
