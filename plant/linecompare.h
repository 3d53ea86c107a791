// What the line commands (status, snapshot, diff, restore) share: a snapshot's files, the block a
// sensor should hold, and differences told in a sensor's result.
#pragma once

#include "changes/blockdiff.h"
#include "changes/manifest.h"
#include "plant/portcommand.h"

#include <string>

// The block the job's sensor should hold in memory: from the file given (options->file), else
// from the snapshot folder given, else from the line's approved file; source gets the file's path.
// A snapshot's file must be in its manifest with its checksum, and with options->checkOrigin of
// the line (or, without one, the device) it is put back to, unless options->force. False with
// the result set (PLANT_EXIT_FILE) when it cannot be read or is refused.
bool ReadTargetBlock(SensorJob *job, int memory, unsigned char *block, std::string *source);
// Adds the differences of after against before to the result: a JSON field named field and, for
// people, one line each under the heading "what:". Returns how many there are.
size_t AddDifferences(PortResult *result, const char *field, const char *what,
                      const unsigned char *before, const unsigned char *after);
