// The command lines of the headless commands (check, get, send, record): the options, their
// help texts and the exit codes that the help documents. Free of Qt.
#pragma once

#include "platform/engine/userint.h"
#include "sensor/wire.h"
#include "telemetry/telemetry.h"

enum { PLANT_CHECK = 1, PLANT_GET, PLANT_SEND, PLANT_RECORD };
// The sensor memory of get --from and send --to; the values of the program's RAM and EEPROM.
enum { PLANT_RAM = MEMORY_RAM, PLANT_EEPROM = MEMORY_EEPROM };
enum { PLANT_MAX_PORTS = 32, PLANT_RUN = -1 };

// Exit codes. With several ports: 0 when every port succeeded, else the code of the first port,
// in the order given, that failed.
enum {
    PLANT_EXIT_OK = 0,
    PLANT_EXIT_SENSOR = 1,    // no answer, or a short, long or wrong one ("TIMEOUT")
    PLANT_EXIT_USAGE = 2,     // unknown command or option, a missing or bad value
    PLANT_EXIT_FILE = 3,      // a parameter file refused, an output file not written
    PLANT_EXIT_PORT = 4,      // the port did not open
    PLANT_EXIT_LINE_LOST = 5, // the device went away during the command
    PLANT_EXIT_VERIFY = 6,    // send --verify read back another block
    PLANT_EXIT_TELEMETRY = 7, // the broker settings cannot work (a CA file that cannot be read)
};

struct PlantOptions {
    int command;
    int portCount;
    char port[PLANT_MAX_PORTS][MAX_PATHNAME_LEN]; // as given: a device path, COMn or n
    int memory;                                   // get --from, send --to: PLANT_RAM, PLANT_EEPROM
    char file[MAX_PATHNAME_LEN];                  // send: the parameter file
    char output[MAX_PATHNAME_LEN];                // get -o, record --out; "" when not given
    char backup[MAX_PATHNAME_LEN];                // send --backup
    char folder[MAX_PATHNAME_LEN];                // record --folder; "" when not given
    int verify;                                   // send --verify
    int json;                                     // one JSON line per port on standard output
    double seconds;                               // record --seconds; 0: until interrupted
    TelemetryConfig telemetry;                    // remembered settings under the options given
};

// 1 when word names a headless command.
int IsPlantCommand(const char *word);
// Reads "PROGRAM COMMAND [options]" into options. Returns PLANT_RUN, or the exit code of a run
// that ends here: 0 after --help (printed to standard output), PLANT_EXIT_USAGE with the reason
// on standard error.
int ParsePlantCommandLine(int argc, char **argv, PlantOptions *options);
