// Snapshot files, target blocks and differences in results.
#include "plant/linecompare.h"

#include "com232/parameterfile.h"

#include <cstdio>

std::string SnapshotFile(const char *folder, const char *sensor, int memory) {
    return std::string(folder) + "/" + sensor + (memory == MEMORY_EEPROM ? "-eeprom" : "-ram") +
           ".dat";
}

std::string SnapshotManifest(const char *folder) {
    return std::string(folder) + "/manifest.json";
}

bool ReadTargetBlock(SensorJob *job, int memory, unsigned char *block, std::string *source) {
    const PlantOptions *options = job->options;
    char file[FILE_PATH_LEN] = "";
    if (options->file[0] && !AbsolutePath(options->file, file, sizeof file)) {
        SetResult(job->result, PLANT_EXIT_FILE, parameterFileNotLoaded, "the path is too long");
        return false;
    }
    *source = file[0]                ? std::string(file)
              : options->snapshot[0] ? SnapshotFile(options->snapshot, job->plan->name, memory)
                                     : std::string(job->plan->approved);
    if (source->empty()) {
        SetResult(job->result, PLANT_EXIT_USAGE, "NOTHING TO COMPARE",
                  "no approved file without --line; give a snapshot or a file");
        return false;
    }
    if (ReadParameterFile(source->c_str(), block) == 0)
        return true;
    SetResult(job->result, PLANT_EXIT_FILE, parameterFileNotLoaded, "%s", LastParameterFileError());
    return false;
}

size_t AddDifferences(PortResult *result, const char *field, const char *what,
                      const unsigned char *before, const unsigned char *after) {
    const std::vector<BlockDifference> differences = DiffBlocks(before, after);
    AddResultField(result, field, DifferencesJson(differences));
    if (!differences.empty())
        AddResultDetail(result, std::string("  ") + what + ":");
    for (const BlockDifference &difference : differences)
        AddResultDetail(result, "    " + difference.name + ": " +
                                    std::to_string(difference.before) + " -> " +
                                    std::to_string(difference.after));
    return differences.size();
}
