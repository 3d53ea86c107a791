// Command-line parsing of the sensor emulator.
#include "emulator/options.h"

#include "sensor/wire.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <getopt.h>

EmulatorOptions options = {
    nullptr, nullptr, 0, 0, 0, 0,  0, LineOkReply, 0, 0,   0,   NO_HANGUP, 0,       {0, 0, 0},
    1,       nullptr, 0, 0, 0, {}, 0, 0,           0, 0.0, 0.0, 0.0,       nullptr, 60.0,
};

enum {
    OPT_DEVICE = 256,
    OPT_EEPROM_FILE,
    OPT_PACE,
    OPT_FIXED,
    OPT_COLOUR,
    OPT_SWITCH_EVERY,
    OPT_NOISE,
    OPT_SEED,
    OPT_LOG,
    OPT_SILENT,
    OPT_SPOIL_WRITE,
    OPT_WRONG_LINECHECK,
    OPT_LINECHECK_BYTE,
    OPT_SHORT,
    OPT_LONG,
    OPT_LATE,
    OPT_GARBLE,
    OPT_HANGUP_AFTER,
    OPT_PARAM_SHORT,
    OPT_REPLAY,
    OPT_REPLAY_TIMING,
    OPT_LOOP,
    OPT_DRIFT_INT,
    OPT_DRIFT_X,
    OPT_DRIFT_AFTER,
    OPT_MAKE_RECORDING,
    OPT_MINUTES,
    OPT_HELP,
};

// One option: the parser's table and the help are both made from this one, so that the help
// names every option the parser takes. A row without a name starts a group of the help.
struct EmulatorOption {
    const char *name;
    const char *value; // the value's name in the help; null for a switch
    int code;
    const char *help; // lines after the first are indented under it
};

static const EmulatorOption emulatorOptions[] = {
    {"device", "PATH", OPT_DEVICE, "serve this serial device instead of a new pseudo-terminal"},
    {"eeprom-file", "FILE", OPT_EEPROM_FILE,
     "keep the EEPROM in FILE (84 numbers, one per line), loaded at start\n"
     "when it exists and rewritten after every EEPROM write"},
    {"pace", nullptr, OPT_PACE, "send replies at the line rate of 9600 baud"},
    {"fixed", "R,G,B", OPT_FIXED, "hold one colour instead of the wandering one"},
    {"colour", "R,G,B", OPT_COLOUR,
     "present this colour instead of the wandering one; repeated (up to\n"
     "15 times), the colours in turn: SIGUSR1 moves on to the next one"},
    {"switch-every", "N", OPT_SWITCH_EVERY, "move on to the next colour also after every N frames"},
    {"noise", "N", OPT_NOISE,
     "move RED, GREEN and BLUE of every measured frame by up to N each way\n"
     "(0..127), the same for the same --seed and frame number"},
    {"seed", "N", OPT_SEED, "phases of the wandering colour and the noise (default 1)"},
    {"log", nullptr, OPT_LOG, "print every request to stderr with a timestamp"},
    {"replay", "FILE", OPT_REPLAY,
     "answer data requests with the frames of a recording (CSV) in order;\n"
     "after the last one they go unanswered"},
    {"replay-timing", nullptr, OPT_REPLAY_TIMING,
     "send the replayed frames at the pace they were recorded"},
    {"loop", nullptr, OPT_LOOP, "start the replay again after its last frame"},
    {nullptr, nullptr, 0, "Drift (by line time: a frame is 1/105 s):"},
    {"drift-int", "N", OPT_DRIFT_INT,
     "INT moves N units a minute (negative: falls, as a lens clouds over)"},
    {"drift-x", "N", OPT_DRIFT_X,
     "X moves N units a minute and Y the other way (the product's colour)"},
    {"drift-after", "MINUTES", OPT_DRIFT_AFTER, "the drift begins after this many minutes"},
    {"make-recording", "FILE", OPT_MAKE_RECORDING,
     "write --minutes of frames (105 a second, time stamps from 2026-01-05\n"
     "06:00 local) into the recording FILE at once and end: an hour of\n"
     "line time in a second"},
    {"minutes", "N", OPT_MINUTES, "the line time of --make-recording (default 60)"},
    {nullptr, nullptr, 0, "Faults:"},
    {"silent", nullptr, OPT_SILENT, "never answer"},
    {"wrong-linecheck", nullptr, OPT_WRONG_LINECHECK,
     "answer the line check with 0x55 instead of 0xAA"},
    {"linecheck-byte", "N", OPT_LINECHECK_BYTE,
     "answer the line check with byte N (0..255, 0x.. allowed)"},
    {"short", "N", OPT_SHORT, "data frames and parameter replies lose their last N bytes"},
    {"long", "N", OPT_LONG, "data frames and parameter replies get N extra bytes (N <= 1024)"},
    {"late", "MS", OPT_LATE, "delay every reply by MS milliseconds"},
    {"garble", nullptr, OPT_GARBLE, "flip bits of every reply"},
    {"hangup-after", "N", OPT_HANGUP_AFTER,
     "after N data frames the next request closes the line for good"},
    {"param-short", nullptr, OPT_PARAM_SHORT, "parameter replies are 83 bytes instead of 84"},
    {"spoil-write", "N", OPT_SPOIL_WRITE,
     "the Nth parameter write is stored with MAXCOL-No. one off, so that\n"
     "a read-back does not match what was sent"},
    {"help", nullptr, OPT_HELP, "this text"},
};

