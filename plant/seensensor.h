// What the line service last saw of a sensor, kept in its state folder (one JSON file per
// sensor, saved whole), and what a new connection finds against it: the same unit as before, a
// new unit in its place, or the same unit with parameters changed by someone else meanwhile.
#pragma once

#include "sensor/wire.h"

#include <string>

struct SeenSensor {
    std::string identity; // what the port showed of the unit; "" when nothing
    unsigned char eeprom[BLOCK_LENGTH];
    unsigned char ram[BLOCK_LENGTH];
};

// What a connection finds.
enum SeenFinding {
    SEEN_FIRST,    // nothing was kept: the sensor is seen for the first time
    SEEN_SAME,     // the unit and both memories as last seen
    SEEN_REPLACED, // another identity, or (where the port shows none) other blocks
    SEEN_CHANGED,  // the same identity, a memory that no longer holds what was seen
};

// The state file of sensor in folder.
std::string SeenSensorPath(const std::string &folder, const std::string &sensor);
// Reads the state file; false when there is none or it cannot be used (why says which).
bool ReadSeenSensor(const std::string &path, SeenSensor *seen, std::string *why);
// Saves seen whole (the old file or the new one is always there); false with why.
bool SaveSeenSensor(const std::string &path, const SeenSensor &seen, std::string *why);
// now against before.
SeenFinding CompareWithSeen(const SeenSensor &before, const SeenSensor &now);
