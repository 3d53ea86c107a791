// check: the line check alone, on every port given.
#include "plant/portcommand.h"

int RunCheckCommand(int argc, char **argv) {
    static const PortCommand check = {
        .name = "check",
        .summary = "Checks the line to the sensor: prints LINE OK or why not.",
        .options = {},
    };
    return RunPortCommand(check, argc, argv);
}
