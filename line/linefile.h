// The line file: a hand-edited TOML file that names a production line and each of its sensors
// (name, port, approved parameter file) and optionally the broker and a change log. Paths in it
// are taken relative to the file's folder. Free of Qt.
#pragma once

#include "health/settings.h"
#include "options/options.h"

#include <string>
#include <vector>

enum { SENSOR_NAME_LEN = 64 }; // a sensor's or a line's name, terminator included

struct LineSensor {
    std::string name;     // a topic level and a file name part: letters, digits, '.', '_', '-'
    std::string port;     // a device path, COMn or n, as written
    std::string approved; // the approved parameter file, absolute
    int line;             // where the sensor's table starts in the file
};

// Broker settings of the line; a field left empty was not given.
struct LineBroker {
    std::string host;
    int port = 0;
    std::string prefix;
    std::string user;
    std::string passwordFile; // absolute
    std::string caFile;       // absolute
};

// How the line service keeps the line's recordings and events ([service]; every key optional).
struct LineService {
    std::string recordings;            // folder of the recordings, a folder per sensor in it
    std::string events;                // the service's event log (JSON lines)
    double rotateSeconds = 3600;       // rotate_minutes: a new file at least this often
    long long rotateBytes = 64 << 20;  // rotate_mb: ... and when a file reaches this size
    double keepSeconds = 7 * 86400;    // keep_days: older files of a sensor are removed
    long long keepBytes = 1LL << 30;   // keep_mb: ... and the oldest while a sensor's exceed it
    std::string state;                 // what the service last saw of each sensor
    std::string control;               // the service's control socket (ControlSocketPath)
    bool restoreReplaced = true;       // on_replace = "restore" (else "alarm")
    bool restoreOutsideChange = false; // on_outside_change = "restore" (else "alarm")
    bool recordingsGiven = false;      // the file names the folder of recordings
    bool eventsGiven = false;          // ... the event log
    bool stateGiven = false;           // ... and the state folder
};

// [web]: the line service's web view, off unless an address is given.
struct LineWeb {
    std::string listen;       // "PORT", "HOST:PORT" or "[IPv6]:PORT"; "" for no web view
    std::string passwordFile; // absolute; required when listen is not a loopback address
};

struct LineFile {
    std::string path; // as read
    std::string name;
    std::string logPath; // absolute; "" when the file sets no log
    bool hasBroker = false;
    LineBroker broker;
    std::vector<LineSensor> sensors;
    LineService
        service; // recordings: "<folder>/recordings", events: "<folder>/<name>-events.jsonl"
    HealthSettings health; // [health]: the rules of the sensors' health and their thresholds
    LineWeb web;
};

// Reads and checks the line file at path. False with why as "FILE:LINE: what is wrong" (or
// "FILE: ..." when no line applies): a syntax error, an unknown or missing key, a value of the
// wrong type, a name that is no plain word, two sensors of one name or on one port.
// Nesting deeper than LINE_FILE_MAX_DEPTH and characters other than ASCII outside quotes and
// comments (line/linescan.h) are refused before the file is parsed; a NUL in a text value is
// refused, and a control character in a key or a value is shown escaped in why.
bool ReadLineFile(const char *path, LineFile *line, std::string *why);
// As ReadLineFile, on text already read from path (which names the file in why and is the folder
// of its relative paths).
bool ParseLineFile(const std::string &text, const char *path, LineFile *line, std::string *why);
// True when name can name a sensor or a line: 1 to SENSOR_NAME_LEN - 1 letters, digits, '.',
// '_' or '-', not starting with '.' or '-'.
bool IsSensorName(const std::string &name);
// The sensors of line named in names, in the line's order; all of them when names is empty.
// False with why naming a name the line does not have.
bool PickSensors(const LineFile &line, const std::vector<std::string> &names,
                 std::vector<LineSensor> *picked, std::string *why);
// The line's broker settings as if they had been given as options (--mqtt-host, ...), for the
// telemetry's option reader: the panel and the commands take a line's broker alike.
ParsedCommandLine LineBrokerOptions(const LineFile &line);
