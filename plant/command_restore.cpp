// restore: the line's approved files (or a snapshot's files) back into the sensors' EEPROM and
// RAM: per sensor and memory a backup read and kept in a file, the write and the verify; a failed
// verify puts the backup back and verifies that. Every write goes to the change log ahead of it.
#include "changes/changelog.h"
#include "com232/parameterfile.h"
#include "files/regularfile.h"
#include "plant/linecompare.h"
#include "plant/sensorjob.h"
#include "textforms/dumpjson.h"
#include "textforms/timestamp.h"

#include <algorithm>
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

// "eeprom", "ram": the memory's key in the result's JSON.
std::string MemoryKey(int memory) {
    return memory == MEMORY_EEPROM ? "eeprom" : "ram";
}

// The block the sensor held, kept as a .dat file before anything is written, so that a run
// killed during the write leaves it behind: <data folder>/backups/<sensor>-<memory>-<time>.dat.
// The path goes into the report ("backup"). False, with the report saying why, when it cannot.
bool KeepBackup(SensorJob *job, int memory, const unsigned char *backup, std::string *path) {
    char time[TIME_STAMP_LEN];
    FormatTimeStampNow(time, sizeof time);
    std::string stamp = time;
    stamp.erase(std::remove(stamp.begin(), stamp.end(), ':'), stamp.end());
    *path = UserDataFolder() + "/backups/" + job->plan->name + "-" + MemoryName(memory) + "-" +
            stamp + ".dat";
    MakeFoldersAbove(*path);
    if (WriteParameterFile(path->c_str(), backup) != 0) {
        SetResult(job->result, PLANT_EXIT_FILE, "NOT RESTORED",
                  "the backup could not be kept, so nothing was written: %s",
                  LastParameterFileError());
        return false;
    }
    AddResultField(job->result, (MemoryKey(memory) + "_backup").c_str(), DumpJson(*path));
    AddResultDetail(job->result, std::string("  ") + MemoryName(memory) + " backup: " + *path);
    return true;
}

// The backup back into the sensor after a failed verify, and that verified.
void RollBack(SensorJob *job, int memory, const unsigned char *backup, const std::string &path,
              const std::string &failure) {
    unsigned char held[BLOCK_LENGTH]; // what the failed verify read
    std::memcpy(held, job->block, BLOCK_LENGTH);
    SessionWrite write;
    write.source = path;
    write.before = held;
    write.verify = true;
    const int outcome = WriteBlock(job, memory, backup, write);
    if (outcome == WRITE_FAILED) {
        SetResult(job->result, job->result->exitCode, "ROLLBACK FAILED",
                  "verify %s; putting the backup back failed: %s", failure.c_str(),
                  job->result->message);
        return;
    }
    const std::string verify = WriteOutcomeText(&job->session, outcome, backup, job->block);
    if (outcome == WRITE_VERIFIED)
        SetResult(job->result, PLANT_EXIT_ROLLED_BACK, "ROLLED BACK",
                  "verify %s; the backup was put back and verified", failure.c_str());
    else
        SetResult(job->result, PLANT_EXIT_VERIFY, "ROLLBACK FAILED",
                  "verify %s; the backup was put back, but its verify %s", failure.c_str(),
                  verify.c_str());
}

// One memory of the sensor brought to its target block; the result tells how it ended.
void RestoreMemory(SensorJob *job, int memory) {
    PortResult *result = job->result;
    unsigned char target[BLOCK_LENGTH], backup[BLOCK_LENGTH];
    std::string source, backupPath;
    if (!ReadTargetBlock(job, memory, target, &source) || !ReadBlock(job, memory))
        return;
    std::memcpy(backup, job->block, BLOCK_LENGTH);
    const std::string what = std::string("the sensor's ") + MemoryName(memory) + " -> " + source;
    const size_t count = AddDifferences(result, (MemoryKey(memory) + "_differences").c_str(),
                                        what.c_str(), backup, target);
    if (count == 0) {
        SetResult(result, PLANT_EXIT_OK, "IN STEP", "holds %s already; nothing written",
                  source.c_str());
        return;
    }
    if (job->options->dryRun) {
        SetResult(result, PLANT_EXIT_OK, "WOULD RESTORE", "%s from %s; nothing written",
                  DifferenceCount(count).c_str(), source.c_str());
        return;
    }
    if (!KeepBackup(job, memory, backup, &backupPath))
        return;
    SessionWrite write;
    write.source = source;
    write.backup = backupPath;
    write.verify = true;
    const int outcome = WriteBlock(job, memory, target, write);
    if (outcome == WRITE_VERIFIED)
        SetResult(result, PLANT_EXIT_OK, "RESTORED", "from %s, %s, verified", source.c_str(),
                  DifferenceCount(count).c_str());
    else if (outcome == WRITE_DIFFERS)
        RollBack(job, memory, backup, backupPath,
                 WriteOutcomeText(&job->session, outcome, target, job->block));
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
