#include "telemetry/payloads.h"

#include "textforms/json.h"
#include "textforms/timestamp.h"

#include <cstdarg>
#include <cstdio>

namespace {

void Append(Payload &payload, const char *format, ...) __attribute__((format(printf, 2, 3)));
void Append(Payload &payload, const char *format, ...) {
    if (payload.overflow)
        return;
    va_list arguments;
    va_start(arguments, format);
    const size_t room = sizeof payload.text - payload.length;
    const int written = std::vsnprintf(payload.text + payload.length, room, format, arguments);
    va_end(arguments);
    if (written < 0 || (size_t)written >= room)
        payload.overflow = true;
    else
        payload.length += (size_t)written;
}

} // namespace

void FormatFramePayload(const unsigned char values[TELEMETRY_VALUES], long number,
                        long long msSinceEpoch, const char *portJson, Payload &payload) {
    char time[TIME_STAMP_LEN];
    FormatTimeStamp(msSinceEpoch, time, sizeof time);
    Append(payload, "{\"time\":\"%s\",\"port\":%s,\"frame\":%ld", time, portJson, number);
    for (int i = 0; i < TELEMETRY_VALUES; i++)
        Append(payload, ",\"%s\":%u", FRAME_VALUE_NAMES[i], values[i]);
    Append(payload, "}");
}

void FormatStatePayload(const char *state, const char *message, long long msSinceEpoch,
                        const char *portJson, Payload &payload) {
    char time[TIME_STAMP_LEN];
    char stateJson[JsonStringRoom(PAYLOAD_STATE_LEN)];
    FormatTimeStamp(msSinceEpoch, time, sizeof time);
    FormatJsonString(state, stateJson, sizeof stateJson);
    Append(payload, "{\"time\":\"%s\",\"port\":%s,\"state\":%s", time, portJson, stateJson);
    if (message[0] != '\0') {
        char messageJson[JsonStringRoom(PAYLOAD_MESSAGE_LEN)];
        FormatJsonString(message, messageJson, sizeof messageJson);
        Append(payload, ",\"message\":%s", messageJson);
    }
    Append(payload, "}");
}

void FormatParametersPayload(const unsigned char block[TELEMETRY_BLOCK], const char *source,
                             long long msSinceEpoch, const char *portJson, Payload &payload) {
    char time[TIME_STAMP_LEN];
    char sourceJson[JsonStringRoom(PAYLOAD_SOURCE_LEN)];
    FormatTimeStamp(msSinceEpoch, time, sizeof time);
    FormatJsonString(source, sourceJson, sizeof sourceJson);
    Append(payload, "{\"time\":\"%s\",\"port\":%s,\"source\":%s", time, portJson, sourceJson);
    // POWER as the panel's slider shows it.
    for (int i = 0; i < PARAMETER_COUNT; i++)
        Append(payload, ",\"%s\":%u", PARAMETER_NAMES[i],
               i == OFFSET_POWER ? InvertPower(block[i]) : block[i]);
    Append(payload, ",\"table\":[");
    for (int row = 0; row < TEACH_ROWS; row++) {
        const unsigned char *cell = block + TeachCellOffset(row + 1, 1);
        Append(payload, "%s[%u,%u,%u,%u,%u]", row == 0 ? "" : ",", cell[0], cell[1], cell[2],
               cell[3], cell[4]);
    }
    Append(payload, "],\"block\":[");
    for (int i = 0; i < TELEMETRY_BLOCK; i++)
        Append(payload, "%s%u", i == 0 ? "" : ",", block[i]);
    Append(payload, "]}");
}
