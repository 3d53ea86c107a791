// The headless commands for scripts and services, without a window or a display: check, get,
// send and record on one sensor or on many at once, and the checks of recordings and tables.
#pragma once

// 1 when the command line asks for a headless command ("nvmxv451 check ...").
int IsPlantCommandLine(int argc, char **argv);
// Runs it and returns the exit code (see "nvmxv451 COMMAND --help").
int RunPlantCommand(int argc, char **argv);
// The commands' names in the order of their table, by index from 0; null after the last.
const char *PlantCommandName(int index);
