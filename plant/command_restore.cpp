// restore: the line's approved files (or a snapshot's files) back into the sensors: per sensor a
// backup read and kept in a file, the write and the verify; a failed verify puts the backup back
// and verifies that. Every write goes to the change log.
#include "changes/changelog.h"
#include "com232/parameterfile.h"
#include "files/regularfile.h"
#include "plant/linecompare.h"
#include "plant/sensorjob.h"
#include "textforms/json.h"
#include "textforms/timestamp.h"

#include <algorithm>
#include <cstring>

namespace {

bool TakeRestoreOptions(const ParsedCommandLine &parsed, PlantOptions *options, std::string *why) {
    options->memory = MEMORY_EEPROM;
    options->dryRun = parsed.isSet("dry-run");
    options->stopOnFailure = parsed.isSet("stop-on-failure");
    if (parsed.isSet("to") && !ParseMemoryOption(parsed, "to", options, why))
        return false;
    if (!CopyPathOption(parsed.value("snapshot"), "--snapshot", options->snapshot, why))
        return false;
    if (!options->lineFile[0] && !options->snapshot[0]) {
        *why = "restore wants a --line file (its approved files) or --snapshot DIR";
        return false;
    }
    return true;
}

// What the verify found, for the report and the log: "verified", or the first difference.
std::string VerifyText(int outcome, const unsigned char *sent, const unsigned char *held) {
    if (outcome == WRITE_VERIFIED)
        return "verified";
    return "failed: " + DescribeDifferences(DiffBlocks(sent, held), 3) + " (sent -> held)";
}

// The block the sensor held, kept as a .dat file before anything is written, so that a run
// killed during the write leaves it behind: <data folder>/backups/<sensor>-<memory>-<time>.dat.
// The path goes into the report ("backup"). False, with the report saying why, when it cannot.
bool KeepBackup(SensorJob *job, const unsigned char *backup) {
    char time[TIME_STAMP_LEN];
    FormatTimeStampNow(time, sizeof time);
    std::string stamp = time;
    stamp.erase(std::remove(stamp.begin(), stamp.end(), ':'), stamp.end());
    const std::string path = UserDataFolder() + "/backups/" + job->plan->name + "-" +
                             MemoryName(job->options->memory) + "-" + stamp + ".dat";
    MakeFoldersAbove(path);
    if (WriteParameterFile(path.c_str(), backup) != 0) {
        SetResult(job->result, PLANT_EXIT_FILE, "NOT RESTORED",
                  "the backup could not be kept, so nothing was written: %s",
                  LastParameterFileError());
        return false;
    }
    AddResultField(job->result, "backup", JsonString(path));
    AddResultDetail(job->result, "  backup: " + path);
    return true;
}

// The backup back into the sensor after a failed verify, and that verified.
void RollBack(SensorJob *job, const unsigned char *backup, const std::string &failure) {
    const int memory = job->options->memory;
    unsigned char held[BLOCK_LENGTH]; // what the failed verify read
    std::memcpy(held, job->block, BLOCK_LENGTH);
    const int outcome = WriteBlock(job, memory, backup, true);
    if (outcome == WRITE_FAILED) {
        LogSensorWrite(job, memory, held, backup, "backup", job->result->message);
        SetResult(job->result, job->result->exitCode, "ROLLBACK FAILED",
                  "verify %s; putting the backup back failed: %s", failure.c_str(),
                  job->result->message);
        return;
    }
    const std::string verify = VerifyText(outcome, backup, job->block);
    LogSensorWrite(job, memory, held, backup, "backup", verify.c_str());
    if (outcome == WRITE_VERIFIED)
        SetResult(job->result, PLANT_EXIT_ROLLED_BACK, "ROLLED BACK",
                  "verify %s; the backup was put back and verified", failure.c_str());
    else
        SetResult(job->result, PLANT_EXIT_VERIFY, "ROLLBACK FAILED",
                  "verify %s; the backup was put back, but its verify %s", failure.c_str(),
                  verify.c_str());
}

void RestoreOnPort(SensorJob *job) {
    PortResult *result = job->result;
    const int memory = job->options->memory;
    unsigned char target[BLOCK_LENGTH], backup[BLOCK_LENGTH];
    std::string source;
    if (!ReadTargetBlock(job, memory, target, &source) || !ReadBlock(job, memory))
        return;
    std::memcpy(backup, job->block, BLOCK_LENGTH);
    const size_t count = AddDifferences(result, "differences",
                                        "the sensor's block -> the restored one", backup, target);
    AddResultField(result, "dry_run", job->options->dryRun ? "true" : "false");
    if (count == 0) {
        SetResult(result, PLANT_EXIT_OK, "IN STEP", "the %s holds %s already; nothing written",
                  MemoryName(memory), source.c_str());
        return;
    }
    if (job->options->dryRun) {
        SetResult(result, PLANT_EXIT_OK, "WOULD RESTORE",
                  "%zu differences from %s; nothing written", count, source.c_str());
        return;
    }
    if (!KeepBackup(job, backup))
        return;
    const int outcome = WriteBlock(job, memory, target, true);
    const std::string verify = outcome == WRITE_FAILED ? std::string(result->message)
                                                       : VerifyText(outcome, target, job->block);
    LogSensorWrite(job, memory, backup, target, source.c_str(), verify.c_str());
    if (outcome == WRITE_VERIFIED)
        SetResult(result, PLANT_EXIT_OK, "RESTORED", "%s into %s, %zu differences, verified",
                  source.c_str(), MemoryName(memory), count);
    else if (outcome == WRITE_DIFFERS)
        RollBack(job, backup, verify);
}

} // namespace

int RunRestoreCommand(int argc, char **argv) {
    static const PortCommand command = {
        .name = "restore",
        .summary = "Writes each sensor's approved file (--line) or its file of a snapshot "
                   "(--snapshot DIR) into its EEPROM (or RAM): the block it holds is read first "
                   "and kept as the backup (a .dat file in the user's data folder), then the "
                   "write, then the verify; when the verify fails the "
                   "backup is put back and verified. Exit code 10: rolled back. Every write goes "
                   "to the change log.",
        .options = {{"to", "MEMORY", "eeprom (default) or ram."},
                    {"snapshot", "DIR", "Restores the snapshot's files instead of the approved."},
                    {"dry-run", nullptr, "Shows what would change; writes nothing."},
                    {"stop-on-failure", nullptr,
                     "One sensor after another; the first that fails ends the rollout."}},
        .takeOptions = TakeRestoreOptions,
        .runOnPort = RestoreOnPort,
    };
    return RunPortCommand(command, argc, argv);
}
