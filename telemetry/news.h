// What goes out for each sensor: the client thread takes a sensor's news out of its slots
// (slots.h) and publishes it on the sensor's topics as payloads (payloads.h). Inside telemetry/
// only; called by the client thread alone.
#pragma once

#include "telemetry/setup.h"
#include "telemetry/slots.h"

#include <mosquitto.h>

// The connection and the topics the news goes out on.
struct Outlet {
    mosquitto *handle;
    const TelemetrySetup *setup;
};

// Publishes text retained at QoS 1 on topic; returns the library's code.
int PublishRetainedText(mosquitto *handle, const char *topic, const char *text);
// After a (re)connect, for each sensor what it was told before: "online" for a served sensor,
// the newest state and the newest parameter set.
void RepublishSensors(const Outlet &outlet);
// Sends what sensor has that is due. A frame waits while its pacing interval runs or while the
// socket still holds earlier data (socketFree false): the newest frame replaces it meanwhile.
// The client wakes by itself when the interval ends (wakeAt is brought forward to it), so a
// frame left before then need not wake it. True when something went out.
bool SendSensorNews(const Outlet &outlet, int sensor, bool socketFree,
                    telemetry_shared::SteadyClock::time_point now,
                    telemetry_shared::SteadyClock::time_point &wakeAt);
// What every sensor left goes out, the frame that waits for its interval too: before the end,
// so the last frame of a burst is never lost.
void SendPendingNews(const Outlet &outlet);
// Whether sensor was announced (its status says "online").
bool SensorAnnounced(int sensor);
