// The headless commands: options, the ports' plans, the jobs, the report.
#include "plant/plant.h"

#include "nvmxv451_version.h"

#include "com232/parameterfile.h"
#include "plant/fanout.h"
#include "plant/portjobs.h"
#include "platform/serial/rs232.h"
#include "platform/system/plantcommandline.h"
#include "platform/system/settings.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

static const char *const commandNames[] = {"", "check", "get", "send", "record"};

// The run's state, shared with the jobs that run in the children.
static PlantOptions options;
static PortPlan plans[PLANT_MAX_PORTS];
static PortResult results[PLANT_MAX_PORTS];
static unsigned char sendBlock[BLOCK_LENGTH];

int IsPlantCommandLine(int argc, char **argv) {
    return argc > 1 && IsPlantCommand(argv[1]);
}

// A path as the user meant it: relative to the working directory, not to the program's.
static bool AbsolutePath(const char *path, char *absolute, int size) {
    if (path[0] == '/' || path[0] == '\0')
        return std::snprintf(absolute, (size_t)size, "%s", path) < size;
    char here[MAX_PATHNAME_LEN];
    if (getcwd(here, sizeof here) == nullptr)
        return false;
    return std::snprintf(absolute, (size_t)size, "%s/%s", here, path) < size;
}

// With several ports each gets a file of its own: "out.csv" becomes "out-COM3.csv".
static bool PortFilePath(const char *path, const char *label, char *target, int size) {
    char absolute[MAX_PATHNAME_LEN];
    if (!AbsolutePath(path, absolute, sizeof absolute))
        return false;
    if (options.portCount == 1 || absolute[0] == '\0')
        return std::snprintf(target, (size_t)size, "%s", absolute) < size;
    const char *slash = std::strrchr(absolute, '/');
    const char *dot = std::strrchr(absolute, '.');
    const int stem = dot && dot > slash + 1 ? (int)(dot - absolute) : (int)std::strlen(absolute);
    return std::snprintf(target, (size_t)size, "%.*s-%s%s", stem, absolute, label,
                         absolute + stem) < size;
}

// The COM number of a --port value: COMn, n, or a device path (given a free number).
static int PortNumberOf(const char *port) {
    int number = ComNumberOf(port);
    if (number > 0)
        return number;
    char *end = nullptr;
    long plain = std::strtol(port, &end, 10);
    if (end != port && *end == '\0')
        return plain >= 1 && plain <= COM_MAX_PORT ? (int)plain : 0;
    return ComPortForDevice(port);
}

static bool PlanPort(int index, char *why, int size) {
    PortPlan *plan = &plans[index];
    plan->number = PortNumberOf(options.port[index]);
    if (plan->number <= 0) {
        std::snprintf(why, (size_t)size, "'%s' is no serial port", options.port[index]);
        return false;
    }
    for (int earlier = 0; earlier < index; earlier++) {
        if (plans[earlier].number == plan->number) {
            std::snprintf(why, (size_t)size, "'%s' is given twice", options.port[index]);
            return false;
        }
    }
    std::snprintf(plan->label, sizeof plan->label, "COM%d", plan->number);
    ComPortDevice(plan->number, plan->device, sizeof plan->device);
    if (!PortFilePath(options.output, plan->label, plan->output, sizeof plan->output) ||
        !PortFilePath(options.backup, plan->label, plan->backup, sizeof plan->backup)) {
        std::snprintf(why, (size_t)size, "a file name is too long");
        return false;
    }
    BeginResult(&results[index], plan->label, plan->device);
    return true;
}

static bool PlanPorts(void) {
    char why[RESULT_TEXT_LEN];
    char folder[MAX_PATHNAME_LEN];
    if (!AbsolutePath(options.folder, folder, sizeof folder)) {
        std::fprintf(stderr, "nvmxv451 record: the folder's name is too long\n");
        return false;
    }
    std::memcpy(options.folder, folder, sizeof folder);
    for (int i = 0; i < options.portCount; i++) {
        if (!PlanPort(i, why, sizeof why)) {
            std::fprintf(stderr, "nvmxv451 %s: %s\n", commandNames[options.command], why);
            return false;
        }
    }
    return true;
}

// send refuses a bad file before any port is opened, with the panel's words.
static bool ReadSendFile(void) {
    char path[MAX_PATHNAME_LEN];
    if (AbsolutePath(options.file, path, sizeof path) && ReadParameterFile(path, sendBlock) == 0)
        return true;
    for (int i = 0; i < options.portCount; i++)
        SetResult(&results[i], PLANT_EXIT_FILE, parameterFileNotLoaded, "%s",
                  LastParameterFileError()[0] ? LastParameterFileError() : "the path is too long");
    return false;
}

static void RunJob(int index, PortResult *result) {
    RunPortJob(&options, &plans[index], sendBlock, result);
}

static void StopOnSignal(int signal) {
    (void)signal;
    StopPortJob();
}

// One port runs in this process; several run at once, each in a process of its own.
static void RunJobs(int argc, char **argv) {
    if (options.portCount > 1) {
        RunJobsAtOnce(options.portCount, RunJob, StopPortJob, results);
        return;
    }
    std::signal(SIGINT, StopOnSignal);
    std::signal(SIGTERM, StopOnSignal);
    InitHeadlessEngine(argc, argv);
    RunJob(0, &results[0]);
}

// get without -o prints the block itself on standard output, in the file's form, and leaves
// the report line to standard error.
static bool PrintsBlock(const PortResult *result) {
    return options.command == PLANT_GET && !options.json && options.output[0] == '\0' &&
           result->hasBlock;
}

static int Report(void) {
    int exitCode = PLANT_EXIT_OK;
    for (int i = 0; i < options.portCount; i++) {
        const PortResult *result = &results[i];
        if (options.json) {
            PrintResultJson(stdout, commandNames[options.command], result);
        } else if (PrintsBlock(result)) {
            char text[BLOCK_LENGTH * 8];
            if (FormatParameterText(result->block, text, sizeof text) > 0)
                std::fputs(text, stdout);
            PrintResultLine(stderr, result);
        } else {
            PrintResultLine(result->exitCode == PLANT_EXIT_OK ? stdout : stderr, result);
        }
        if (exitCode == PLANT_EXIT_OK)
            exitCode = result->exitCode;
    }
    return exitCode;
}

int RunPlantCommand(int argc, char **argv) {
    InitSettings("Quarnet", NVMX_PROGRAM);
    int code = ParsePlantCommandLine(argc, argv, &options);
    if (code != PLANT_RUN)
        return code;
    if (!PlanPorts())
        return PLANT_EXIT_USAGE;
    if (options.command != PLANT_SEND || ReadSendFile())
        RunJobs(argc, argv);
    return Report();
}