enum { HELP_COLUMN = 23 }; // where the help of an option starts

static void PrintHelp(void) {
    fputs("Usage: sensor-emulator [options]\n"
          "Answers the colour sensor's RS-232 protocol on a pseudo-terminal (or a device) and\n"
          "prints the device path as the first line on standard output.\n\n",
          stdout);
    for (const EmulatorOption &option : emulatorOptions) {
        if (option.name == nullptr) {
            printf("\n%s\n", option.help);
            continue;
        }
        const int width = printf("  --%s%s%s", option.name, option.value ? " " : "",
                                 option.value ? option.value : "");
        printf("%*s", width < HELP_COLUMN ? HELP_COLUMN - width : 1, "");
        for (const char *c = option.help; *c; ++c) {
            putchar(*c);
            if (*c == '\n')
                printf("%*s", HELP_COLUMN, "");
        }
        putchar('\n');
    }
}

// getopt_long's table of emulatorOptions, ended by a row of zeros.
static const struct option *LongOptions(void) {
    enum { COUNT = sizeof emulatorOptions / sizeof emulatorOptions[0] };
    static struct option table[COUNT + 1];
    int used = 0;
    for (const EmulatorOption &option : emulatorOptions)
        if (option.name != nullptr)
            table[used++] = {option.name, option.value ? required_argument : no_argument, nullptr,
                             option.code};
    table[used] = {nullptr, 0, nullptr, 0};
    return table;
}

// Parses a whole decimal (or, with base 0, also 0x..) number in min..max into *value.
// Returns 0, or -1 for anything else: trailing text, overflow, out of range.
static int ParseNumber(const char *text, int base, long min, long max, long *value) {
    char *end = nullptr;
    errno = 0;
    long number = strtol(text, &end, base);
    if (errno != 0 || end == text || *end != '\0' || number < min || number > max) {
        return -1;
    }
    *value = number;
    return 0;
}

// Integer option in min..max; reports a bad value with the option's name.
static int ParseIntOption(const char *name, const char *text, int base, long min, long max,
                          int *target) {
    long value = 0;
    if (ParseNumber(text, base, min, max, &value) != 0) {
        fprintf(stderr, "sensor-emulator: --%s wants a number in %ld..%ld, not \"%s\"\n", name, min,
                max, text);
        return -1;
    }
    *target = (int)value;
    return 0;
}

// "R,G,B" with three numbers in 0..255 into rgb; reports a bad one with the option's name.
static int ParseColour(const char *name, const char *text, unsigned char rgb[3]) {
    int values[3] = {-1, -1, -1};
    int end = -1;
    if (sscanf(text, "%d,%d,%d%n", &values[0], &values[1], &values[2], &end) != 3 || end < 0 ||
        text[end] != '\0') {
        end = -1;
    }
    for (int i = 0; i < 3; ++i) {
        if (values[i] < 0 || values[i] > 255) {
            end = -1;
        }
    }
    if (end < 0) {
        fprintf(stderr, "sensor-emulator: --%s wants R,G,B in 0..255, not \"%s\"\n", name, text);
        return -1;
    }
    for (int i = 0; i < 3; ++i) {
        rgb[i] = (unsigned char)values[i];
    }
    return 0;
}

static int ParseFixedColour(const char *text) {
    if (ParseColour("fixed", text, options.fixedRgb) != 0) {
        return -1;
    }
    options.fixed = 1;
    return 0;
}

// One more colour to present, after those given before.
static int AddPresentedColour(const char *text) {
    if (options.colourCount == MAX_COLOURS) {
        fprintf(stderr, "sensor-emulator: at most %d --colour\n", (int)MAX_COLOURS);
        return -1;
    }
    return ParseColour("colour", text, options.colours[options.colourCount++]);
}

