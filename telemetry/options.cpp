// Broker options of the command lines.
#include "telemetry/options.h"

#include "files/regularfile.h"

#include <cstdlib>

namespace {

const char *const PASSWORD_VARIABLE = "NVMX_MQTT_PASSWORD";
// A password file is one short line; a larger one is not read.
enum { PASSWORD_FILE_LIMIT = 4096 };

struct TextField {
    const char *option;
    char (TelemetryConfig::*field)[TELEMETRY_TEXT_LEN];
};
const TextField textFields[] = {
    {"mqtt-host", &TelemetryConfig::host},          {"mqtt-client-id", &TelemetryConfig::clientId},
    {"mqtt-prefix", &TelemetryConfig::topicPrefix}, {"mqtt-user", &TelemetryConfig::username},
    {"mqtt-cafile", &TelemetryConfig::caFile},
};

const std::string TOO_LONG = " (at most " + std::to_string(TELEMETRY_TEXT_LEN - 1) + " bytes)";

std::string Trimmed(const std::string &text) {
    const char *blanks = " \t\r\n\f\v";
    const size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos)
        return std::string();
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

// The first line of a small regular file, without its line end and surrounding blanks.
bool ReadPassword(const std::string &path, char *password, std::string *why) {
    std::string text, cause;
    if (!ReadSmallFile(path.c_str(), PASSWORD_FILE_LIMIT, &text, &cause)) {
        *why = "cannot read the password file " + path + ": " + cause;
        return false;
    }
    if (CopyWhole(Trimmed(text.substr(0, text.find('\n'))), password, TELEMETRY_TEXT_LEN))
        return true;
    *why = "the password in " + path + " is longer than " + std::to_string(TELEMETRY_TEXT_LEN - 1) +
           " bytes";
    return false;
}

bool ApplyTextOptions(const ParsedCommandLine &parsed, TelemetryConfig *config, bool *given,
                      std::string *why) {
    for (const TextField &text : textFields) {
        if (!parsed.isSet(text.option))
            continue;
        *given = true;
        if (!CopyWhole(parsed.value(text.option), config->*text.field, TELEMETRY_TEXT_LEN)) {
            *why = std::string("--") + text.option + " is too long" + TOO_LONG;
            return false;
        }
    }
    return true;
}

bool ApplyNumberOptions(const ParsedCommandLine &parsed, TelemetryConfig *config, bool *given,
                        std::string *why) {
    double number = 0;
    if (parsed.isSet("mqtt-port")) {
        *given = true;
        if (!ParseNumber(parsed.value("mqtt-port"), 1, 65535, &number)) {
            *why = "--mqtt-port wants a port number 1..65535";
            return false;
        }
        config->port = (int)number;
    }
    if (parsed.isSet("mqtt-rate")) {
        *given = true;
        if (!ParseNumber(parsed.value("mqtt-rate"), 0, 100000, &number)) {
            *why = "--mqtt-rate wants frames per second, 0 or more";
            return false;
        }
        config->maxRate = number;
    }
    return true;
}

bool ApplyPassword(const ParsedCommandLine &parsed, TelemetryConfig *config, bool *given,
                   std::string *why) {
    const char *fromEnvironment = std::getenv(PASSWORD_VARIABLE);
    if (fromEnvironment && *fromEnvironment &&
        !CopyWhole(fromEnvironment, config->password, TELEMETRY_TEXT_LEN)) {
        *why = std::string(PASSWORD_VARIABLE) + " is longer than " +
               std::to_string(TELEMETRY_TEXT_LEN - 1) + " bytes";
        return false;
    }
    if (!parsed.isSet("mqtt-password-file"))
        return true;
    *given = true;
    return ReadPassword(parsed.value("mqtt-password-file"), config->password, why);
}

} // namespace

std::vector<OptionForm> TelemetryOptions(void) {
    return {
        {"mqtt-host", "HOST", "Sends live telemetry to the MQTT broker on HOST."},
        {"mqtt-port", "N", "The broker's port (default 1883, 8883 with --mqtt-cafile)."},
        {"mqtt-client-id", "ID",
         "Client id (default: the panel nvmxv451-<host name>-COMn, the commands one connection "
         "per process, nvmxv451-<line or host name>-<process id>)."},
        {"mqtt-prefix", "PREFIX", "Topic prefix (default nvmxv451/<host name>)."},
        {"mqtt-user", "NAME", "User name at the broker."},
        {"mqtt-password-file", "FILE",
         "Reads the broker password from the first line of FILE (or set NVMX_MQTT_PASSWORD)."},
        {"mqtt-cafile", "FILE", "Connects with TLS and checks the broker against FILE."},
        {"mqtt-rate", "N", "Frames per second at most (default 10; 0 sends every frame)."},
        {"no-mqtt", nullptr, "No telemetry in this run, whatever is remembered."},
    };
}

bool ApplyTelemetryOptions(const ParsedCommandLine &parsed, TelemetryConfig *config, bool *given,
                           std::string *why) {
    *given = false;
    if (!ApplyTextOptions(parsed, config, given, why) ||
        !ApplyNumberOptions(parsed, config, given, why) ||
        !ApplyPassword(parsed, config, given, why))
        return false;
    if (parsed.isSet("no-mqtt"))
        config->host[0] = '\0';
    return true;
}
