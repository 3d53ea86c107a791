// The JSON payloads of the state, frame and parameters topics (see telemetry.h), in fixed
// buffers. The frame's, sent up to every frame, is formatted in place and allocates nothing;
// the state's and the parameters', sent when they change, are written by nlohmann.
#pragma once

#include "telemetry/telemetry.h"

#include <cstddef>

enum { PAYLOAD_LEN = 4096 };

// A payload under construction in a fixed buffer; one that does not fit is marked, not sent.
struct Payload {
    char text[PAYLOAD_LEN];
    size_t length;
    bool overflow;
};

// port is the sensor's port as the payloads name it, portJson the same as a JSON string
// (SensorTopics); the times are milliseconds since the epoch.
void FormatFramePayload(const unsigned char values[TELEMETRY_VALUES], long number,
                        long long msSinceEpoch, const char *portJson, Payload &payload);
// message "" leaves the "message" field out.
void FormatStatePayload(const char *state, const char *message, long long msSinceEpoch,
                        const char *port, Payload &payload);
void FormatParametersPayload(const unsigned char block[TELEMETRY_BLOCK], const char *source,
                             long long msSinceEpoch, const char *port, Payload &payload);
