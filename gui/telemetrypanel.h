// The panel side of live telemetry: the client follows the sensor in use under its one name (the
// line file's, else its device's, as the commands name it), and the broker's state shows in the
// SENSOR LINK frame.
#pragma once

#include "telemetry/telemetry.h"

// Keeps config and starts telemetry for the panel's sensor; a configuration that cannot work is
// reported in an "INFO" pop-up and leaves telemetry off.
void StartPanelTelemetry(const TelemetryConfig *config);
// After a port change: the client starts again when the sensor has another name.
void FollowPortWithTelemetry(void);
// Writes the broker's state into its display (called from the program's tick).
void ShowBrokerState(void);
// "offline" to the broker, and the client ends (the program closes).
void EndPanelTelemetry(void);
