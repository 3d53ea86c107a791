// What the line commands (status, snapshot, diff, restore) share: a snapshot's files, the block a
// sensor should hold, and differences told in a sensor's result.
#pragma once

#include "changes/blockdiff.h"
#include "plant/portcommand.h"

#include <string>

// The file of a sensor's memory in a snapshot folder: "FOLDER/NAME-eeprom.dat".
std::string SnapshotFile(const char *folder, const char *sensor, int memory);
// The snapshot's manifest in folder.
std::string SnapshotManifest(const char *folder);
// The block the job's sensor should hold in memory: from the file given (options->file), else
// from the snapshot folder given, else from the line's approved file; source gets the file's path.
// False with the result set (PLANT_EXIT_FILE) when it cannot be read.
bool ReadTargetBlock(SensorJob *job, int memory, unsigned char *block, std::string *source);
// Adds the differences of after against before to the result: a JSON field named field and, for
// people, one line each under the heading "what:". Returns how many there are.
size_t AddDifferences(PortResult *result, const char *field, const char *what,
                      const unsigned char *before, const unsigned char *after);
