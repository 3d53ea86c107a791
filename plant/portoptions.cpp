// The sensors of a port command: the ports given, or the sensors of a line file with the line's
// broker settings.
#include "plant/portoptions.h"

#include "line/linefile.h"
#include "platform/system/telemetrysettings.h"
#include "telemetry/options.h"

#include <cstdio>
#include <cstring>

#include <string>
#include <utility>
#include <vector>

namespace {

bool TakeLineSensors(const LineFile &line, const std::vector<LineSensor> &sensors,
                     PlantOptions *options, std::string *why) {
    if (!CopyWhole(line.name, options->lineName, sizeof options->lineName) ||
        !CopyPathOption(line.logPath, "the line's log", options->lineLog, why) ||
        !CopyPathOption(line.service.control, "the line's control socket", options->lineControl,
                        why))
        return false;
    for (const LineSensor &sensor : sensors) {
        const int i = options->portCount++;
        if (!CopyPathOption(sensor.port, "a port of the line", options->port[i], why) ||
            !CopyPathOption(sensor.approved, "an approved file", options->approved[i], why))
            return false;
        CopyWhole(sensor.name, options->sensorName[i], SENSOR_NAME_LEN);
    }
    return true;
}

// --line FILE [--sensor NAME ...]: the line's sensors, and its broker under the options given.
bool TakeLine(const ParsedCommandLine &parsed, PlantOptions *options, std::string *why) {
    LineFile line;
    std::vector<LineSensor> sensors;
    char given[FILE_PATH_LEN];
    if (!CopyPathOption(parsed.value("line"), "--line", given, why))
        return false;
    // Absolute, so that the file's relative paths name the same files from any folder.
    if (!AbsolutePath(given, options->lineFile, sizeof options->lineFile)) {
        *why = "--line is too long";
        return false;
    }
    if (!ReadLineFile(options->lineFile, &line, why) ||
        !PickSensors(line, parsed.values("sensor"), &sensors, why))
        return false;
    if (sensors.size() > PLANT_MAX_PORTS) {
        *why = "at most " + std::to_string(PLANT_MAX_PORTS) + " sensors at once";
        return false;
    }
    bool brokerGiven = false;
    return TakeLineSensors(line, sensors, options, why) &&
           (!line.hasBroker ||
            ApplyTelemetryOptions(LineBrokerOptions(line), &options->telemetry, &brokerGiven, why));
}

} // namespace

bool TakePorts(const ParsedCommandLine &parsed, PlantOptions *options, std::string *why) {
    options->json = parsed.isSet("json");
    const std::vector<std::string> ports = parsed.values("port");
    if (parsed.isSet("line") && !ports.empty()) {
        *why = "--line and --port exclude each other";
        return false;
    }
    if (parsed.isSet("sensor") && !parsed.isSet("line")) {
        *why = "--sensor picks sensors of a --line file";
        return false;
    }
    if (parsed.isSet("line"))
        return TakeLine(parsed, options, why);
    if (ports.empty()) {
        *why = "--port (or --line) is missing";
        return false;
    }
    if (ports.size() > PLANT_MAX_PORTS) {
        *why = "at most " + std::to_string(PLANT_MAX_PORTS) + " ports at once";
        return false;
    }
    for (const std::string &port : ports)
        if (!CopyPathOption(port, "--port", options->port[options->portCount++], why))
            return false;
    return true;
}

void NoteTelemetryOrigin(PlantOptions *options, const TelemetryConfig &remembered, bool hostGiven) {
    std::string origin;
    if (hostGiven)
        origin = "the command line";
    else if (std::memcmp(&remembered, &options->telemetry, sizeof remembered) != 0)
        origin = std::string("the line file ") + options->lineFile;
    else
        origin = "the panel's remembered settings in " + TelemetrySettingsFile();
    CopyWhole(origin, options->telemetryOrigin, sizeof options->telemetryOrigin);
}

void TellTelemetryTarget(const char *command, const PlantOptions &options) {
    const TelemetryConfig &config = options.telemetry;
    if (config.host[0] == '\0')
        return;
    const int port = config.port ? config.port : config.caFile[0] ? 8883 : 1883;
    std::fprintf(stderr, "nvmxv451 %s: telemetry to %s:%d (set by %s; --no-mqtt for none)\n",
                 command, config.host, port, options.telemetryOrigin);
}
