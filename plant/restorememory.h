// One memory of a sensor brought to its target block, as restore does it and the line service
// after a replacement: backup kept, write logged ahead and verified, rollback on a failed verify.
#pragma once

#include "plant/portcommand.h"

#include <string>

// Brings memory (MEMORY_EEPROM, MEMORY_RAM) of the job's sensor to its target block
// (ReadTargetBlock); the result tells how it ended: "IN STEP", "WOULD RESTORE" (dry run),
// "RESTORED", "ROLLED BACK" or a failure, with the differences and the backup in its fields.
void RestoreMemory(SensorJob *job, int memory);
// "eeprom", "ram": the memory's key in a result's JSON.
std::string MemoryKey(int memory);
