#include "telemetry/setup.h"

#include "files/regularfile.h"
#include "telemetry/system.h"
#include "textforms/dumpjson.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

void Say(char *why, size_t size, const char *format, ...) __attribute__((format(printf, 3, 4)));
void Say(char *why, size_t size, const char *format, ...) {
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(why, size, format, arguments);
    va_end(arguments);
}

bool Terminated(const char *field) {
    return std::memchr(field, '\0', TELEMETRY_TEXT_LEN) != nullptr;
}

// Names go on the wire and into reports: a control character in one is a mistake, never meant.
bool HasControlCharacter(const char *text) {
    for (; *text != '\0'; text++)
        if (static_cast<unsigned char>(*text) < 0x20 || *text == 0x7F)
            return true;
    return false;
}

bool CheckSettingTexts(const TelemetryConfig &config, char *why, size_t size) {
    const char *fields[] = {config.host,     config.clientId, config.topicPrefix,
                            config.username, config.password, config.caFile};
    for (const char *field : fields) {
        if (!Terminated(field)) {
            Say(why, size, "A telemetry setting is longer than %d characters",
                TELEMETRY_TEXT_LEN - 1);
            return false;
        }
    }
    const struct {
        const char *text;
        const char *name;
    } names[] = {{config.host, "host"},
                 {config.clientId, "client id"},
                 {config.topicPrefix, "topic prefix"},
                 {config.username, "user name"}};
    for (const auto &name : names) {
        if (HasControlCharacter(name.text)) {
            Say(why, size, "The MQTT %s holds a control character", name.name);
            return false;
        }
    }
    return true;
}

bool IsTopicLevel(const char *name) {
    return name != nullptr && name[0] != '\0' && std::strlen(name) < TELEMETRY_TEXT_LEN &&
           std::strpbrk(name, "+#/") == nullptr;
}

// Every sensor a topic level of its own: two sensors of one name would mix their frames.
bool CheckSensorNames(const char *const *sensors, int count, char *why, size_t size) {
    if (sensors == nullptr || count < 1 || count > TELEMETRY_MAX_SENSORS) {
        Say(why, size, "One MQTT client carries 1 to %d sensors, not %d",
            (int)TELEMETRY_MAX_SENSORS, sensors == nullptr ? 0 : count);
        return false;
    }
    for (int i = 0; i < count; i++) {
        if (!IsTopicLevel(sensors[i])) {
            Say(why, size, "The sensor name \"%s\" cannot be a topic level",
                sensors[i] ? sensors[i] : "");
            return false;
        }
        for (int j = 0; j < i; j++) {
            if (std::strcmp(sensors[i], sensors[j]) == 0) {
                Say(why, size, "The sensor name \"%s\" is given twice", sensors[i]);
                return false;
            }
        }
    }
    return true;
}

// What keeps prefix from being published under, nullptr when nothing does: a wildcard, an empty
// level, or a leading '$', which marks the broker's own topics.
const char *TopicPrefixFault(const char *prefix) {
    const size_t length = std::strlen(prefix);
    if (prefix[0] == '$')
        return "starts with '$': topics that start with '$' are the broker's own";
    if (std::strpbrk(prefix, "+#") != nullptr)
        return "has a wildcard (+, #)";
    if (length == 0 || prefix[0] == '/' || prefix[length - 1] == '/' ||
        std::strstr(prefix, "//") != nullptr)
        return "has an empty level";
    return nullptr;
}

bool CheckConfig(const TelemetryConfig &config, char *why, size_t size) {
    if (config.port < 0 || config.port > 65535) {
        Say(why, size, "The MQTT port %d is not a port number", config.port);
        return false;
    }
    if (config.password[0] != '\0' && config.username[0] == '\0') {
        Say(why, size, "An MQTT password needs a user name");
        return false;
    }
    if (!(config.maxRate >= 0) || !(config.reconnectMin > 0) ||
        !(config.reconnectMax >= config.reconnectMin)) {
        Say(why, size, "The MQTT rate (%g) or reconnect pauses (%g to %g s) are out of range",
            config.maxRate, config.reconnectMin, config.reconnectMax);
        return false;
    }
    if (config.caFile[0] != '\0') {
        // A FIFO would hold the client's start for ever, a folder or a device never connects.
        std::string reason;
        const int fd = OpenRegularFile(config.caFile, &reason);
        if (fd < 0) {
            Say(why, size, "The CA file %s cannot be read: %s", config.caFile, reason.c_str());
            return false;
        }
        CloseDescriptor(fd);
    }
    return true;
}

