// The broker settings checked, and what they give for one sensor: the endpoint, the client id
// and the topics. Free of the connection.
#pragma once

#include "telemetry/telemetry.h"
#include "textforms/json.h"

#include <cstddef>

enum { TOPIC_LEN = 3 * TELEMETRY_TEXT_LEN };

// What a configuration gives for one sensor: the checked settings, the broker's endpoint, the
// client id and the topics.
struct TelemetrySetup {
    TelemetryConfig config;
    int port;
    double frameInterval;                   // seconds; 0: every frame
    char endpoint[TELEMETRY_TEXT_LEN + 16]; // "host:port" for people
    char clientId[TOPIC_LEN];
    char portJson[JsonStringRoom(TELEMETRY_TEXT_LEN)]; // the sensor as a JSON string
    char statusTopic[TOPIC_LEN];
    char frameTopic[TOPIC_LEN];
    char parametersTopic[TOPIC_LEN];
};

// The setup of config for sensor (a topic level, e.g. "COM1"); false with why (size bytes) when
// the settings cannot work: a text too long or holding a control character, a port out of
// range, a password without a user name, a CA file that is no readable regular file, a prefix
// with wildcards or empty levels.
bool PrepareTelemetrySetup(const TelemetryConfig &config, const char *sensor, TelemetrySetup *setup,
                           char *why, size_t size);
