// get: the sensor's parameter block from RAM or EEPROM, into a file or onto standard output.
#include "com232/parameterfile.h"
#include "plant/portcommand.h"
#include "plant/sensorjob.h"

#include <cstdio>
#include <cstring>
#include <sys/stat.h>

namespace {

bool TakeGetOptions(const ParsedCommandLine &parsed, PlantOptions *options, std::string *why) {
    if (!ParseMemoryOption(parsed, "from", options, why) ||
        !CopyPathOption(parsed.value("output"), "-o", options->output, why))
        return false;
    options->force = parsed.isSet("force");
    if (options->portCount > 1 && options->output[0] == '\0' && !options->json) {
        *why = "several ports want -o FILE.dat (or --json)";
        return false;
    }
    return true;
}

// As record never writes over a file, get replaces one only when told to.
bool MayWrite(SensorJob *job, const char *path) {
    struct stat existing {};
    if (job->options->force || lstat(path, &existing) != 0)
        return true;
    SetResult(job->result, PLANT_EXIT_FILE, parameterFileNotSaved,
              "%s exists already; --force replaces it", path);
    return false;
}

void GetOnPort(SensorJob *job) {
    const PortPlan *plan = job->plan;
    PortResult *result = job->result;
    const int memory = job->options->memory;
    if ((plan->output[0] && !MayWrite(job, plan->output)) || !ReadBlock(job, memory))
        return;
    std::memcpy(result->block, job->block, BLOCK_LENGTH);
    result->hasBlock = 1;
    if (plan->output[0] && !WriteBlockFile(job, plan->output, "the block was read, but"))
        return;
    std::snprintf(result->file, sizeof result->file, "%s", plan->output);
    SetResult(result, PLANT_EXIT_OK, "LINE OK", "%s block read%s%s", MemoryName(memory),
              plan->output[0] ? " into " : "", plan->output);
}

} // namespace

int RunGetCommand(int argc, char **argv) {
    static const PortCommand get = {
        .name = "get",
        .summary = "Reads the sensor's 84-byte parameter block from RAM or EEPROM into a .dat "
                   "parameter file (written whole or not at all), or prints it.",
        .options = {{"from", "MEMORY", "ram or eeprom."},
                    {"o,output", "FILE",
                     "Writes the block to FILE.dat (several sensors: the sensor's name is added, "
                     "FILE-<sensor>.dat)."},
                    {"force", nullptr, "Replaces an existing -o file."}},
        .takeOptions = TakeGetOptions,
        .runOnPort = GetOnPort,
    };
    return RunPortCommand(get, argc, argv);
}
