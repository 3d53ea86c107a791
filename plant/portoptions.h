// The sensors a port command works: --port values, or --line FILE with its --sensor picks.
#pragma once

#include "options/options.h"
#include "plant/portcommand.h"

#include <string>

// The ports (or the line's sensors, names and approved files, and its broker settings under the
// options given) and --json into options; false with why: --line with --port, --sensor without
// --line, no port, more than PLANT_MAX_PORTS, a line file that cannot be read.
bool TakePorts(const ParsedCommandLine &parsed, PlantOptions *options, std::string *why);
// Notes in options->telemetryOrigin where the run's broker was set: the command line (hostGiven),
// else the line file (the settings differ from the remembered ones), else the panel's remembered
// settings, so that a broker set long ago never takes a run's telemetry unseen.
void NoteTelemetryOrigin(PlantOptions *options, const TelemetryConfig &remembered, bool hostGiven);
// "nvmxv451 check: telemetry to broker:1883 (set by ...; --no-mqtt for none)" on standard error
// when the run publishes.
void TellTelemetryTarget(const char *command, const PlantOptions &options);
