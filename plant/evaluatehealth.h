// evaluate --health: the line service's health rules run over recordings, in their order and by
// their frames' time stamps, so that what the service would have raised and cleared, and when,
// shows on last month's data under the thresholds one means to use.
#pragma once

#include "plant/command_files.h"
#include "sensor/wire.h"

#include <string>
#include <vector>

struct HealthCheckOptions {
    std::string line;    // a line file whose [health] holds the rules ("" for the defaults)
    std::string sensor;  // the name the alarms give ("" takes the recording's)
    double figuresEvery; // seconds between each row's figures; 0: none
};

// Prints each alarm raised, changed or cleared (time, frame, file and line, level, alarm,
// message) and the figures asked for, or with report->json one JSON object. Returns the exit
// code.
int RunHealthCheck(const CommandReport *report, const unsigned char block[BLOCK_LENGTH],
                   const std::vector<std::string> &recordings, const HealthCheckOptions &options);
