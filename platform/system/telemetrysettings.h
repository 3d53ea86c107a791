// The broker that telemetry goes to, as the program remembers it between runs. Free of Qt.
#pragma once

#include "telemetry/telemetry.h"

#include <string>

// Fills config from the remembered settings over DefaultTelemetryConfig (no host: off).
void LoadTelemetrySettings(TelemetryConfig *config);
// The file the settings are remembered in, for the reports that say where a broker came from.
std::string TelemetrySettingsFile(void);
// Remembers config for later runs (the password too, in the user's settings file).
void SaveTelemetrySettings(const TelemetryConfig *config);
