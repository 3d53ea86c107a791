// What the commands on recorded data (evaluate, tune) share: the numbers of their options, the
// parameter files and recordings they read with the reason when one cannot be read, and the
// pieces of their reports.
#pragma once

#include "plant/exitcodes.h"
#include "textforms/recording.h"

#include <cstdio>
#include <vector>

struct CommandReport {
    const char *name; // "evaluate"
    int json;         // failures also as a JSON object on standard output
};

// A recording as read: its path as given, its frames and the line of the first frame.
struct LoadedRecording {
    const char *path;
    std::vector<RecordedFrame> frames;
    long firstLine;
};

// A number in min..max from an option's value; -1 after reporting a bad one.
int ParseNumberOption(const CommandReport *report, const char *name, const char *text, double min,
                      double max, double *number);
// Reports a usage error ("nvmxv451 NAME: ..." and where the help is) and returns
// PLANT_EXIT_USAGE.
int UsageFailure(const CommandReport *report, const char *format, ...)
    __attribute__((format(printf, 2, 3)));
// Reports a failure on standard error, and with json as {"command", "ok": false, "exit",
// "message"} on standard output; returns exitCode.
int CommandFailure(const CommandReport *report, int exitCode, const char *format, ...)
    __attribute__((format(printf, 3, 4)));
// Reads the parameter file at path into block. Returns 0, or PLANT_EXIT_FILE after reporting
// why.
int ReadParameters(const CommandReport *report, const char *path, unsigned char *block);
// Reads the recording at path into recording. Returns 0, or PLANT_EXIT_FILE after reporting
// the file, the line and the fault.
int ReadRecording(const CommandReport *report, const char *path, LoadedRecording *recording);
// text as a JSON string, quotes included.
void PrintJsonText(FILE *stream, const char *text);
