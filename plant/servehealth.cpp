#include "plant/servehealth.h"

#include "plant/servestate.h"
#include "plant/serveview.h"
#include "telemetry/telemetry.h"

#include <cstring>

void TakeHealthTable(ServedHealth *health, const unsigned char ram[BLOCK_LENGTH]) {
    if (health->monitor.hasTable() && std::memcmp(health->table, ram, BLOCK_LENGTH) == 0)
        return;
    std::memcpy(health->table, ram, BLOCK_LENGTH);
    health->monitor.setTable(ram);
}

void WatchHealth(SensorJob *job, ServedHealth *health, long long ms, const unsigned char *frame) {
    health->changes.clear();
    health->monitor.addFrame(ms, frame, &health->changes);
    for (const HealthChange &change : health->changes) {
        if (change.level == HEALTH_OK) {
            ClearAlarm(job, change.alarm);
            TellEvent(job, change.alarm.c_str(), change.message, change.ms, "cleared");
        } else {
            RaiseAlarm(job, change.alarm, change.message, HealthLevelName(change.level), change.ms);
        }
    }
    if (health->publishedMs < 0 || ms - health->publishedMs >= health->publishSeconds * 1000) {
        const std::string json = health->monitor.json(ms);
        PublishHealthOf(job->sensor, json.c_str());
        ShowHealth(job, json);
        health->publishedMs = ms;
    }
}
