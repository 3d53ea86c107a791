// The line service's events and alarms, each sensor's told by its own thread.
#include "changes/changelog.h"
#include "plant/servestate.h"
#include "plant/serveview.h"
#include "telemetry/telemetry.h"
#include "textforms/timestamp.h"

#include "textforms/dumpjson.h"

#include <nlohmann/json.hpp>

#include <cstdio>

namespace {

// The sensor's active alarms on the broker (retained; emptied when the last is cleared).
void PublishAlarms(SensorJob *job) {
    ShowAlarms(job);
    const auto &alarms = static_cast<ServeState *>(job->state)->alarms[job->sensor];
    if (alarms.empty()) {
        PublishAlarmsOf(job->sensor, "");
        return;
    }
    char time[TIME_STAMP_LEN];
    FormatTimeStampNow(time, sizeof time);
    nlohmann::ordered_json list = nlohmann::json::array();
    for (const auto &[alarm, active] : alarms)
        list.push_back({{"alarm", alarm}, {"level", active.level}, {"message", active.message}});
    const nlohmann::ordered_json payload = {
        {"time", time}, {"sensor", job->plan->name}, {"alarms", list}};
    PublishAlarmsOf(job->sensor, DumpJson(payload).c_str());
}

} // namespace

// One event as a JSON line in the line's event log and on standard error.
void TellEvent(SensorJob *job, const char *event, const std::string &message, long long stampMs,
               const char *level) {
    const ServeState *serve = static_cast<const ServeState *>(job->state);
    char time[TIME_STAMP_LEN];
    if (stampMs >= 0)
        FormatTimeStamp(stampMs, time, sizeof time);
    else
        FormatTimeStampNow(time, sizeof time);
    nlohmann::ordered_json line = {{"time", time},
                                   {"line", serve->line.name},
                                   {"sensor", job->plan->name},
                                   {"event", event},
                                   {"message", message}};
    if (level != nullptr)
        line["level"] = level;
    std::fprintf(stderr, "%s: %s%s%s\n", job->plan->name, event, message.empty() ? "" : ": ",
                 message.c_str());
    const std::string text = DumpJson(line);
    ShowEvent(job, line);
    PublishEventOf(job->sensor, text.c_str());
    std::string why;
    if (!AppendLogLine(serve->line.service.events, text + "\n", &why))
        std::fprintf(stderr, "%s: the event log was not written: %s\n", job->plan->name,
                     why.c_str());
}

// An event that is also an alarm until cleared.
void RaiseAlarm(SensorJob *job, const std::string &alarm, const std::string &message,
                const char *level, long long stampMs) {
    TellEvent(job, alarm.c_str(), message, stampMs, level);
    auto &alarms = static_cast<ServeState *>(job->state)->alarms[job->sensor];
    const auto active = alarms.find(alarm);
    // An alarm raised again stays the one raised first.
    const long long since = active != alarms.end() ? active->second.sinceMs
                            : stampMs >= 0         ? stampMs
                                                   : TimeStampNowMs();
    alarms[alarm] = {level, message, since};
    PublishAlarms(job);
}

void ClearAlarm(SensorJob *job, const std::string &alarm) {
    if (static_cast<ServeState *>(job->state)->alarms[job->sensor].erase(alarm) > 0)
        PublishAlarms(job);
}

void ClearAlarms(SensorJob *job, std::initializer_list<const char *> cleared) {
    auto &alarms = static_cast<ServeState *>(job->state)->alarms[job->sensor];
    size_t removed = 0;
    for (const char *alarm : cleared)
        removed += alarms.erase(alarm);
    if (removed > 0)
        PublishAlarms(job);
}
