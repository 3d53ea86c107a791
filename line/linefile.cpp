// The line file, read through toml++ and checked key by key, so that a typing error in a
// hand-edited file is named with its line instead of being ignored.
#include "line/linefile.h"

#include "files/regularfile.h"
#include "line/linescan.h"

#define TOML_ENABLE_FORMATTERS 0
#include <toml++/toml.h>

#include <cstdio>
#include <optional>
#include <set>
#include <sys/stat.h>
#include <utility>

namespace {

enum { LINE_FILE_LIMIT = 1 << 20 };

// A failure at a node of the file: "FILE:LINE: what".
struct LineError {
    std::string text;
};

[[noreturn]] void Fail(const std::string &path, const toml::node &node, const std::string &what) {
    const long line = (long)node.source().begin.line;
    throw LineError{path + (line > 0 ? ":" + std::to_string(line) : std::string()) + ": " + what};
}

// text as a message shows it: a control character as TOML escapes it (a NUL as "\u0000"), so
// that a NUL in a key or a value never cuts the message short.
std::string Shown(const std::string &text) {
    std::string shown;
    for (unsigned char c : text) {
        char escape[8];
        std::snprintf(escape, sizeof escape, "\\u%04x", c);
        shown += c < 0x20 || c == 0x7f ? std::string(escape) : std::string(1, (char)c);
    }
    return shown;
}

std::string FolderOf(const std::string &path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// A path of the file: absolute as written, else relative to the file's folder.
std::string PathIn(const std::string &folder, const std::string &path) {
    return path.empty() || path[0] == '/' ? path : folder + path;
}

// The keys a table may hold; any other is refused.
void OnlyKeys(const std::string &path, const toml::table &table, const std::set<std::string> &keys,
              const char *where) {
    for (auto &&[key, node] : table)
        if (!keys.count(std::string(key.str())))
            Fail(path, node, "unknown key '" + Shown(std::string(key.str())) + "' in " + where);
}

std::string Text(const std::string &path, const toml::table &table, const char *key,
                 bool required) {
    const toml::node *node = table.get(key);
    if (node == nullptr) {
        if (required)
            Fail(path, table, std::string("'") + key + "' is missing");
        return std::string();
    }
    if (!node->is_string())
        Fail(path, *node, std::string("'") + key + "' wants a text in quotes");
    const std::string text = node->as_string()->get();
    if (required && text.empty())
        Fail(path, *node, std::string("'") + key + "' is empty");
    // A port or a path ends at a NUL for the system: what followed it would be lost unseen.
    if (text.find('\0') != std::string::npos)
        Fail(path, *node, std::string("'") + key + "' holds a NUL ('" + Shown(text) + "')");
    return text;
}

std::string Name(const std::string &path, const toml::table &table, const char *what) {
    const std::string name = Text(path, table, "name", true);
    if (!IsSensorName(name))
        Fail(path, *table.get("name"),
             std::string(what) + " name '" + Shown(name) +
                 "' is not a plain word (letters, digits, '.', '_', '-'; at most " +
                 std::to_string(SENSOR_NAME_LEN - 1) + ")");
    return name;
}

const toml::table &Table(const std::string &path, const toml::node &node, const char *what) {
    if (!node.is_table())
        Fail(path, node, std::string("'") + what + "' wants a table");
    return *node.as_table();
}

void ReadBroker(const std::string &path, const toml::table &table, LineFile *line) {
    OnlyKeys(path, table, {"host", "port", "prefix", "user", "password_file", "cafile"},
             "[broker]");
    const std::string folder = FolderOf(path);
    LineBroker &broker = line->broker;
    broker.host = Text(path, table, "host", true);
    if (const toml::node *port = table.get("port")) {
        if (!port->is_integer() || port->as_integer()->get() < 1 ||
            port->as_integer()->get() > 65535)
            Fail(path, *port, "'port' wants a number from 1 to 65535");
        broker.port = (int)port->as_integer()->get();
    }
    broker.prefix = Text(path, table, "prefix", false);
    broker.user = Text(path, table, "user", false);
    broker.passwordFile = PathIn(folder, Text(path, table, "password_file", false));
    broker.caFile = PathIn(folder, Text(path, table, "cafile", false));
    line->hasBroker = true;
}

// A positive number of the table, in units of scale; the default when it is not given.
double Positive(const std::string &path, const toml::table &table, const char *key, double value,
                double scale) {
    const toml::node *node = table.get(key);
    if (node == nullptr)
        return value;
    const std::optional<double> given = node->value<double>();
    if (!given || !(*given > 0) || *given > 1e9)
        Fail(path, *node, std::string("'") + key + "' wants a number above 0");
    return *given * scale;
}

// "restore" or "alarm": true for restore.
bool Policy(const std::string &path, const toml::table &table, const char *key, bool value) {
    const std::string given = Text(path, table, key, false);
    if (given.empty())
        return value;
    if (given != "restore" && given != "alarm")
        Fail(path, *table.get(key), std::string("'") + key + "' wants \"restore\" or \"alarm\"");
    return given == "restore";
}

// Where the line's service and its commands meet, found alike by both from the line file alone:
// the runtime folder that the packaged unit makes for the line file
// (/run/nvmxv451-line/<file's stem>), else beside the line file.
std::string DefaultControlSocket(const std::string &path, const std::string &folder,
                                 const std::string &name) {
    std::string stem = path.substr(path.find_last_of('/') + 1);
    stem = stem.substr(0, stem.rfind(".toml"));
    const std::string runtime = "/run/nvmxv451-line/" + stem;
    struct stat status {};
    if (!stem.empty() && stat(runtime.c_str(), &status) == 0 && S_ISDIR(status.st_mode))
        return runtime + "/control.sock";
    return folder + name + "-control.sock";
}

void ReadService(const std::string &path, const toml::table *table, LineFile *line) {
    const std::string folder = FolderOf(path);
    LineService &service = line->service;
    service.recordings = folder + "recordings";
    service.events = folder + line->name + "-events.jsonl";
    service.state = folder + line->name + "-state";
    service.control = DefaultControlSocket(path, folder, line->name);
    if (table == nullptr)
        return;
    OnlyKeys(path, *table,
             {"recordings", "events", "state", "control", "rotate_minutes", "rotate_mb",
              "keep_days", "keep_mb", "on_replace", "on_outside_change"},
             "[service]");
    if (const std::string given = Text(path, *table, "control", false); !given.empty())
        service.control = PathIn(folder, given);
    if (const std::string given = Text(path, *table, "state", false); !given.empty()) {
        service.state = PathIn(folder, given);
        service.stateGiven = true;
    }
    service.restoreReplaced = Policy(path, *table, "on_replace", true);
    service.restoreOutsideChange = Policy(path, *table, "on_outside_change", false);
    if (const std::string given = Text(path, *table, "recordings", false); !given.empty()) {
        service.recordings = PathIn(folder, given);
        service.recordingsGiven = true;
    }
    if (const std::string given = Text(path, *table, "events", false); !given.empty()) {
        service.events = PathIn(folder, given);
        service.eventsGiven = true;
    }
    service.rotateSeconds =
        Positive(path, *table, "rotate_minutes", service.rotateSeconds / 60, 60);
    service.rotateBytes = (long long)Positive(path, *table, "rotate_mb",
                                              (double)service.rotateBytes / (1 << 20), 1 << 20);
    service.keepSeconds = Positive(path, *table, "keep_days", service.keepSeconds / 86400, 86400);
    service.keepBytes = (long long)Positive(path, *table, "keep_mb",
                                            (double)service.keepBytes / (1 << 20), 1 << 20);
}

// [health]: every key optional, each a number above 0 (shares and the EWMA's weight at most 1).
void ReadHealth(const std::string &path, const toml::table *table, HealthSettings *health) {
    if (table == nullptr)
        return;
    OnlyKeys(path, *table,
             {"window_minutes", "stable_minutes", "min_frames", "near", "warn_index", "alarm_index",
              "index_hysteresis", "ewma_lambda", "ewma_sigmas", "undetected_share",
              "timeouts_per_hour"},
             "[health]");
    health->windowSeconds =
        Positive(path, *table, "window_minutes", health->windowSeconds / 60, 60);
    health->stableSeconds =
        Positive(path, *table, "stable_minutes", health->stableSeconds / 60, 60);
    health->minFrames = (int)Positive(path, *table, "min_frames", health->minFrames, 1);
    health->nearUnits = Positive(path, *table, "near", health->nearUnits, 1);
    health->warnIndex = Positive(path, *table, "warn_index", health->warnIndex, 1);
    health->alarmIndex = Positive(path, *table, "alarm_index", health->alarmIndex, 1);
    health->indexHysteresis =
        Positive(path, *table, "index_hysteresis", health->indexHysteresis, 1);
    health->lambda = Positive(path, *table, "ewma_lambda", health->lambda, 1);
    health->ewmaSigmas = Positive(path, *table, "ewma_sigmas", health->ewmaSigmas, 1);
    health->undetectedShare =
        Positive(path, *table, "undetected_share", health->undetectedShare, 1);
    health->timeoutsPerHour =
        Positive(path, *table, "timeouts_per_hour", health->timeoutsPerHour, 1);
    for (const char *key : {"ewma_lambda", "undetected_share"})
        if (const toml::node *node = table->get(key); node && *node->value<double>() > 1)
            Fail(path, *node, std::string("'") + key + "' wants a number above 0, at most 1");
    if (health->alarmIndex > health->warnIndex)
        Fail(path, *table, "'alarm_index' is above 'warn_index'");
}

void ReadSensor(const std::string &path, const toml::table &table, LineFile *line) {
    OnlyKeys(path, table, {"name", "port", "approved"}, "[[sensor]]");
    LineSensor sensor;
    sensor.name = Name(path, table, "the sensor");
    sensor.port = Text(path, table, "port", true);
    sensor.approved = PathIn(FolderOf(path), Text(path, table, "approved", true));
    sensor.line = (int)table.source().begin.line;
    for (const LineSensor &earlier : line->sensors) {
        if (earlier.name == sensor.name)
            Fail(path, table, "a second sensor named '" + sensor.name + "'");
        if (earlier.port == sensor.port)
            Fail(path, table,
                 "sensors '" + earlier.name + "' and '" + sensor.name + "' are both on port " +
                     Shown(sensor.port));
    }
    line->sensors.push_back(sensor);
}

void ReadSensors(const std::string &path, const toml::node &node, LineFile *line) {
    if (!node.is_array_of_tables())
        Fail(path, node, "sensors are written as [[sensor]] tables");
    for (const toml::node &sensor : *node.as_array())
        ReadSensor(path, *sensor.as_table(), line);
}

void ReadWeb(const std::string &path, const toml::table &table, LineWeb *web) {
    OnlyKeys(path, table, {"listen", "password_file"}, "[web]");
    web->listen = Text(path, table, "listen", false);
    web->passwordFile = PathIn(FolderOf(path), Text(path, table, "password_file", false));
}

void ReadLine(const std::string &path, const toml::table &root, LineFile *line) {
    OnlyKeys(path, root, {"line", "broker", "sensor", "service", "health", "web"}, "the file");
    const toml::node *head = root.get("line");
    if (head == nullptr)
        throw LineError{path + ": the [line] table is missing"};
    const toml::table &lineTable = Table(path, *head, "line");
    OnlyKeys(path, lineTable, {"name", "log"}, "[line]");
    line->name = Name(path, lineTable, "the line");
    line->logPath = PathIn(FolderOf(path), Text(path, lineTable, "log", false));
    if (const toml::node *broker = root.get("broker"))
        ReadBroker(path, Table(path, *broker, "broker"), line);
    const toml::node *service = root.get("service");
    ReadService(path, service ? &Table(path, *service, "service") : nullptr, line);
    const toml::node *health = root.get("health");
    ReadHealth(path, health ? &Table(path, *health, "health") : nullptr, &line->health);
    if (const toml::node *web = root.get("web"))
        ReadWeb(path, Table(path, *web, "web"), &line->web);
    const toml::node *sensors = root.get("sensor");
    if (sensors == nullptr)
        throw LineError{path + ": the line names no [[sensor]]"};
    ReadSensors(path, *sensors, line);
}

} // namespace

bool IsSensorName(const std::string &name) {
    if (name.empty() || name.size() >= SENSOR_NAME_LEN || name[0] == '.' || name[0] == '-')
        return false;
    for (char c : name)
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
              c == '.' || c == '_' || c == '-'))
            return false;
    return true;
}

