// restore: the line's approved files (or a snapshot's files) back into the sensors' EEPROM and
// RAM: per sensor and memory a backup read and kept in a file, the write and the verify; a failed
// verify puts the backup back and verifies that. Every write goes to the change log ahead of it.
#include "plant/restorememory.h"
#include "plant/sensorjob.h"
#include "textforms/dumpjson.h"

#include <cstring>
#include <vector>

namespace {

enum { BOTH_MEMORIES = -1 };

bool TakeRestoreOptions(const ParsedCommandLine &parsed, PlantOptions *options, std::string *why) {
    options->memory = BOTH_MEMORIES;
    options->dryRun = parsed.isSet("dry-run");
    options->stopOnFailure = parsed.isSet("stop-on-failure");
    options->force = parsed.isSet("force");
    options->checkOrigin = 1;
    if (parsed.isSet("to") && !ParseMemoryOption(parsed, "to", options, why))
        return false;
    if (!CopyAbsolutePathOption(parsed.value("snapshot"), "--snapshot", options->snapshot, why))
        return false;
    if (!options->lineFile[0] && !options->snapshot[0]) {
        *why = "restore wants a --line file (its approved files) or --snapshot DIR";
        return false;
    }
    return true;
}

// How far a memory's outcome went, for the sensor's status: the furthest one is told.
int Reach(const char *status) {
    const char *order[] = {"IN STEP", "WOULD RESTORE", "RESTORED"};
    for (int i = 0; i < 3; i++)
        if (std::strcmp(status, order[i]) == 0)
            return i;
    return 0;
}

// EEPROM first, then RAM (or the one --to names), each told on its own; the first that fails
// ends the sensor's restore, so a RAM is never brought to a set its EEPROM would not take.
void RestoreOnPort(SensorJob *job) {
    PortResult *result = job->result;
    AddResultField(result, "dry_run", job->options->dryRun ? "true" : "false");
    std::vector<int> memories = {MEMORY_EEPROM, MEMORY_RAM};
    if (job->options->memory != BOTH_MEMORIES)
        memories = {job->options->memory};
    std::string summary, status = "IN STEP";
    for (int memory : memories) {
        RestoreMemory(job, memory);
        AddResultField(result, MemoryKey(memory).c_str(),
                       DumpJson({{"status", result->status}, {"message", result->message}}));
        summary += (summary.empty() ? "" : "; ") + std::string(MemoryName(memory)) + " " +
                   result->status + ": " + result->message;
        if (result->exitCode != PLANT_EXIT_OK) {
            // The failure is the sensor's status, told after what went before it.
            const std::string failed = result->status;
            SetResult(result, result->exitCode, failed.c_str(), "%s", summary.c_str());
            return;
        }
        if (Reach(result->status) > Reach(status.c_str()))
            status = result->status;
    }
    SetResult(result, PLANT_EXIT_OK, status.c_str(), "%s", summary.c_str());
}

} // namespace

int RunRestoreCommand(int argc, char **argv) {
    static const PortCommand command = {
        .name = "restore",
        .summary = "Brings each sensor's EEPROM and RAM to its approved file (--line) or to its "
                   "files of a snapshot (--snapshot DIR), EEPROM first: per memory the block it "
                   "holds is read and kept as the backup (a .dat file in the user's data "
                   "folder), then the write, then the verify; when the verify fails the backup "
                   "is put back and verified. A snapshot must be whole (its manifest and every "
                   "checksum) and of the line, or without --line of the device. Exit code 10: "
                   "rolled back. Every write goes to the change log before it is made.",
        .options = {{"to", "MEMORY", "Only this memory: eeprom or ram (default both)."},
                    {"snapshot", "DIR", "Restores the snapshot's files instead of the approved."},
                    {"force", nullptr,
                     "Takes a snapshot of another line or device (never one whose checksum "
                     "fails)."},
                    {"dry-run", nullptr, "Shows what would change; writes nothing."},
                    {"stop-on-failure", nullptr,
                     "One sensor after another; the first that fails ends the rollout."}},
        .takeOptions = TakeRestoreOptions,
        .runOnPort = RestoreOnPort,
    };
    return RunPortCommand(command, argc, argv);
}