// A sensor's name, its port for the payloads and its topics under prefix.
void SetSensorTopics(const char *prefix, const char *sensor, const char *port,
                     SensorTopics &topics) {
    std::snprintf(topics.name, sizeof topics.name, "%s", sensor);
    std::snprintf(topics.port, sizeof topics.port, "%s", port);
    std::snprintf(topics.portJson, sizeof topics.portJson, "%s", DumpJson(port).c_str());
    std::snprintf(topics.statusTopic, TOPIC_LEN, "%s/%s/status", prefix, sensor);
    std::snprintf(topics.stateTopic, TOPIC_LEN, "%s/%s/state", prefix, sensor);
    std::snprintf(topics.frameTopic, TOPIC_LEN, "%s/%s/frame", prefix, sensor);
    std::snprintf(topics.parametersTopic, TOPIC_LEN, "%s/%s/parameters", prefix, sensor);
    std::snprintf(topics.eventsTopic, TOPIC_LEN, "%s/%s/events", prefix, sensor);
    std::snprintf(topics.alarmsTopic, TOPIC_LEN, "%s/%s/alarms", prefix, sensor);
    std::snprintf(topics.healthTopic, TOPIC_LEN, "%s/%s/health", prefix, sensor);
}

// One sensor: the id names the sensor and the will goes on its status. Several: the id names
// the process, which has a topic of its own for the one will of the connection.
bool SetIdentity(const char *prefix, const char *host, const char *sensor, TelemetrySetup &setup,
                 char *why, size_t size) {
    const bool several = setup.sensorCount > 1;
    std::snprintf(setup.clientId, sizeof setup.clientId, "%s", setup.config.clientId);
    if (setup.clientId[0] == '\0' && several)
        std::snprintf(setup.clientId, sizeof setup.clientId, "nvmxv451-%s-%ld", host, ProcessId());
    else if (setup.clientId[0] == '\0')
        std::snprintf(setup.clientId, sizeof setup.clientId, "nvmxv451-%s-%s", host, sensor);
    if (!several) {
        std::snprintf(setup.willTopic, TOPIC_LEN, "%s", setup.sensors[0].statusTopic);
        return true;
    }
    if (!IsTopicLevel(setup.clientId)) {
        Say(why, size, "The MQTT client id \"%s\" cannot be a topic level (+, #, /)",
            setup.clientId);
        return false;
    }
    std::snprintf(setup.processTopic, TOPIC_LEN, "%s/clients/%s", prefix, setup.clientId);
    std::snprintf(setup.willTopic, TOPIC_LEN, "%s", setup.processTopic);
    return true;
}

} // namespace

bool PrepareTelemetrySetup(const TelemetryConfig &config, const char *const *sensors, int count,
                           TelemetrySetup *result, char *why, size_t size,
                           const char *const *ports) {
    if (!CheckSettingTexts(config, why, size) || !CheckSensorNames(sensors, count, why, size) ||
        !CheckConfig(config, why, size))
        return false;
    TelemetrySetup &setup = *result;
    setup = TelemetrySetup{};
    setup.config = config;
    setup.port = config.port != 0        ? config.port
                 : config.caFile[0] != 0 ? (int)TELEMETRY_DEFAULT_TLS_PORT
                                         : (int)TELEMETRY_DEFAULT_PORT;
    setup.frameInterval = config.maxRate > 0 ? 1.0 / config.maxRate : 0.0;
    std::snprintf(setup.endpoint, sizeof setup.endpoint,
                  std::strchr(config.host, ':') ? "[%s]:%d" : "%s:%d", config.host, setup.port);
    char host[TELEMETRY_TEXT_LEN];
    HostName(host, sizeof host);
    char prefix[TELEMETRY_TEXT_LEN + 16];
    std::snprintf(prefix, sizeof prefix, "%s", config.topicPrefix);
    if (prefix[0] == '\0')
        std::snprintf(prefix, sizeof prefix, "nvmxv451/%s", host);
    if (const char *fault = TopicPrefixFault(prefix)) {
        Say(why, size, "The MQTT topic prefix \"%s\" %s", prefix, fault);
        return false;
    }
    setup.sensorCount = count;
    for (int i = 0; i < count; i++)
        SetSensorTopics(prefix, sensors[i], ports ? ports[i] : sensors[i], setup.sensors[i]);
    return SetIdentity(prefix, host, sensors[0], setup, why, size);
}

void DefaultTelemetryConfig(TelemetryConfig *config) {
    *config = TelemetryConfig{};
    config->maxRate = 10;
    config->reconnectMin = 1;
    config->reconnectMax = 30;
}
