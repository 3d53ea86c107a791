// The command lines of the program's commands parsed by their option tables (options/). Qt
// stays behind this header.
#pragma once

#include "options/options.h"

enum { COMMAND_LINE_RUN = -1 };

// Parses argv[first] .. argv[argc - 1] by form, with -h/--help added. Returns COMMAND_LINE_RUN
// with parsed filled; 0 after --help (printed to standard output); 2 after an unknown option or
// a missing value (the reason on standard error).
int ParseOptions(const CommandLineForm &form, int argc, char **argv, int first,
                 ParsedCommandLine *parsed);
