// A served sensor's health: its monitor fed with every frame at the frame's time stamp (the one
// its recording keeps), what the rules raise and clear as the service's own alarms and events,
// and its figures on the broker at most once a second.
#pragma once

#include "health/health.h"
#include "plant/portcommand.h"

#include <string>
#include <vector>

struct ServedHealth {
    ServedHealth(const std::string &sensor, const HealthSettings &settings)
        : monitor(sensor, settings), publishSeconds(settings.publishSeconds) {}
    HealthMonitor monitor;
    double publishSeconds;
    std::vector<HealthChange> changes; // kept, so that a frame allocates nothing
    long long publishedMs = -1;
    unsigned char table[BLOCK_LENGTH] = {};
};

// The sensor's RAM as read at a connection: the figures begin again only when it changed.
void TakeHealthTable(ServedHealth *health, const unsigned char ram[BLOCK_LENGTH]);
// One frame at ms since the epoch.
void WatchHealth(SensorJob *job, ServedHealth *health, long long ms, const unsigned char *frame);
