// Results of the headless commands and their report lines.
#include "plant/results.h"

#include "textforms/json.h"

#include <algorithm>
#include <cstdarg>
#include <cstring>

static void CopyText(char *target, int size, const char *text) {
    std::snprintf(target, (size_t)size, "%s", text ? text : "");
}

void BeginResult(PortResult *result, const char *port, const char *sensor, const char *device) {
    std::memset(result, 0, sizeof *result);
    CopyText(result->port, sizeof result->port, port);
    CopyText(result->sensor, sizeof result->sensor, sensor);
    CopyText(result->device, sizeof result->device, device);
}

void SetResult(PortResult *result, int exitCode, const char *status, const char *format, ...) {
    result->exitCode = exitCode;
    CopyText(result->status, sizeof result->status, status);
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(result->message, sizeof result->message, format, arguments);
    va_end(arguments);
}

void AddResultDetail(PortResult *result, const std::string &line) {
    const size_t used = std::strlen(result->detail);
    std::snprintf(result->detail + used, sizeof result->detail - used, "%s\n", line.c_str());
}

bool AddResultField(PortResult *result, const char *name, const std::string &json) {
    const size_t used = std::strlen(result->fields);
    const std::string field = std::string(",\"") + name + "\":" + json;
    if (used + field.size() >= sizeof result->fields)
        return false;
    std::memcpy(result->fields + used, field.c_str(), field.size() + 1);
    return true;
}

void PrintResultLine(FILE *stream, const PortResult *result) {
    std::fprintf(stream, "%s %s", result->sensor, result->port);
    if (result->device[0])
        std::fprintf(stream, " (%s)", result->device);
    std::fprintf(stream, ": %s", result->status);
    if (result->message[0])
        std::fprintf(stream, ": %s", result->message);
    std::fputc('\n', stream);
    std::fputs(result->detail, stream);
}

// Every text of a result fits a buffer of FILE_PATH_LEN or RESULT_TEXT_LEN bytes.
static void PrintJsonString(FILE *stream, const char *text) {
    constexpr size_t longest = std::max(size_t(RESULT_TEXT_LEN), size_t(FILE_PATH_LEN));
    char json[JsonStringRoom(longest)];
    FormatJsonString(text, json, sizeof json);
    std::fputs(json, stream);
}

static void PrintJsonField(FILE *stream, const char *name, const char *text) {
    std::fprintf(stream, ",\"%s\":", name);
    PrintJsonString(stream, text);
}

void PrintResultJson(FILE *stream, const char *command, const PortResult *result) {
    std::fputs("{\"command\":", stream);
    PrintJsonString(stream, command);
    PrintJsonField(stream, "sensor", result->sensor);
    PrintJsonField(stream, "port", result->port);
    PrintJsonField(stream, "device", result->device);
    std::fprintf(stream, ",\"ok\":%s,\"exit\":%d", result->exitCode == 0 ? "true" : "false",
                 result->exitCode);
    PrintJsonField(stream, "status", result->status);
    PrintJsonField(stream, "message", result->message);
    if (result->file[0])
        PrintJsonField(stream, "file", result->file);
    if (std::strcmp(command, "record") == 0)
        std::fprintf(stream, ",\"frames\":%ld,\"seconds\":%.3f", result->frames, result->seconds);
    if (result->hasBlock) {
        std::fputs(",\"block\":[", stream);
        for (int i = 0; i < BLOCK_LENGTH; i++)
            std::fprintf(stream, "%s%u", i ? "," : "", result->block[i]);
        std::fputc(']', stream);
    }
    std::fputs(result->fields, stream);
    std::fputs("}\n", stream);
}