bool ParseLineFile(const std::string &text, const char *path, LineFile *line, std::string *why) {
    *line = LineFile();
    line->path = path;
    int faultLine = 0;
    const std::string fault = LineTextFault(text, &faultLine);
    if (!fault.empty()) {
        *why = std::string(path) + ":" + std::to_string(faultLine) + ": " + fault;
        return false;
    }
    try {
        const toml::table root = toml::parse(text, std::string_view(path));
        ReadLine(path, root, line);
        return true;
    } catch (const toml::parse_error &failure) {
        *why = std::string(path) + ":" + std::to_string(failure.source().begin.line) + ": " +
               Shown(std::string(failure.description()));
    } catch (const LineError &failure) {
        *why = failure.text;
    }
    return false;
}

bool ReadLineFile(const char *path, LineFile *line, std::string *why) {
    std::string text, error;
    if (!ReadSmallFile(path, LINE_FILE_LIMIT, &text, &error)) {
        *why = std::string(path) + ": " + error;
        return false;
    }
    return ParseLineFile(text, path, line, why);
}

bool PickSensors(const LineFile &line, const std::vector<std::string> &names,
                 std::vector<LineSensor> *picked, std::string *why) {
    picked->clear();
    for (const std::string &name : names) {
        bool known = false;
        for (const LineSensor &sensor : line.sensors)
            known = known || sensor.name == name;
        if (!known) {
            *why = "line '" + line.name + "' has no sensor named '" + name + "'";
            return false;
        }
    }
    for (const LineSensor &sensor : line.sensors) {
        bool wanted = names.empty();
        for (const std::string &name : names)
            wanted = wanted || sensor.name == name;
        if (wanted)
            picked->push_back(sensor);
    }
    return true;
}

ParsedCommandLine LineBrokerOptions(const LineFile &line) {
    ParsedCommandLine options;
    const LineBroker &broker = line.broker;
    const std::pair<const char *, std::string> given[] = {
        {"mqtt-host", broker.host},
        {"mqtt-prefix", broker.prefix},
        {"mqtt-user", broker.user},
        {"mqtt-password-file", broker.passwordFile},
        {"mqtt-cafile", broker.caFile},
        {"mqtt-port", broker.port ? std::to_string(broker.port) : std::string()},
    };
    for (const auto &[name, value] : given)
        if (!value.empty())
            options.add(name, value);
    return options;
}
