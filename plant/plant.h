// The headless commands for scripts and services: check, get, send and record on one sensor or
// on many at once, without a window or a display.
#pragma once

// 1 when the command line asks for a headless command ("nvmxv451 check ...").
int IsPlantCommandLine(int argc, char **argv);
// Runs it and returns the exit code (see "nvmxv451 COMMAND --help").
int RunPlantCommand(int argc, char **argv);
