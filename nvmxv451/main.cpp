// Nevalometrix V4.51: the PC panel of the colour sensor.
#include "nvmxv451/nvmxv451.h"

int main(int argc, char **argv) {
    return RunProgram(argc, argv);
}
