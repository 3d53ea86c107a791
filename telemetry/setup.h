// The broker settings checked, and what they give for the sensors of one client: the endpoint,
// the client id, the last will's topic and each sensor's topics. Free of the connection.
#pragma once

#include "telemetry/telemetry.h"
#include "textforms/dumpjson.h"

#include <cstddef>

enum {
    TOPIC_LEN = 3 * TELEMETRY_TEXT_LEN,
    // A name as a JSON string, its quotes and terminator included.
    PORT_JSON_LEN = (int)JSON_TEXT_GROWTH * TELEMETRY_TEXT_LEN + 3,
};

// One sensor's name, its port as the payloads carry it, and its topics.
struct SensorTopics {
    char name[TELEMETRY_TEXT_LEN];
    char port[TELEMETRY_TEXT_LEN]; // "COM3"; the name when no port was given
    char portJson[PORT_JSON_LEN];  // the port as a JSON string
    char statusTopic[TOPIC_LEN];
    char stateTopic[TOPIC_LEN];
    char frameTopic[TOPIC_LEN];
    char parametersTopic[TOPIC_LEN];
    char eventsTopic[TOPIC_LEN];
    char alarmsTopic[TOPIC_LEN];
    char healthTopic[TOPIC_LEN];
};

// What a configuration gives for the sensors of one client: the checked settings, the broker's
// endpoint, the client id and the topics.
struct TelemetrySetup {
    TelemetryConfig config;
    int port;
    double frameInterval;                   // seconds; 0: every frame
    char endpoint[TELEMETRY_TEXT_LEN + 16]; // "host:port" for people
    char clientId[TOPIC_LEN];
    // The process's topic <prefix>/clients/<client id> with several sensors; "" with one.
    char processTopic[TOPIC_LEN];
    char willTopic[TOPIC_LEN]; // the process's topic, or the one sensor's status
    int sensorCount;
    SensorTopics sensors[TELEMETRY_MAX_SENSORS];
};

// The setup of config for count sensors (topic levels, e.g. "COM1"); false with why (size
// bytes) when the settings cannot work: a text too long or holding a control character, a port
// out of range, a password without a user name, a CA file that is no readable regular file, a
// prefix with wildcards or empty levels or under the broker's own '$' topics, a sensor name that
// is no topic level or given twice, a count out of 1..TELEMETRY_MAX_SENSORS, or with several
// sensors a client id that is no topic level. The setup is large: keep it in static storage.
// ports: each sensor's port as the payloads name it ("COM3"); null: the names.
bool PrepareTelemetrySetup(const TelemetryConfig &config, const char *const *sensors, int count,
                           TelemetrySetup *setup, char *why, size_t size,
                           const char *const *ports = nullptr);
