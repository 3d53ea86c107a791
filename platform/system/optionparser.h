// The command lines of the program's commands parsed by their option tables (options/). Qt
// stays behind this header.
#pragma once

#include "options/options.h"

enum { COMMAND_LINE_RUN = -1 };

// Parses argv[first] .. argv[argc - 1] by form, with -h/--help added. An option of several words
// takes the words after it, whatever they are; it cannot be given as "--name=value". Returns
// COMMAND_LINE_RUN with parsed filled; 0 after --help (printed to standard output); 2 after an
// unknown option or a missing value (the reason on standard error).
int ParseOptions(const CommandLineForm &form, int argc, char **argv, int first,
                 ParsedCommandLine *parsed);

// While an observer is set, ParseOptions hands it every form it is given and returns 0 at once,
// as after --help: the checks of the help and the manual learn the options a command takes from
// the very table its parser uses. Null ends it.
using CommandLineFormObserver = void (*)(const CommandLineForm &form, void *context);
void ObserveCommandLineForms(CommandLineFormObserver observer, void *context);
