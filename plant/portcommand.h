// The commands that work sensors on their ports (check, get, send, record): the options they
// share, the ports planned from them, every port's job on a thread of its own in this one
// process, one broker connection for all, and the report. Each command states only what is its
// own (command_*.cpp).
#pragma once

#include "com232/link.h"
#include "files/path.h"
#include "options/options.h"
#include "plant/exitcodes.h"
#include "plant/results.h"
#include "session/session.h"
#include "telemetry/telemetry.h"

enum { PLANT_MAX_PORTS = 32 };

// The run's options: those every port command takes, and those of the command itself.
struct PlantOptions {
    int portCount;
    char port[PLANT_MAX_PORTS][FILE_PATH_LEN]; // as given: a device path, COMn or n
    // With --line: the line file, its name and log, each sensor's name and approved file.
    char lineFile[FILE_PATH_LEN];
    char lineName[SENSOR_NAME_LEN];
    char lineLog[FILE_PATH_LEN];
    char lineControl[FILE_PATH_LEN]; // the control socket of the line's service
    char sensorName[PLANT_MAX_PORTS][SENSOR_NAME_LEN];
    char approved[PLANT_MAX_PORTS][FILE_PATH_LEN];
    int dryRun;        // restore --dry-run
    int stopOnFailure; // restore --stop-on-failure: one sensor after another, stop at a failure
    char snapshot[FILE_PATH_LEN]; // restore --snapshot, diff: a snapshot's folder
    int json;                     // one JSON line per port on standard output
    int memory;                   // get --from, send --to: MEMORY_RAM, MEMORY_EEPROM
    char file[FILE_PATH_LEN];     // send: the parameter file
    char output[FILE_PATH_LEN];   // get -o, record --out; "" when not given
    char backup[FILE_PATH_LEN];   // send --backup
    char folder[FILE_PATH_LEN];   // record: the folder of new files
    char http[FILE_PATH_LEN];     // serve --http: the web view's address; "" as the line says
    int verify;                   // send --verify
    int force;       // get: an existing -o file is replaced; restore: a snapshot of elsewhere
    int checkOrigin; // restore: a snapshot must be of the line (or, without one, the device)
    double seconds;  // record --seconds; 0: until interrupted
    unsigned char sendBlock[BLOCK_LENGTH];   // send: the file's block
    TelemetryConfig telemetry;               // remembered settings under the options given
    char telemetryOrigin[2 * FILE_PATH_LEN]; // where the broker setting came from, for people
    int telemetryRequired;                   // --mqtt-required: no broker fails the run
};

// What one port's job holds: its plan, its link and what the exchanges read.
struct PortPlan {
    int number;                   // COM number
    char label[PORT_LABEL_LEN];   // "COM3"
    char name[SENSOR_NAME_LEN];   // the sensor's name in reports, files, records and topics
    char device[FILE_PATH_LEN];   // the device behind the number
    char output[FILE_PATH_LEN];   // absolute: get -o, record --out; "" when not given
    char backup[FILE_PATH_LEN];   // absolute: send --backup; "" when not given
    char approved[FILE_PATH_LEN]; // the line's approved parameter file; "" without a line
};
struct SensorJob {
    const PlantOptions *options;
    const PortPlan *plan;
    int sensor;  // the sensor's number in the run: its telemetry slot
    void *state; // the command's own state for the run (RunPortCommand)
    PortResult *result;
    SensorSession session;             // the sensor's link, name and change log
    unsigned char block[BLOCK_LENGTH]; // the last block read
};

// What a port command is made of. A command that keeps state for its run hands it to
// RunPortCommand, which passes it to every hook (state, job->state): the ports' threads fill it,
// and nothing of a run lives at namespace scope.
struct PortCommand {
    const char *name;
    const char *summary;                  // the help's first paragraph
    std::vector<OptionForm> options;      // its own, after --port and --json
    const char *positionalName = nullptr; // its positional argument, if any
    const char *positionalHelp = "";
    // Takes its own options (and the positional arguments) into options; false with why.
    bool (*takeOptions)(const ParsedCommandLine &parsed, PlantOptions *options,
                        std::string *why) = nullptr;
    // Runs once before any port opens; false with the result that every port then reports.
    bool (*prepare)(PlantOptions *options, PortResult *failure, void *state) = nullptr;
    // The command on one port whose line check passed.
    void (*runOnPort)(SensorJob *job) = nullptr;
    // runOnPort opens the port and checks the line itself, again and again (serve).
    bool opensItself = false;
    // Runs once after every port's job ended (snapshot: the manifest and the folder).
    void (*finish)(const PlantOptions *options, const PortPlan *plans, PortResult *results,
                   void *state) = nullptr;
};

// Runs command for "PROGRAM NAME [options]" with state as the command's own (null: none) and
// returns the exit code.
int RunPortCommand(const PortCommand &command, int argc, char **argv, void *state = nullptr);
// Copies a path option's value whole into target; false with "OPTION is too long (at most N
// bytes)".
bool CopyPathOption(const std::string &value, const char *option, char *target, std::string *why);
// The same made absolute, as reports and the change log name it.
bool CopyAbsolutePathOption(const std::string &value, const char *option, char *target,
                            std::string *why);
// options->memory from the option named ("from", "to"): ram or eeprom, in any case.
bool ParseMemoryOption(const ParsedCommandLine &parsed, const char *option, PlantOptions *options,
                       std::string *why);
// True once a signal asked every port's work to end.
bool StopRequested(void);
// The flag that a frame's wait watches: cleared by the stop.
const volatile int *KeepWaiting(void);
