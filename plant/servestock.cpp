// The stock the line service takes of a sensor at each connection: the unit and both memories
// against what it last saw (its state folder), a replacement or a change made elsewhere told,
// logged and handled by the line's policy, and a sensor back from a loan taken as it is.
#include "changes/blockdiff.h"
#include "changes/changelog.h"
#include "com232/parameterfile.h"
#include "plant/restorememory.h"
#include "plant/sensorjob.h"
#include "plant/servestate.h"

#include <cstring>
#include <unistd.h>
#include <utility>

namespace {

// "EEPROM: INTLIM 10->30; RAM: ..." of the memories that differ.
std::string ChangesSince(const SeenSensor &before, const SeenSensor &now) {
    std::string text;
    const std::pair<const char *, std::pair<const unsigned char *, const unsigned char *>>
        memories[] = {{"EEPROM", {before.eeprom, now.eeprom}}, {"RAM", {before.ram, now.ram}}};
    for (const auto &[name, blocks] : memories) {
        const std::string changes = DescribeDifferences(DiffBlocks(blocks.first, blocks.second), 8);
        if (!changes.empty())
            text += (text.empty() ? "" : "; ") + std::string(name) + ": " + changes;
    }
    return text;
}

// The approved set into EEPROM, then RAM, as restore writes it; told as an event.
void RestoreApproved(SensorJob *job) {
    RestoreMemory(job, MEMORY_EEPROM);
    if (job->result->exitCode == PLANT_EXIT_OK)
        RestoreMemory(job, MEMORY_RAM);
    const std::string outcome = std::string(job->result->status) + ": " + job->result->message;
    if (job->result->exitCode != PLANT_EXIT_OK) {
        RaiseAlarm(job, "restore failed", outcome);
        return;
    }
    TellEvent(job, "restored", outcome);
    ClearAlarms(job, {"restore failed", "replaced", "changed elsewhere"});
}

// Each memory that holds what the service did not last see, in the change log: written by
// nobody the program knows of, it is a finding with what the service does about it.
void LogFindings(SensorJob *job, SeenFinding finding, const SeenSensor &before,
                 const SeenSensor &now, bool restore) {
    const std::pair<int, std::pair<const unsigned char *, const unsigned char *>> memories[] = {
        {MEMORY_EEPROM, {before.eeprom, now.eeprom}}, {MEMORY_RAM, {before.ram, now.ram}}};
    for (const auto &[memory, blocks] : memories) {
        if (std::memcmp(blocks.first, blocks.second, BLOCK_LENGTH) == 0)
            continue;
        ChangeEntry entry;
        entry.sensor = job->session.name;
        entry.port = job->session.label;
        entry.device = job->session.device;
        entry.memory = memory;
        entry.source = std::string(finding == SEEN_REPLACED ? "another unit" : "elsewhere") +
                       " (found by the line service)";
        entry.before = blocks.first;
        entry.after = blocks.second;
        std::string why;
        if (!LogFinding(&entry,
                        restore ? "the approved set restored" : "left as it is, alarm raised",
                        job->session.lineLog, &why))
            TellEvent(job, "change log not written", why);
    }
}

// Both memories hold the line's approved set.
bool HoldsApproved(const SensorJob *job, const SeenSensor &seen) {
    unsigned char approved[BLOCK_LENGTH];
    return job->plan->approved[0] != '\0' &&
           ReadParameterFile(job->plan->approved, approved) == 0 &&
           std::memcmp(approved, seen.eeprom, BLOCK_LENGTH) == 0 &&
           std::memcmp(approved, seen.ram, BLOCK_LENGTH) == 0;
}

// Back from a loan: what the borrower changed was done through the line's commands or the
// panel, each write in the change log, so it is taken as the sensor's new state, not as a change
// made elsewhere. Another unit in its place is still a replacement.
bool TakeBackFromLoan(SensorJob *job, const SeenSensor &before, const SeenSensor &now,
                      const std::string &lentTo) {
    if (!before.identity.empty() && !now.identity.empty() && before.identity != now.identity)
        return false;
    const std::string changes = ChangesSince(before, now);
    TellEvent(job, "returned",
              "from " + lentTo + (changes.empty() ? ", unchanged" : ", changed: " + changes));
    if (HoldsApproved(job, now))
        ClearAlarms(job, {"restore failed", "replaced", "changed elsewhere"});
    return true;
}

} // namespace

// The unit on the port and both memories, as they are when the service takes the sensor on.
bool ReadMemories(SensorJob *job, SeenSensor *seen) {
    seen->identity = job->session.identity;
    if (!ReadBlock(job, MEMORY_EEPROM))
        return false;
    std::memcpy(seen->eeprom, job->block, BLOCK_LENGTH);
    if (!ReadBlock(job, MEMORY_RAM))
        return false;
    std::memcpy(seen->ram, job->block, BLOCK_LENGTH);
    return true;
}

// What this connection finds against what the service last saw, told and handled by the line's
// policy; what the sensor holds afterwards is kept for the next connection. lentTo names who had
// the sensor just before ("" when it was not lent).
SeenSensor TakeStock(SensorJob *job, SeenSensor now, const std::string &lentTo) {
    const LineService &service = static_cast<const ServeState *>(job->state)->line.service;
    const std::string path = SeenSensorPath(service.state, job->plan->name);
    SeenSensor before;
    std::string why;
    const bool known = ReadSeenSensor(path, &before, &why);
    if (!known && access(path.c_str(), F_OK) == 0)
        TellEvent(job, "state unreadable", why);
    const bool takenBack = known && !lentTo.empty() && TakeBackFromLoan(job, before, now, lentTo);
    const SeenFinding finding = known && !takenBack ? CompareWithSeen(before, now) : SEEN_FIRST;
    bool restore = false;
    const char *found = nullptr;
    std::string changes = ChangesSince(before, now);
    if (finding == SEEN_REPLACED) {
        found = "replaced";
        if (before.identity != now.identity)
            changes = before.identity + " -> " + now.identity + "; " + changes;
        restore = service.restoreReplaced;
    } else if (finding == SEEN_CHANGED) {
        found = "changed elsewhere";
        restore = service.restoreOutsideChange;
    }
    if (found)
        LogFindings(job, finding, before, now, restore);
    // Left as it is, what was found stays an alarm until a restore puts the approved set back.
    if (found && restore)
        TellEvent(job, found, changes);
    else if (found)
        RaiseAlarm(job, found, changes);
    if (restore) {
        RestoreApproved(job);
        if (!ReadMemories(job, &now))
            return now;
    }
    if (!SaveSeenSensor(path, now, &why))
        TellEvent(job, "state not saved", why);
    return now;
}
