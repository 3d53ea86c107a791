// The port commands' shared run: options, the ports' plans, a thread per port, one broker
// connection, the report.
#include "plant/portcommand.h"

#include "changes/changelog.h"
#include "com232/parameterfile.h"
#include "plant/portoptions.h"
#include "plant/sensorjob.h"
#include "plant/servedline.h"
#include "platform/serial/portthreads.h"
#include "platform/serial/rs232.h"
#include "platform/system/headless.h"
#include "platform/system/optionparser.h"
#include "platform/system/telemetrysettings.h"
#include "telemetry/options.h"
#include "textforms/dumpjson.h"
#include "textforms/portlabel.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <strings.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

const char exitCodes[] =
    "\nSeveral --port options (or a --line file) run the command on every sensor at once, in one\n"
    "process, and report per sensor. A sensor is named by the line file, else by its device\n"
    "(its /dev/serial/by-id name, else its name under /dev). Results go to standard output, one\n"
    "line per sensor (--json: one JSON object per line); progress and errors go to standard\n"
    "error.\n"
    "\nExit codes (several sensors: 0 when all succeeded, else the code of the first sensor, in\n"
    "the order given, that failed):\n"
    "  0  success\n"
    "  1  the sensor did not answer, or answered short, long or wrong (TIMEOUT)\n"
    "  2  usage: unknown command or option, a missing or bad value, nothing to compare\n"
    "  3  a file refused or not read (a parameter file, an approved file, a snapshot), or an\n"
    "     output file or folder not written\n"
    "  4  the serial port did not open\n"
    "  5  the line was lost: the device went away during the command\n"
    "  6  send --verify or restore read back a block other than the one sent (restore: the\n"
    "     backup put back after a failed verify, ROLLBACK FAILED)\n"
    "  7  the broker settings cannot work (a CA file that cannot be read, a bad prefix), or\n"
    "     with --mqtt-required the broker was not reached or refused the connection\n"
    "  9  status, diff: the sensor and the file (or the files) differ\n"
    " 10  restore: the verify failed and the sensor was put back from its backup\n"
    " 11  send, restore: a signal ended the run after the write, before its verify\n"
    " 12  restore --stop-on-failure: not run, as a sensor before it failed or a signal came\n";

// One signal ends every port's work: the frame waits watch this flag, the loops test it between
// exchanges.
static_assert(sizeof(std::sig_atomic_t) == sizeof(int), "the waits watch an int");
volatile std::sig_atomic_t keepWaiting = 1;

// How long a first connection to the broker may take before a finished run reports it.
constexpr double TELEMETRY_SETTLE_SECONDS = 3.0;

// The run's state: the jobs on the ports' threads read the options and their own plan, and
// fill their own result.
struct PlantRun {
    const PortCommand *command;
    void *state; // the command's own
    PlantOptions options;
    PortPlan plans[PLANT_MAX_PORTS];
    PortResult results[PLANT_MAX_PORTS];
};

void StopOnSignal(int) {
    keepWaiting = 0;
}

