// What the port commands do on a sensor, in the words of their reports: the session's work (the
// port opened and the line checked, a memory read or written) with its outcome as the port's
// result, and a block written to a file.
#pragma once

#include "plant/portcommand.h"
#include "session/session.h"

// Starts the job's session on the plan's port: the sensor's name, its telemetry slot, the run's
// stop flag and the line's log. Nothing is opened.
void BeginJobSession(SensorJob *job);
// Opens the session's port as the panel opens it and checks the line; false with the result set.
bool OpenAndCheckLine(SensorJob *job);
// Reads the block of memory (MEMORY_RAM, MEMORY_EEPROM) into job->block; false with the result
// set.
bool ReadBlock(SensorJob *job, int memory);
// Writes job->block to the parameter file at path; false with the result set, what first.
bool WriteBlockFile(SensorJob *job, const char *path, const char *what);
// The session's last outcome as the port's result, with the exit code that outcome gives.
void TakeSessionOutcome(SensorJob *job, int outcome);
// Writes block into memory through the session (logged ahead, published, and with
// write.verify read back into job->block). WRITE_FAILED with the result set. A change log that
// cannot be written is told on standard error and in the result's JSON ("changelog"); the write
// itself goes ahead.
int WriteBlock(SensorJob *job, int memory, const unsigned char *block, const SessionWrite &write);
