// Fuzz target: the line file's reading (the look over its text, the TOML parse, the checks of each
// key) fed any bytes, and the sensor name made from any device name. A file is taken with every
// sensor a plain name on a port of its own, or refused with a reason that names the file and
// holds no NUL; a device's name always fits.
#include "line/linefile.h"
#include "line/sensorname.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>

namespace {

const char path[] = "/fuzz/line.toml";

bool HasNul(const std::string &text) {
    return text.find('\0') != std::string::npos;
}

// A taken line: what the commands rely on.
bool Sound(const LineFile &line) {
    if (!IsSensorName(line.name) || line.sensors.empty() || HasNul(line.logPath))
        return false;
    std::set<std::string> names, ports;
    for (const LineSensor &sensor : line.sensors)
        if (!IsSensorName(sensor.name) || sensor.port.empty() || HasNul(sensor.port) ||
            sensor.approved.empty() || sensor.approved[0] != '/' || HasNul(sensor.approved) ||
            !names.insert(sensor.name).second || !ports.insert(sensor.port).second)
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string text(reinterpret_cast<const char *>(data), size);
    LineFile line;
    std::string why;
    if (ParseLineFile(text, path, &line, &why) ? !Sound(line)
                                               : why.rfind(path, 0) != 0 || HasNul(why))
        std::abort();
    const std::string name = FittingSensorName(text);
    if (!IsSensorName(name) || FittingSensorName(text) != name)
        std::abort(); // a name that fits, the same each time
    return 0;
}
