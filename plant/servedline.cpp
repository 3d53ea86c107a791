#include "plant/servedline.h"

#include <cstdio>
#include <string>
#include <vector>

void LendServedSensors(const char *command, const PlantOptions &options, LineControl *control) {
    if (options.lineControl[0] == '\0')
        return;
    std::string why;
    const LocalReach reach = control->connect(options.lineControl, &why);
    if (reach == LOCAL_NOBODY)
        return;
    const std::vector<std::string> sensors(options.sensorName,
                                           options.sensorName + options.portCount);
    if (reach == LOCAL_CONNECTED &&
        LendFromService(control, sensors, LenderName(std::string("nvmxv451 ") + command), &why))
        return;
    std::fprintf(stderr, "nvmxv451 %s: the line service did not lend its sensors: %s\n", command,
                 why.c_str());
}
