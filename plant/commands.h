// The headless commands, one file each (command_*.cpp), each run by one function from its
// command line ("PROGRAM NAME [options]", argv[1] the name) to its exit code. plant.cpp holds
// the table that names them.
#pragma once

#include "plant/exitcodes.h"

// On sensors, at once on every --port (exitcodes.h gives the exit codes of every command).
int RunCheckCommand(int argc, char **argv);
int RunGetCommand(int argc, char **argv);
int RunSendCommand(int argc, char **argv);
int RunRecordCommand(int argc, char **argv);
// The line service: every sensor of a --line file served until a signal ends it.
int RunServeCommand(int argc, char **argv);
// One sensor of a served line taken out of its service until given back: 0, 2 usage, 4 not lent.
int RunBorrowCommand(int argc, char **argv);
int RunReturnCommand(int argc, char **argv);
// The service's event log filtered by sensor and time: 0, 2 usage, 3 a log that cannot be read.
int RunEventsCommand(int argc, char **argv);
// The line's commands, on sensors as the four above (--line or --port): status (exit 9 when a
// sensor's RAM, EEPROM and approved file differ), snapshot -o DIR, restore (exit 10: rolled
// back). diff also compares files or snapshots without a sensor (exit 9 when they differ).
int RunStatusCommand(int argc, char **argv);
int RunSnapshotCommand(int argc, char **argv);
int RunDiffCommand(int argc, char **argv);
int RunRestoreCommand(int argc, char **argv);
// The change log filtered by sensor and time: 0, 2 usage, 3 a log that cannot be read.
int RunLogCommand(int argc, char **argv);

// On recordings and parameter files: 0 done, 2 usage, 3 a file that cannot be read or written.
// "evaluate --parameters FILE.dat RECORDING.csv ... [--near N] [--json]".
int RunEvaluateCommand(int argc, char **argv);
// "tune --row 0 a.csv --row 1 b.csv ... -o tuned.dat [--base current.dat] [--k K] [--margin M]
// [--force] [--json]"; PLANT_EXIT_NOT_SEPARATED when two rows cannot be told apart (nothing is
// written).
int RunTuneCommand(int argc, char **argv);
