// The exit codes of the headless commands, one list for all of them: scripts and the tests rely on
// the numbers, which never change. With several ports: 0 when every port succeeded, else the code
// of the first port, in the order given, that failed.
#pragma once

enum {
    PLANT_EXIT_OK = 0,
    PLANT_EXIT_SENSOR = 1,        // no answer, or a short, long or wrong one ("TIMEOUT")
    PLANT_EXIT_USAGE = 2,         // unknown command or option, a missing or bad value
    PLANT_EXIT_FILE = 3,          // a file refused or unreadable, an output file not written
    PLANT_EXIT_PORT = 4,          // the port did not open
    PLANT_EXIT_LINE_LOST = 5,     // the device went away during the command
    PLANT_EXIT_VERIFY = 6,        // send --verify read back another block
    PLANT_EXIT_TELEMETRY = 7,     // the broker settings cannot work (a CA file that cannot be read)
    PLANT_EXIT_NOT_SEPARATED = 8, // tune: two rows cannot be told apart (nothing written)
    PLANT_EXIT_DIFFERS = 9,       // status, diff: the blocks compared differ
    PLANT_EXIT_ROLLED_BACK = 10,  // restore: the verify failed and the backup was put back
    PLANT_EXIT_INTERRUPTED = 11,  // a signal ended a write's run before its verify
    PLANT_EXIT_NOT_RUN = 12,      // --stop-on-failure: a failure or a signal came before it
};
