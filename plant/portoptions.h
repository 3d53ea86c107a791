// The sensors a port command works: --port values, or --line FILE with its --sensor picks.
#pragma once

#include "options/options.h"
#include "plant/portcommand.h"

#include <string>

// The ports (or the line's sensors, names and approved files, and its broker settings under the
// options given) and --json into options; false with why: --line with --port, --sensor without
// --line, no port, more than PLANT_MAX_PORTS, a line file that cannot be read.
bool TakePorts(const ParsedCommandLine &parsed, PlantOptions *options, std::string *why);
