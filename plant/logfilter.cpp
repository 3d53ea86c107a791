// The filter of the logs' commands: their sensors and a span of time.
#include "plant/logfilter.h"

#include "files/regularfile.h"
#include "plant/exitcodes.h"

#include <cstdio>
#include <ctime>
#include <deque>

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

} // namespace

bool Wanted(const LogFilter &filter, const std::string &sensorName, const std::string &stamp) {
    bool sensor = filter.sensors.empty();
    for (const std::string &name : filter.sensors)
        sensor = sensor || sensorName == name;
    double time = 0;
    if (!sensor || !ParseTime(stamp, &time))
        return false;
    return (!filter.hasSince || time >= filter.since) && (!filter.hasUntil || time < filter.until);
}

std::vector<OptionForm> LogFilterOptions(const char *what) {
    // The help keeps these texts for the life of the program; a deque never moves them.
    static std::deque<std::string> texts;
    texts.push_back(std::string("Only this sensor's ") + what + " (give it again for more).");
    texts.push_back(std::string("Only ") + what +
                    " at or after TIME (2026-12-08, 2026-12-08T09:15, local).");
    texts.push_back(std::string("Only ") + what + " before TIME.");
    const size_t first = texts.size() - 3;
    return {{"sensor", "NAME", texts[first].c_str()},
            {"since", "TIME", texts[first + 1].c_str()},
            {"until", "TIME", texts[first + 2].c_str()}};
}

int ReadLogText(const char *command, const std::string &path, std::string *text) {
    std::string why;
    bool missing = false;
    text->clear();
    if (ReadSmallFile(path.c_str(), LOG_LIMIT, text, &why, &missing) || missing)
        return PLANT_EXIT_OK;
    std::fprintf(stderr, "nvmxv451 %s: %s: %s\n", command, path.c_str(), why.c_str());
    return PLANT_EXIT_FILE;
}

bool TakeLogFilter(const ParsedCommandLine &parsed, LogFilter *filter, std::string *why) {
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
    return true;
}
