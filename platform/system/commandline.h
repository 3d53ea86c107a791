// The program's command line: --help, --version, --port DEVICE|COMn, --line FILE --sensor NAME
// and the broker options of live telemetry. Free of Qt.
#pragma once

#include "platform/system/optionparser.h" // COMMAND_LINE_RUN
#include "telemetry/telemetry.h"

#include <string>

// The sensor the panel starts on: a port, or a sensor of a line file.
struct PanelStart {
    std::string port;          // --port: a device path or COMn; "" when not given
    std::string lineFile;      // --line; "" when not given
    std::string sensor;        // --sensor: the line's sensor; "" when not given
    ParsedCommandLine options; // everything given, for the broker's options over a line's
};

// Reads the options before the engine starts, so that --help and --version need no display.
// Returns COMMAND_LINE_RUN with start holding what was given, or the
// exit code for a run that ends here: 0 after --help or --version (printed to standard
// output), 2 after an unknown option or a missing or bad value (the reason on standard error).
// The broker options given are put over telemetry; telemetryGiven tells whether there were any.
int ParseCommandLine(int argc, char **argv, PanelStart *start, TelemetryConfig *telemetry,
                     int *telemetryGiven);
