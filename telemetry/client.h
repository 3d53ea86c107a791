// The client thread of the broker's connection (client.cpp) and the handle it owns.
#pragma once

#include "telemetry/setup.h"

#include <mosquitto.h>

#include <cstddef>

// A mosquitto handle for setup: its last will ("offline" on the status topic), the user name
// and the TLS settings. nullptr with why (size bytes).
mosquitto *NewClientHandle(const TelemetrySetup &setup, char *why, size_t size);
// The thread's body: connects, sends what the slots hold, reconnects after a loss, until the
// slots say stopping; then says "offline", disconnects and destroys handle.
void RunClient(mosquitto *handle, TelemetrySetup setup);
