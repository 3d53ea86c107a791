// The client thread of the broker's connection (client.cpp) and the handle it owns.
#pragma once

#include "telemetry/setup.h"

#include <mosquitto.h>

#include <cstddef>

// A mosquitto handle for setup: its last will ("offline" on the will's topic), the user name
// and the TLS settings. nullptr with why (size bytes).
mosquitto *NewClientHandle(const TelemetrySetup &setup, char *why, size_t size);
// The thread's body: connects, sends what the sensors' slots hold, reconnects after a loss,
// until told to stop; then says "offline", disconnects and destroys handle. setup stays
// unchanged until it returns.
void RunClient(mosquitto *handle, const TelemetrySetup *setup);
