// Results of the headless commands and their report lines.
#include "plant/results.h"

#include "textforms/dumpjson.h"

#include <cmath>
#include <cstdarg>
#include <cstring>
#include <vector>

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
    const std::string field = "," + DumpJson(name) + ":" + json;
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

void PrintResultJson(FILE *stream, const char *command, const PortResult *result) {
    nlohmann::ordered_json line = {
        {"command", command},       {"sensor", result->sensor},    {"port", result->port},
        {"device", result->device}, {"ok", result->exitCode == 0}, {"exit", result->exitCode},
        {"status", result->status}, {"message", result->message},
    };
    if (result->file[0])
        line["file"] = result->file;
    if (std::strcmp(command, "record") == 0) {
        line["frames"] = result->frames;
        line["seconds"] = std::round(result->seconds * 1000) / 1000;
    }
    if (result->hasBlock)
        line["block"] = std::vector<int>(result->block, result->block + BLOCK_LENGTH);
    std::string json = DumpJson(line);
    // The command's own fields, already JSON, go before the closing brace.
    json.pop_back();
    std::fprintf(stream, "%s%s}\n", json.c_str(), result->fields);
}
