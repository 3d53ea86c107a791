// What the commands on the program's logs (log, events) pick: the entries of the sensors named,
// within --since and --until. Times are "2026-12-08", "2026-12-08T09:15[:02[.125]]", local, or
// with an offset ("+01:00", "Z").
#pragma once

#include "options/options.h"

#include <string>
#include <vector>

struct LogFilter {
    std::vector<std::string> sensors; // none: every sensor
    bool hasSince = false, hasUntil = false;
    double since = 0, until = 0; // seconds since the epoch
};

// --sensor, --since and --until as the logs' commands offer them; what they pick: "writes",
// "events".
std::vector<OptionForm> LogFilterOptions(const char *what);
// The log at path, read whole for command ("log", "events"): PLANT_EXIT_OK with text ("" when
// there is no log yet: nothing was logged), or PLANT_EXIT_FILE, told on standard error.
int ReadLogText(const char *command, const std::string &path, std::string *text);
// --sensor, --since and --until of parsed; false with why for a time that is none.
bool TakeLogFilter(const ParsedCommandLine &parsed, LogFilter *filter, std::string *why);
// True when an entry of sensor at stamp (its time stamp) passes the filter; an entry whose stamp
// is no time never does.
bool Wanted(const LogFilter &filter, const std::string &sensor, const std::string &stamp);
