// Snapshot files, target blocks and differences in results.
#include "plant/linecompare.h"

#include "com232/parameterfile.h"

#include <cstdio>

namespace {

// A snapshot of another line, or without a line of another device, is not put back unasked.
bool OfAnotherOrigin(const SensorJob *job, const SnapshotManifestRead &manifest,
                     const ManifestSensor &sensor, std::string *why) {
    const PlantOptions *options = job->options;
    if (options->lineName[0] && manifest.line != options->lineName)
        *why =
            "the snapshot is of line '" + manifest.line + "', not of '" + options->lineName + "'";
    else if (!options->lineName[0] && sensor.device != job->plan->device)
        *why = "the snapshot's " + sensor.name + " was on " + sensor.device + ", not on " +
               job->plan->device;
    else
        return false;
    *why += " (--force takes it)";
    return true;
}

bool RefuseSnapshot(SensorJob *job, const std::string &why) {
    SetResult(job->result, PLANT_EXIT_FILE, "SNAPSHOT REFUSED", "%s", why.c_str());
    return false;
}

// The block of the job's sensor in the snapshot folder, checked against its manifest.
bool ReadSnapshotTarget(SensorJob *job, int memory, unsigned char *block) {
    const std::string folder = job->options->snapshot;
    SnapshotManifestRead manifest;
    std::string why;
    if (!ReadSnapshotManifest(folder, &manifest, &why))
        return RefuseSnapshot(job, why);
    const ManifestSensor *sensor = FindManifestSensor(manifest, job->plan->name);
    if (sensor == nullptr)
        return RefuseSnapshot(job, folder + " holds no " + job->plan->name);
    if (job->options->checkOrigin && !job->options->force &&
        OfAnotherOrigin(job, manifest, *sensor, &why))
        return RefuseSnapshot(job, why);
    if (!ReadSnapshotBlock(folder, *sensor, memory, block, &why))
        return RefuseSnapshot(job, why);
    return true;
}

} // namespace

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
    if (!file[0] && options->snapshot[0])
        return ReadSnapshotTarget(job, memory, block);
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
