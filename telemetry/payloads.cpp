#include "telemetry/payloads.h"

#include "textforms/dumpjson.h"
#include "textforms/timestamp.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

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

std::string TimeStamp(long long msSinceEpoch) {
    char time[TIME_STAMP_LEN];
    FormatTimeStamp(msSinceEpoch, time, sizeof time);
    return time;
}

// The payload of json; one too long for the buffer is marked, not cut.
void SetPayload(Payload &payload, const nlohmann::ordered_json &json) {
    const std::string text = DumpJson(json);
    payload.overflow = text.size() >= sizeof payload.text;
    payload.length = payload.overflow ? 0 : text.size();
    std::memcpy(payload.text, text.c_str(), payload.length);
    payload.text[payload.length] = '\0';
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
                        const char *port, Payload &payload) {
    nlohmann::ordered_json json = {
        {"time", TimeStamp(msSinceEpoch)}, {"port", port}, {"state", state}};
    if (message[0] != '\0')
        json["message"] = message;
    SetPayload(payload, json);
}

void FormatParametersPayload(const unsigned char block[TELEMETRY_BLOCK], const char *source,
                             long long msSinceEpoch, const char *port, Payload &payload) {
    nlohmann::ordered_json json = {
        {"time", TimeStamp(msSinceEpoch)}, {"port", port}, {"source", source}};
    // POWER as the panel's slider shows it.
    for (int i = 0; i < PARAMETER_COUNT; i++)
        json[PARAMETER_NAMES[i]] = i == OFFSET_POWER ? InvertPower(block[i]) : block[i];
    nlohmann::ordered_json &table = json["table"] = nlohmann::ordered_json::array();
    for (int row = 0; row < TEACH_ROWS; row++) {
        const unsigned char *cell = block + TeachCellOffset(row + 1, 1);
        table.push_back(std::vector<int>(cell, cell + TEACH_COLUMNS));
    }
    json["block"] = std::vector<int>(block, block + TELEMETRY_BLOCK);
    SetPayload(payload, json);
}
