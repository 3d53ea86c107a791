// log: the change log, filtered by sensor and time, for people or as its JSON lines.
#include "changes/changelog.h"
#include "changes/changelogread.h"
#include "files/regularfile.h"
#include "line/linefile.h"
#include "plant/commands.h"
#include "plant/portcommand.h"
#include "platform/system/optionparser.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <ctime>

namespace {

enum { LOG_LIMIT = 256 << 20 };

// The fields of a calendar time, checked: a month, day, hour, minute or second out of its range
// ("2026-13-45", "25:99") is no time, where mktime would quietly carry it over.
bool IsCalendarTime(const std::tm &fields) {
    std::tm normal = fields;
    timegm(&normal);
    return fields.tm_mon >= 0 && fields.tm_mon < 12 && normal.tm_mday == fields.tm_mday &&
           normal.tm_mon == fields.tm_mon && fields.tm_hour >= 0 && fields.tm_hour < 24 &&
           fields.tm_min >= 0 && fields.tm_min < 60 && fields.tm_sec >= 0 && fields.tm_sec < 61;
}

// Seconds since the epoch of "2026-12-08", "2026-12-08T09:15[:02[.125]]" and the same with an
// offset ("+01:00", "Z"); without one the time is local. False for anything else.
bool ParseTime(const std::string &text, double *seconds) {
    std::tm fields{};
    int used = 0;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2d%n", &fields.tm_year, &fields.tm_mon, &fields.tm_mday,
                    &used) != 3)
        return false;
    const char *rest = text.c_str() + used;
    double fraction = 0;
    if (*rest == 'T' || *rest == ' ') {
        int second = 0, more = 0;
        if (std::sscanf(rest + 1, "%2d:%2d%n", &fields.tm_hour, &fields.tm_min, &more) != 2)
            return false;
        rest += 1 + more;
        if (std::sscanf(rest, ":%2d%n", &second, &more) == 1) {
            fields.tm_sec = second;
            rest += more;
            if (*rest == '.' && std::sscanf(rest, "%lf%n", &fraction, &more) == 1)
                rest += more;
        }
    }
    fields.tm_year -= 1900;
    fields.tm_mon -= 1;
    if (!IsCalendarTime(fields) || fraction >= 1)
        return false;
    if (*rest == '\0') {
        fields.tm_isdst = -1;
        *seconds = (double)std::mktime(&fields) + fraction;
        return true;
    }
    int hours = 0, minutes = 0;
    const char sign = *rest;
    if (sign == 'Z' && rest[1] == '\0')
        hours = 0;
    else if ((sign != '+' && sign != '-') ||
             std::sscanf(rest + 1, "%2d:%2d%n", &hours, &minutes, &used) != 2 ||
             rest[1 + used] != '\0' || hours > 23 || minutes > 59)
        return false;
    const double offset = (hours * 3600.0 + minutes * 60.0) * (sign == '-' ? -1 : 1);
    *seconds = (double)timegm(&fields) + fraction - offset;
    return true;
}

struct LogFilter {
    std::vector<std::string> sensors;
    bool hasSince = false, hasUntil = false;
    double since = 0, until = 0;
};

bool Wanted(const LogFilter &filter, const LoggedWrite &write) {
    bool sensor = filter.sensors.empty();
    for (const std::string &name : filter.sensors)
        sensor = sensor || write.sensor == name;
    double time = 0;
    if (!sensor || !ParseTime(write.time, &time))
        return false;
    return (!filter.hasSince || time >= filter.since) && (!filter.hasUntil || time < filter.until);
}

bool TakeLogOptions(const ParsedCommandLine &parsed, std::string *path, LogFilter *filter,
                    std::string *why) {
    filter->sensors = parsed.values("sensor");
    if ((filter->hasSince = parsed.isSet("since")) &&
        !ParseTime(parsed.value("since"), &filter->since)) {
        *why = "--since wants a time such as 2026-12-08 or 2026-12-08T09:15";
        return false;
    }
    if ((filter->hasUntil = parsed.isSet("until")) &&
        !ParseTime(parsed.value("until"), &filter->until)) {
        *why = "--until wants a time such as 2026-12-08 or 2026-12-08T09:15";
        return false;
    }
    if (parsed.isSet("file") && parsed.isSet("line")) {
        *why = "--file and --line exclude each other";
        return false;
    }
    *path = parsed.isSet("file") ? parsed.value("file") : UserChangeLogPath();
    if (!parsed.isSet("line"))
        return true;
    LineFile line;
    if (!ReadLineFile(parsed.value("line").c_str(), &line, why))
        return false;
    if (line.logPath.empty()) {
        *why = "the line file names no log";
        return false;
    }
    *path = line.logPath;
    return true;
}

} // namespace

int RunLogCommand(int argc, char **argv) {
    CommandLineForm form;
    form.program = std::string(argc > 0 ? argv[0] : "nvmxv451") + " log";
    form.description = "Prints the change log: every write of parameters to a sensor, by the "
                       "panel and the commands, oldest first, with its outcome (\"interrupted: "
                       "outcome unknown\" when the writing process was killed before it). Lines "
                       "it cannot use are named on standard error and skipped. Exit codes: 0 "
                       "done (also when nothing was logged yet), 2 usage (a bad option or time), "
                       "3 the log cannot be read.";
    form.options = {
        {"sensor", "NAME", "Only this sensor's writes (give it again for more)."},
        {"since", "TIME", "Only writes at or after TIME (2026-12-08, 2026-12-08T09:15, local)."},
        {"until", "TIME", "Only writes before TIME."},
        {"file", "FILE", "Reads FILE instead of the user's log."},
        {"line", "FILE", "Reads the log that the line file names."},
        {"json", nullptr,
         "One JSON object per write: its logged line with its outcome (\"verify\") joined."},
    };
    ParsedCommandLine parsed;
    const int parsedCode = ParseOptions(form, argc, argv, 2, &parsed);
    if (parsedCode != COMMAND_LINE_RUN)
        return parsedCode;
    if (!parsed.positional.empty())
        return UsageError(form.program, "unexpected argument '" + parsed.positional[0] + "'");
    std::string path, why, text;
    LogFilter filter;
    if (!TakeLogOptions(parsed, &path, &filter, &why))
        return UsageError(form.program, why);
    bool missing = false;
    if (!ReadSmallFile(path.c_str(), LOG_LIMIT, &text, &why, &missing)) {
        if (missing)
            return PLANT_EXIT_OK; // no write has been logged yet
        std::fprintf(stderr, "nvmxv451 log: %s: %s\n", path.c_str(), why.c_str());
        return PLANT_EXIT_FILE;
    }
    const ChangeLogRead log = ReadChangeLog(text);
    for (const std::string &problem : log.problems)
        std::fprintf(stderr, "nvmxv451 log: %s: %s\n", path.c_str(), problem.c_str());
    for (const LoggedWrite &write : log.writes)
        if (Wanted(filter, write))
            std::printf(
                "%s\n",
                parsed.isSet("json")
                    ? write.json.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace)
                          .c_str()
                    : DescribeLoggedWrite(write).c_str());
    return PLANT_EXIT_OK;
}
