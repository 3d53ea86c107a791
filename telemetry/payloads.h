// The JSON payloads of the state, frame and parameters topics (see telemetry.h), built in fixed
// buffers: the client thread allocates nothing per message.
#pragma once

#include "telemetry/telemetry.h"

#include <cstddef>

enum {
    PAYLOAD_LEN = 4096,
    PAYLOAD_SOURCE_LEN = 16,
    PAYLOAD_STATE_LEN = 64,
    PAYLOAD_MESSAGE_LEN = TELEMETRY_TEXT_LEN,
};

// A payload under construction in a fixed buffer; one that does not fit is marked, not sent.
struct Payload {
    char text[PAYLOAD_LEN];
    size_t length;
    bool overflow;
};

// portJson is the sensor as a JSON string; the times are milliseconds since the epoch.
void FormatFramePayload(const unsigned char values[TELEMETRY_VALUES], long number,
                        long long msSinceEpoch, const char *portJson, Payload &payload);
// message "" leaves the "message" field out.
void FormatStatePayload(const char *state, const char *message, long long msSinceEpoch,
                        const char *portJson, Payload &payload);
void FormatParametersPayload(const unsigned char block[TELEMETRY_BLOCK], const char *source,
                             long long msSinceEpoch, const char *portJson, Payload &payload);
