// status: per sensor, the line check and whether RAM, EEPROM and the approved file agree.
#include "com232/parameterfile.h"
#include "plant/linecompare.h"
#include "plant/sensorjob.h"

#include <cstring>

namespace {

enum { FIRST_DIFFERENCES = 3 };

// The first differences of one comparison for the result's line, each value by its side:
// "RAM vs EEPROM: INTLIM EEPROM 10 -> RAM 30".
std::string Summary(const char *beforeSide, const char *afterSide, const unsigned char *before,
                    const unsigned char *after) {
    const std::string text =
        DescribeDifferencesOf(DiffBlocks(before, after), FIRST_DIFFERENCES, beforeSide, afterSide);
    return text.empty() ? std::string()
                        : std::string(afterSide) + " vs " + beforeSide + ": " + text;
}

void StatusOnPort(SensorJob *job) {
    PortResult *result = job->result;
    unsigned char ram[BLOCK_LENGTH], eeprom[BLOCK_LENGTH], approved[BLOCK_LENGTH];
    if (!ReadBlock(job, MEMORY_RAM))
        return;
    std::memcpy(ram, job->block, BLOCK_LENGTH);
    if (!ReadBlock(job, MEMORY_EEPROM))
        return;
    std::memcpy(eeprom, job->block, BLOCK_LENGTH);
    const bool hasApproved = job->plan->approved[0] != '\0';
    if (hasApproved && ReadParameterFile(job->plan->approved, approved) != 0) {
        SetResult(result, PLANT_EXIT_FILE, parameterFileNotLoaded, "the approved file: %s",
                  LastParameterFileError());
        return;
    }
    size_t count = AddDifferences(result, "ram_vs_eeprom", "EEPROM -> RAM", eeprom, ram);
    std::string summary = Summary("EEPROM", "RAM", eeprom, ram);
    if (hasApproved) {
        count += AddDifferences(result, "eeprom_vs_approved", "the approved file -> EEPROM",
                                approved, eeprom);
        count +=
            AddDifferences(result, "ram_vs_approved", "the approved file -> RAM", approved, ram);
        const std::string eepromSummary = Summary("approved", "EEPROM", approved, eeprom);
        if (!eepromSummary.empty())
            summary += (summary.empty() ? "" : "; ") + eepromSummary;
    }
    AddResultField(result, "in_step", count == 0 ? "true" : "false");
    if (count == 0)
        SetResult(result, PLANT_EXIT_OK, "IN STEP", "RAM, EEPROM%s agree",
                  hasApproved ? " and the approved file" : "");
    else
        SetResult(result, PLANT_EXIT_DIFFERS, "DIFFERS", "%s", summary.c_str());
}

} // namespace

int RunStatusCommand(int argc, char **argv) {
    static const PortCommand status = {
        .name = "status",
        .summary = "Per sensor: the line check, and whether RAM, EEPROM and the line's approved "
                   "file agree (IN STEP), or their differences by parameter and teach cell. "
                   "Exit code 9 when any differ.",
        .options = {},
        .runOnPort = StatusOnPort,
    };
    return RunPortCommand(status, argc, argv);
}