// A decimal number in min..max for option name; -1 after naming the fault.
static int ParseRealOption(const char *name, const char *text, double min, double max,
                           double *value) {
    char *end = nullptr;
    errno = 0;
    const double number = strtod(text, &end);
    if (errno != 0 || end == text || *end != '\0' || !(number >= min && number <= max)) {
        fprintf(stderr, "sensor-emulator: --%s wants a number in %g..%g, not \"%s\"\n", name, min,
                max, text);
        return -1;
    }
    *value = number;
    return 0;
}

// Applies one parsed option; returns 0, 1 for --help, -1 for an error.
static int ApplyOption(int code, const char *argument) {
    switch (code) {
    case OPT_DEVICE:
        options.device = argument;
        return 0;
    case OPT_EEPROM_FILE:
        options.eepromFile = argument;
        return 0;
    case OPT_PACE:
        options.pace = 1;
        return 0;
    case OPT_FIXED:
        return ParseFixedColour(argument);
    case OPT_COLOUR:
        return AddPresentedColour(argument);
    case OPT_SWITCH_EVERY:
        return ParseIntOption("switch-every", argument, 10, 1, 0x7FFFFFFF, &options.switchEvery);
    case OPT_NOISE:
        return ParseIntOption("noise", argument, 10, 0, MAX_NOISE, &options.noise);
    case OPT_SEED: {
        long seed = 0;
        if (ParseNumber(argument, 10, 0, 0x7FFFFFFFL, &seed) != 0) {
            fprintf(stderr, "sensor-emulator: --seed wants a number, not \"%s\"\n", argument);
            return -1;
        }
        options.seed = (unsigned long)seed;
        return 0;
    }
    case OPT_LOG:
        options.log = 1;
        return 0;
    case OPT_SILENT:
        options.silent = 1;
        return 0;
    case OPT_WRONG_LINECHECK:
        options.linecheckByte = SYNC_BYTE;
        return 0;
    case OPT_LINECHECK_BYTE:
        return ParseIntOption("linecheck-byte", argument, 0, 0, 255, &options.linecheckByte);
    case OPT_SHORT:
        return ParseIntOption("short", argument, 10, 0, 84, &options.shortBy);
    case OPT_LONG:
        return ParseIntOption("long", argument, 10, 0, MAX_EXTRA_BYTES, &options.longBy);
    case OPT_LATE:
        return ParseIntOption("late", argument, 10, 0, 600000, &options.lateMs);
    case OPT_GARBLE:
        options.garble = 1;
        return 0;
    case OPT_HANGUP_AFTER:
        return ParseIntOption("hangup-after", argument, 10, 0, 0x7FFFFFFF, &options.hangupAfter);
    case OPT_PARAM_SHORT:
        options.paramShort = 1;
        return 0;
    case OPT_SPOIL_WRITE:
        return ParseIntOption("spoil-write", argument, 10, 1, 0x7FFFFFFF, &options.spoilWrite);
    case OPT_REPLAY:
        options.replayFile = argument;
        return 0;
    case OPT_REPLAY_TIMING:
        options.replayTiming = 1;
        return 0;
    case OPT_LOOP:
        options.loop = 1;
        return 0;
    case OPT_DRIFT_INT:
        return ParseRealOption("drift-int", argument, -255, 255, &options.driftInt);
    case OPT_DRIFT_X:
        return ParseRealOption("drift-x", argument, -255, 255, &options.driftX);
    case OPT_DRIFT_AFTER:
        return ParseRealOption("drift-after", argument, 0, 1e6, &options.driftAfter);
    case OPT_MAKE_RECORDING:
        options.makeRecording = argument;
        return 0;
    case OPT_MINUTES:
        return ParseRealOption("minutes", argument, 0, 1e5, &options.minutes);
    case OPT_HELP:
        PrintHelp();
        return 1;
    default: // getopt_long has named the bad option
        fputs("sensor-emulator: --help lists the options\n", stderr);
        return -1;
    }
}

int ParseOptions(int argc, char **argv) {
    opterr = 1;
    int code = 0;
    while ((code = getopt_long(argc, argv, "", LongOptions(), nullptr)) != -1) {
        int result = ApplyOption(code, optarg);
        if (result != 0) {
            return result;
        }
    }
    if (optind < argc) {
        fprintf(stderr, "sensor-emulator: unexpected argument \"%s\"\n", argv[optind]);
        return -1;
    }
    if (options.fixed && options.colourCount > 0) {
        fprintf(stderr, "sensor-emulator: --fixed and --colour exclude each other\n");
        return -1;
    }
    return 0;
}