// SIGINT and SIGTERM end every port's work at its next poll, each with its files whole.
void HandleStopSignals(void) {
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = StopOnSignal;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

CommandLineForm FormOf(const PortCommand &command, const char *program) {
    CommandLineForm form;
    form.program = std::string(program) + " " + command.name;
    form.description = command.summary;
    form.options = {{"p,port", "PORT",
                     "The sensor's serial port: a device path, COMn or n. Give it again for more "
                     "sensors."},
                    {"line", "FILE",
                     "The line file: every sensor of the line, with its name, port and approved "
                     "parameter file, in place of --port."},
                    {"sensor", "NAME", "With --line: only this sensor (give it again for more)."},
                    {"json", nullptr, "One JSON line per port."}};
    form.options.insert(form.options.end(), command.options.begin(), command.options.end());
    for (const OptionForm &option : TelemetryOptions())
        form.options.push_back(option);
    form.options.push_back({"mqtt-required", nullptr,
                            "Fails the run (exit code 7) when the broker was not reached or "
                            "refused the connection."});
    form.positionalName = command.positionalName;
    form.positionalHelp = command.positionalHelp;
    form.epilogue = exitCodes;
    return form;
}

bool TakeOptions(const PortCommand &command, const ParsedCommandLine &parsed, PlantOptions *options,
                 std::string *why) {
    const TelemetryConfig remembered = options->telemetry;
    if (!TakePorts(parsed, options, why))
        return false;
    if (command.positionalName == nullptr && !parsed.positional.empty()) {
        *why = "unexpected argument '" + parsed.positional[0] + "'";
        return false;
    }
    if (command.takeOptions && !command.takeOptions(parsed, options, why))
        return false;
    options->telemetryRequired = parsed.isSet("mqtt-required");
    bool given = false;
    if (!ApplyTelemetryOptions(parsed, &options->telemetry, &given, why))
        return false;
    NoteTelemetryOrigin(options, remembered, parsed.isSet("mqtt-host"));
    return true;
}

// With several ports each gets a file of its own: "out.csv" becomes "out-infeed.csv".
bool PortFilePath(const PlantOptions &options, const char *path, const char *name, char *target,
                  int size) {
    char absolute[FILE_PATH_LEN];
    if (!AbsolutePath(path, absolute, sizeof absolute))
        return false;
    if (options.portCount == 1 || absolute[0] == '\0')
        return std::snprintf(target, (size_t)size, "%s", absolute) < size;
    const char *slash = std::strrchr(absolute, '/');
    const char *dot = std::strrchr(absolute, '.');
    const int stem = dot && dot > slash + 1 ? (int)(dot - absolute) : (int)std::strlen(absolute);
    return std::snprintf(target, (size_t)size, "%.*s-%s%s", stem, absolute, name, absolute + stem) <
           size;
}

bool PlanPort(PlantRun *run, int index, std::string *why) {
    const PlantOptions &options = run->options;
    PortPlan *plan = &run->plans[index];
    plan->number = PortNumberOfText(options.port[index]);
    if (plan->number <= 0) {
        *why = std::string("'") + options.port[index] + "' is no serial port";
        return false;
    }
    for (int earlier = 0; earlier < index; earlier++) {
        if (run->plans[earlier].number == plan->number) {
            *why = std::string("'") + options.port[index] + "' is given twice";
            return false;
        }
    }
    FormatPortLabel(plan->label, sizeof plan->label, plan->number);
    ComPortDevice(plan->number, plan->device, sizeof plan->device);
    // A line names its sensors; else the device does, whatever the order of the ports.
    const std::string name = SensorNameFor(plan->device, options.sensorName[index]);
    if (!CopyWhole(name, plan->name, sizeof plan->name)) {
        *why = "the sensor name '" + name + "' does not fit";
        return false;
    }
    for (int earlier = 0; earlier < index; earlier++)
        if (std::strcmp(run->plans[earlier].name, plan->name) == 0) {
            *why = std::string("two sensors would be named '") + plan->name + "'";
            return false;
        }
    CopyWhole(std::string(options.approved[index]), plan->approved, sizeof plan->approved);
    if (!PortFilePath(options, options.output, plan->name, plan->output, sizeof plan->output) ||
        !PortFilePath(options, options.backup, plan->name, plan->backup, sizeof plan->backup)) {
        *why = "a file name is too long";
        return false;
    }
    BeginResult(&run->results[index], plan->label, plan->name, plan->device);
    // Until its job runs, a port has not succeeded.
    SetResult(&run->results[index], PLANT_EXIT_SENSOR, "FAILED", "its thread did not start");
    return true;
}

// A failure before any port opened, reported by every port.
void FailEveryPort(PlantRun *run, const PortResult &failure) {
    for (int i = 0; i < run->options.portCount; i++)
        SetResult(&run->results[i], failure.exitCode, failure.status, "%s", failure.message);
}

// One client id per process, from the line's name or else the host's, never from a port: two
// processes, on one line or not, never share an identity on the broker.
void NameTheClient(PlantOptions *options) {
    TelemetryConfig *config = &options->telemetry;
    if (config->clientId[0])
        return;
    char host[TELEMETRY_TEXT_LEN] = "";
    if (options->lineName[0] == '\0' && gethostname(host, sizeof host - 1) != 0)
        std::snprintf(host, sizeof host, "host");
    for (char *c = host; *c; c++)
        if (*c == '/' || *c == '+' || *c == '#')
            *c = '_';
    std::snprintf(config->clientId, sizeof config->clientId, "nvmxv451-%.64s-%ld",
                  options->lineName[0] ? options->lineName : host, (long)getpid());
}

// One broker connection for every sensor of the run.
bool StartRunTelemetry(PlantRun *run) {
    const char *sensors[PLANT_MAX_PORTS];
    for (int i = 0; i < run->options.portCount; i++)
        sensors[i] = run->plans[i].name;
    NameTheClient(&run->options);
    // The payloads' "port" is the sensor's name: a COM number handed to a device path here
    // follows the command line and names nothing.
    if (StartTelemetrySensors(&run->options.telemetry, sensors, run->options.portCount) == 0)
        return true;
    PortResult failure{};
    SetResult(&failure, PLANT_EXIT_TELEMETRY, "MQTT NOT STARTED", "%s", LastTelemetryError());
    FailEveryPort(run, failure);
    return false;
}

void RunOnePort(int index, void *context) {
    PlantRun *run = static_cast<PlantRun *>(context);
    SensorJob job{};
    job.options = &run->options;
    job.plan = &run->plans[index];
    job.sensor = index;
    job.state = run->state;
    job.result = &run->results[index];
    BeginResult(job.result, job.plan->label, job.plan->name, job.plan->device);
    BeginJobSession(&job);
    if (run->command->opensItself)
        run->command->runOnPort(&job);
    else if (OpenAndCheckLine(&job) && run->command->runOnPort)
        run->command->runOnPort(&job);
    CloseCom(job.plan->number);
}

// --stop-on-failure: the sensors one after another, in the order given; after the first that
// fails the others are left alone.
void RunOneAfterAnother(PlantRun *run) {
    const PortResult *failed = nullptr;
    for (int i = 0; i < run->options.portCount; i++) {
        if (failed || StopRequested()) {
            SetResult(&run->results[i], PLANT_EXIT_NOT_RUN, "NOT RUN", "%s%s",
                      failed ? "stopped after the failure of " : "stopped by a signal",
                      failed ? failed->sensor : "");
            continue;
        }
        RunOnePort(i, run);
        if (run->results[i].exitCode != PLANT_EXIT_OK)
            failed = &run->results[i];
    }
}

// The broker's state once the work is done; a first connection still on its way gets a few
// seconds, so that a short command learns whether the broker took it.
int SettledTelemetryState(char *text, int size) {
    const double deadline = MonotonicSeconds() + TELEMETRY_SETTLE_SECONDS;
    int state = GetTelemetryState(text, size);
    while (state == TELEMETRY_CONNECTING && MonotonicSeconds() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        state = GetTelemetryState(text, size);
    }
    return state;
}

// A broker that was not reached, refused the connection or was lost is told on standard error
// and in every port's JSON ("telemetry"); with --mqtt-required it fails the ports that
// succeeded.
void ReportTelemetryTrouble(PlantRun *run) {
    if (run->options.telemetry.host[0] == '\0')
        return;
    char text[TELEMETRY_TEXT_LEN * 3];
    const int state = SettledTelemetryState(text, sizeof text);
    // Waiting: no sensor had anything to tell, so the broker was never asked.
    if (state == TELEMETRY_CONNECTED || state == TELEMETRY_WAITING)
        return;
    // The client's plan to try again ends with this run.
    if (char *retry = std::strstr(text, ", retry in"))
        *retry = '\0';
    const std::string what =
        std::string(state == TELEMETRY_REFUSED ? "refused: " : "not connected: ") + text;
    std::fprintf(stderr, "nvmxv451 %s: %s\n", run->command->name, what.c_str());
    const std::string json = DumpJson(what);
    for (int i = 0; i < run->options.portCount; i++) {
        PortResult *result = &run->results[i];
        AddResultField(result, "telemetry", json);
        if (run->options.telemetryRequired && result->exitCode == PLANT_EXIT_OK)
            SetResult(result, PLANT_EXIT_TELEMETRY, "MQTT NOT CONNECTED", "%s", what.c_str());
    }
}

void RunEveryPort(PlantRun *run) {
    PortResult failure{};
    if (run->command->prepare && !run->command->prepare(&run->options, &failure, run->state)) {
        FailEveryPort(run, failure);
        return;
    }
    TellTelemetryTarget(run->command->name, run->options);
    LineControl control;
    if (!run->command->opensItself)
        LendServedSensors(run->command->name, run->options, &control);
    if (!StartRunTelemetry(run))
        return;
    if (run->options.stopOnFailure)
        RunOneAfterAnother(run);
    else if (RunOnPortThreads(run->options.portCount, RunOnePort, run) != 0)
        std::fprintf(stderr, "%s: a port's thread did not start\n", run->command->name);
    if (run->command->finish)
        run->command->finish(&run->options, run->plans, run->results, run->state);
    ReportTelemetryTrouble(run);
    StopTelemetry();
}

// get without -o prints the block itself on standard output, in the file's form, and leaves
// the report line to standard error.
bool PrintsBlock(const PlantOptions &options, const PortResult &result) {
    return !options.json && options.output[0] == '\0' && result.hasBlock;
}

// What the command set out to find, success or differences: the report on standard output.
// Failures go to standard error.
bool IsFinding(const PortResult &result) {
    return result.exitCode == PLANT_EXIT_OK || result.exitCode == PLANT_EXIT_DIFFERS;
}

int Report(const PlantRun &run) {
    int exitCode = PLANT_EXIT_OK;
    for (int i = 0; i < run.options.portCount; i++) {
        const PortResult &result = run.results[i];
        if (run.options.json) {
            PrintResultJson(stdout, run.command->name, &result);
        } else if (PrintsBlock(run.options, result)) {
            char text[BLOCK_LENGTH * 8];
            if (FormatParameterText(result.block, text, sizeof text) > 0)
                std::fputs(text, stdout);
            PrintResultLine(stderr, &result);
        } else {
            PrintResultLine(IsFinding(result) ? stdout : stderr, &result);
        }
        if (exitCode == PLANT_EXIT_OK)
            exitCode = result.exitCode;
    }
    return exitCode;
}

} // namespace

