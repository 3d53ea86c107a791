// What the port commands do on a sensor, in the words of their reports: the port opened and the
// line checked, a block read or written to a file, how a failed exchange is told.
#pragma once

#include "changes/changelog.h"
#include "plant/portcommand.h"

// Opens the plan's port as the panel opens it and checks the line; false with the result set.
bool OpenAndCheckLine(SensorJob *job);
// Reads the block of memory (MEMORY_RAM, MEMORY_EEPROM) into job->block; false with the result
// set.
bool ReadBlock(SensorJob *job, int memory);
// Writes job->block to the parameter file at path; false with the result set, what first.
bool WriteBlockFile(SensorJob *job, const char *path, const char *what);
// The result of an exchange that failed during what: the device gone, or the answer missing,
// short or long against expected bytes.
void SetExchangeFailure(SensorJob *job, const char *what, int expected);
// The panel's wait before a read of memory, spent in the port's poll, which sleeps while the
// line is silent; a stop ends it early.
void SettleBeforeRead(const SensorJob *job, int memory);

// How WriteBlock ended.
enum { WRITE_FAILED = -1, WRITE_SENT = 0, WRITE_VERIFIED = 1, WRITE_DIFFERS = 2 };
// Writes block into memory and, with verify, waits the settle time and reads it back into
// job->block. WRITE_FAILED with the result set when the write or the read-back failed, or when
// a stop came before the verify ("INTERRUPTED": the block was sent, nothing was compared).
int WriteBlock(SensorJob *job, int memory, const unsigned char *block, bool verify);
// The change log of a write of after to memory on the job's sensor (changes/changelog.h):
// LogWriteAheadOf goes before the write (before: what the sensor held, null when unknown;
// source: the file the block came from; backup: the file the old block was kept in), and
// LogOutcomeOf after it, with the verify's result. A log that cannot be written is told on
// standard error and in the result's JSON ("changelog"); the write itself goes ahead.
ChangeEntry LogWriteAheadOf(SensorJob *job, int memory, const unsigned char *before,
                            const unsigned char *after, const std::string &source,
                            const std::string &backup);
void LogOutcomeOf(SensorJob *job, const ChangeEntry &entry, const std::string &verify);
