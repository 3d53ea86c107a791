// The line's commands on a line that its service serves: the service lends a run the sensors it
// works on, for as long as the run lasts, and takes them back by itself when the run ends (its
// connection closes, however the process ended). On a line that nobody serves nothing changes.
#pragma once

#include "control/control.h"
#include "plant/portcommand.h"

// Asks the service of options' line, if one serves it, for the run's sensors; control keeps the
// loan. A service that does not lend them is told on standard error, and the run goes ahead as
// without a service (the ports then busy).
void LendServedSensors(const char *command, const PlantOptions &options, LineControl *control);
