// send: a parameter file to the sensor's RAM or EEPROM, with a backup read first and a verify
// after, when asked for.
#include "com232/exchanges.h"
#include "com232/parameterfile.h"
#include "plant/portcommand.h"
#include "plant/sensorjob.h"
#include "platform/serial/rs232.h"

#include <cstdio>
#include <cstring>

namespace {

enum { NAME_LEN = 64 };

bool TakeSendOptions(const ParsedCommandLine &parsed, PlantOptions *options, std::string *why) {
    if (parsed.positional.size() != 1) {
        *why = "send wants one parameter file";
        return false;
    }
    options->verify = parsed.isSet("verify");
    return ParseMemoryOption(parsed, "to", options, why) &&
           CopyPathOption(parsed.positional[0], "the file", options->file, why) &&
           CopyPathOption(parsed.value("backup"), "--backup", options->backup, why);
}

// A bad file is refused before any port opens, with the panel's words. The file is named by
// its absolute path from here on, as the change log keeps it.
bool ReadSendFile(PlantOptions *options, PortResult *failure, void *) {
    char path[FILE_PATH_LEN];
    if (AbsolutePath(options->file, path, sizeof path) &&
        ReadParameterFile(path, options->sendBlock) == 0) {
        std::memcpy(options->file, path, sizeof path);
        return true;
    }
    SetResult(failure, PLANT_EXIT_FILE, parameterFileNotLoaded, "%s",
              LastParameterFileError()[0] ? LastParameterFileError() : "the path is too long");
    return false;
}

// The verify's result: the first byte that differs, named.
void ReportDifference(SensorJob *job, const unsigned char *sent) {
    const int memory = job->options->memory;
    for (int offset = 0; offset < BLOCK_LENGTH; offset++) {
        if (job->block[offset] == sent[offset])
            continue;
        char name[NAME_LEN];
        DescribeBlockOffset(offset, name, sizeof name);
        SetResult(job->result, PLANT_EXIT_VERIFY, "VERIFY FAILED",
                  "first difference at byte %d (%s): sent %u, the sensor's %s holds %u", offset,
                  name, sent[offset], MemoryName(memory), job->block[offset]);
        return;
    }
}

void SendOnPort(SensorJob *job) {
    const PortPlan *plan = job->plan;
    PortResult *result = job->result;
    const int memory = job->options->memory;
    const unsigned char *block = job->options->sendBlock;
    if (plan->backup[0]) {
        if (!ReadBlock(job, memory) ||
            !WriteBlockFile(job, plan->backup, "nothing was sent: the backup"))
            return;
        std::snprintf(result->file, sizeof result->file, "%s", plan->backup);
    }
    // The backup's read, when there was one, tells the change log what the write changes.
    SessionWrite write;
    write.source = job->options->file;
    write.backup = plan->backup;
    write.verify = job->options->verify;
    const int outcome = WriteBlock(job, memory, block, write);
    if (outcome == WRITE_DIFFERS)
        ReportDifference(job, block);
    else if (outcome != WRITE_FAILED)
        SetResult(result, PLANT_EXIT_OK, "LINE OK", "%s sent to %s%s", job->options->file,
                  MemoryName(memory), outcome == WRITE_VERIFIED ? " and verified" : "");
}

} // namespace

int RunSendCommand(int argc, char **argv) {
    static const PortCommand send = {
        .name = "send",
        .summary = "Sends a .dat parameter file to the sensor's RAM or EEPROM. A bad file is "
                   "refused before anything reaches the line.",
        .options = {{"to", "MEMORY", "ram or eeprom."},
                    {"verify", nullptr, "Reads the block back and compares it byte for byte."},
                    {"backup", "FILE",
                     "Reads the sensor's block from the same memory into FILE.dat first; nothing "
                     "is sent when that fails."}},
        .positionalName = "FILE.dat",
        .positionalHelp = "The parameter file to send.",
        .takeOptions = TakeSendOptions,
        .prepare = ReadSendFile,
        .runOnPort = SendOnPort,
    };
    return RunPortCommand(send, argc, argv);
}
