// The panel started on a sensor of a line file (--line FILE --sensor NAME), taken as the commands
// take it: the sensor's port, its name, the line's change log and the line's broker under the
// broker options given.
#pragma once

#include "platform/system/commandline.h"

#include <string>

struct PanelLineSensor {
    std::string port;    // as the line file gives it: a device path, COMn or n
    std::string name;    // the sensor's name on the line
    std::string lineLog; // the line's own change log; "" when the line keeps none
    std::string control; // the control socket of the line's service
};

// Reads start.lineFile and picks start.sensor (or the line's only sensor) into sensor; the
// line's broker goes over telemetry, and the broker options of the command line over that.
// False with why.
bool TakePanelLine(const PanelStart &start, PanelLineSensor *sensor, TelemetryConfig *telemetry,
                   std::string *why);
