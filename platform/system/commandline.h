// The program's command line: --help, --version, --port DEVICE|COMn and the broker options of
// live telemetry. Free of Qt.
#pragma once

#include "platform/system/optionparser.h" // COMMAND_LINE_RUN
#include "telemetry/telemetry.h"

// Reads the options before the engine starts, so that --help and --version need no display.
// Returns COMMAND_LINE_RUN with port (size characters) holding the --port value or "", or the
// exit code for a run that ends here: 0 after --help or --version (printed to standard
// output), 2 after an unknown option or a missing or bad value (the reason on standard error).
// The broker options given are put over telemetry; telemetryGiven tells whether there were any.
int ParseCommandLine(int argc, char **argv, char *port, int size, TelemetryConfig *telemetry,
                     int *telemetryGiven);
