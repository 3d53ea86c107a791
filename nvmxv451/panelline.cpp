#include "nvmxv451/panelline.h"

#include "line/linefile.h"
#include "telemetry/options.h"

#include <vector>

namespace {

bool PickPanelSensor(const LineFile &line, const std::string &name, LineSensor *sensor,
                     std::string *why) {
    std::vector<LineSensor> picked;
    std::vector<std::string> names;
    if (!name.empty())
        names.push_back(name);
    if (!PickSensors(line, names, &picked, why))
        return false;
    if (picked.size() != 1) {
        *why = "the line has " + std::to_string(picked.size()) +
               " sensors: --sensor NAME picks the panel's";
        return false;
    }
    *sensor = picked[0];
    return true;
}

} // namespace

bool TakePanelLine(const PanelStart &start, PanelLineSensor *sensor, TelemetryConfig *telemetry,
                   std::string *why) {
    LineFile line;
    LineSensor picked;
    if (!ReadLineFile(start.lineFile.c_str(), &line, why) ||
        !PickPanelSensor(line, start.sensor, &picked, why))
        return false;
    sensor->port = picked.port;
    sensor->name = picked.name;
    sensor->lineLog = line.logPath;
    sensor->control = line.service.control;
    bool given = false;
    return (!line.hasBroker ||
            ApplyTelemetryOptions(LineBrokerOptions(line), telemetry, &given, why)) &&
           ApplyTelemetryOptions(start.options, telemetry, &given, why);
}