bool CopyPathOption(const std::string &value, const char *option, char *target, std::string *why) {
    if (CopyWhole(value, target, FILE_PATH_LEN))
        return true;
    *why = std::string(option) + " is too long (at most " + std::to_string(FILE_PATH_LEN - 1) +
           " bytes)";
    return false;
}

bool CopyAbsolutePathOption(const std::string &value, const char *option, char *target,
                            std::string *why) {
    char given[FILE_PATH_LEN];
    if (!CopyPathOption(value, option, given, why))
        return false;
    if (AbsolutePath(given, target, FILE_PATH_LEN))
        return true;
    *why = std::string(option) + " is too long once made absolute";
    return false;
}

bool ParseMemoryOption(const ParsedCommandLine &parsed, const char *option, PlantOptions *options,
                       std::string *why) {
    const std::string value = parsed.value(option);
    if (strcasecmp(value.c_str(), "ram") == 0)
        options->memory = MEMORY_RAM;
    else if (strcasecmp(value.c_str(), "eeprom") == 0)
        options->memory = MEMORY_EEPROM;
    else {
        *why = std::string("--") + option + " wants ram or eeprom";
        return false;
    }
    return true;
}

bool StopRequested(void) {
    return keepWaiting == 0;
}

const volatile int *KeepWaiting(void) {
    return &keepWaiting;
}

int RunPortCommand(const PortCommand &command, int argc, char **argv, void *state) {
    // Every port's plan, result and 1 KiB receive buffer: on the heap, not on the stack.
    auto run = std::make_unique<PlantRun>();
    run->command = &command;
    run->state = state;
    LoadTelemetrySettings(&run->options.telemetry);
    const CommandLineForm form = FormOf(command, argc > 0 ? argv[0] : "nvmxv451");
    ParsedCommandLine parsed;
    const int parsedCode = ParseOptions(form, argc, argv, 2, &parsed);
    if (parsedCode != COMMAND_LINE_RUN)
        return parsedCode;
    std::string why;
    if (!TakeOptions(command, parsed, &run->options, &why))
        return UsageError(form.program, why);
    for (int i = 0; i < run->options.portCount; i++)
        if (!PlanPort(run.get(), i, &why)) {
            std::fprintf(stderr, "nvmxv451 %s: %s\n", command.name, why.c_str());
            return PLANT_EXIT_USAGE;
        }
    HandleStopSignals();
    StartHeadlessProcess(argc, argv);
    RunEveryPort(run.get());
    return Report(*run);
}
