// One memory of a sensor brought to its target block (the line's approved file, or a snapshot's
// file): the block it holds read and kept as a backup file, the write logged ahead of it and
// verified, and on a failed verify the backup put back and verified. restore and the line
// service's replacement work alike.
#include "plant/restorememory.h"

#include "changes/changelog.h"
#include "com232/parameterfile.h"
#include "files/regularfile.h"
#include "plant/linecompare.h"
#include "plant/sensorjob.h"
#include "textforms/dumpjson.h"
#include "textforms/timestamp.h"

#include <algorithm>
#include <cstring>

namespace {

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

} // namespace

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

std::string MemoryKey(int memory) {
    return memory == MEMORY_EEPROM ? "eeprom" : "ram";
}
