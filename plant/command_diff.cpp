// diff: a sensor against a file (its approved file, a snapshot's, or one given), a file against
// a file, a snapshot against a snapshot; every differing parameter and teach cell by name with
// the old value (the file, the first argument) and the new one (the sensor, the second).
#include "com232/parameterfile.h"
#include "plant/linecompare.h"
#include "plant/sensorjob.h"
#include "platform/system/optionparser.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <cstring>
#include <set>
#include <sys/stat.h>

namespace {

// ---- A sensor against a file -------------------------------------------------------------

bool TakeDiffOptions(const ParsedCommandLine &parsed, PlantOptions *options, std::string *why) {
    options->memory = MEMORY_EEPROM;
    if (parsed.isSet("from") && !ParseMemoryOption(parsed, "from", options, why))
        return false;
    if (parsed.positional.size() > 1) {
        *why = "diff on sensors wants at most one parameter file";
        return false;
    }
    return CopyPathOption(parsed.positional.empty() ? "" : parsed.positional[0], "the file",
                          options->file, why) &&
           CopyAbsolutePathOption(parsed.value("snapshot"), "--snapshot", options->snapshot, why);
}

void DiffOnPort(SensorJob *job) {
    const int memory = job->options->memory;
    unsigned char target[BLOCK_LENGTH];
    std::string source;
    if (!ReadTargetBlock(job, memory, target, &source) || !ReadBlock(job, memory))
        return;
    const std::string what = std::string(source) + " -> the sensor's " + MemoryName(memory);
    const size_t count =
        AddDifferences(job->result, "differences", what.c_str(), target, job->block);
    if (count == 0)
        SetResult(job->result, PLANT_EXIT_OK, "IN STEP", "the %s holds %s", MemoryName(memory),
                  source.c_str());
    else
        SetResult(job->result, PLANT_EXIT_DIFFERS, "DIFFERS", "%s from %s",
                  DifferenceCount(count).c_str(), source.c_str());
}

int DiffSensors(int argc, char **argv) {
    static const PortCommand command = {
        .name = "diff",
        .summary = "Compares each sensor's block with its approved file (--line), a snapshot's "
                   "file (--snapshot DIR) or the file given, and names every differing parameter "
                   "and teach cell: the file's value, then the sensor's. Exit code 9 when any "
                   "differ. Without --port or --line: diff OLD.dat NEW.dat, or diff OLD-DIR "
                   "NEW-DIR for two snapshots.",
        .options = {{"from", "MEMORY", "ram or eeprom (default eeprom)."},
                    {"snapshot", "DIR", "Compares with the snapshot's file of each sensor."}},
        .positionalName = "FILE.dat",
        .positionalHelp = "Compares every sensor with this file.",
        .takeOptions = TakeDiffOptions,
        .runOnPort = DiffOnPort,
    };
    return RunPortCommand(command, argc, argv);
}

// ---- Files and snapshots -----------------------------------------------------------------

struct FileDiff {
    bool json;
    int exitCode = PLANT_EXIT_OK;
};

// Differences of two parameter files, or the exit code of one that cannot be read.
int ReadPair(const std::string &older, const std::string &newer, unsigned char *before,
             unsigned char *after) {
    for (const auto &[path, block] : {std::pair{&older, before}, std::pair{&newer, after}})
        if (ReadParameterFile(path->c_str(), block) != 0) {
            std::fprintf(stderr, "nvmxv451 diff: %s\n", LastParameterFileError());
            return PLANT_EXIT_FILE;
        }
    return PLANT_EXIT_OK;
}

void PrintDifferences(const char *heading, const std::vector<BlockDifference> &differences) {
    if (differences.empty())
        return;
    std::printf("%s\n", heading);
    for (const BlockDifference &difference : differences)
        std::printf("  %s: %d -> %d\n", difference.name.c_str(), difference.before,
                    difference.after);
}

void DiffFiles(FileDiff *run, const std::string &older, const std::string &newer) {
    unsigned char before[BLOCK_LENGTH], after[BLOCK_LENGTH];
    run->exitCode = ReadPair(older, newer, before, after);
    if (run->exitCode != PLANT_EXIT_OK)
        return;
    const std::vector<BlockDifference> differences = DiffBlocks(before, after);
    if (run->json)
        std::printf("%s\n", nlohmann::json({{"command", "diff"},
                                            {"old", older},
                                            {"new", newer},
                                            {"differ", !differences.empty()},
                                            {"differences",
                                             nlohmann::json::parse(DifferencesJson(differences))}})
                                .dump(-1, ' ', false, nlohmann::json::error_handler_t::replace)
                                .c_str());
    else if (differences.empty())
        std::printf("%s and %s agree\n", older.c_str(), newer.c_str());
    else
        PrintDifferences((older + " -> " + newer + ":").c_str(), differences);
    run->exitCode = differences.empty() ? PLANT_EXIT_OK : PLANT_EXIT_DIFFERS;
}

// One sensor's block of memory in each snapshot, each checked against its manifest; the exit
// code of one that cannot be read or whose checksum fails.
int ReadSnapshotPair(const std::string &older, const ManifestSensor &oldSensor,
                     const std::string &newer, const ManifestSensor &newSensor, int memory,
                     unsigned char *before, unsigned char *after) {
    std::string why;
    if (ReadSnapshotBlock(older, oldSensor, memory, before, &why) &&
        ReadSnapshotBlock(newer, newSensor, memory, after, &why))
        return PLANT_EXIT_OK;
    std::fprintf(stderr, "nvmxv451 diff: %s\n", why.c_str());
    return PLANT_EXIT_FILE;
}

// One sensor of two snapshots: RAM and EEPROM; a sensor in only one of them differs.
void DiffSnapshotSensor(FileDiff *run, const std::string &older, const std::string &newer,
                        const std::string &name, const ManifestSensor *inOld,
                        const ManifestSensor *inNew) {
    nlohmann::json line = {{"command", "diff"}, {"sensor", name}, {"old", older}, {"new", newer}};
    bool differ = !(inOld && inNew);
    if (!differ) {
        for (int memory : {MEMORY_RAM, MEMORY_EEPROM}) {
            unsigned char before[BLOCK_LENGTH], after[BLOCK_LENGTH];
            const int read = ReadSnapshotPair(older, *inOld, newer, *inNew, memory, before, after);
            if (read != PLANT_EXIT_OK) {
                run->exitCode = read;
                return;
            }
            const std::vector<BlockDifference> differences = DiffBlocks(before, after);
            differ = differ || !differences.empty();
            line[memory == MEMORY_RAM ? "ram" : "eeprom"] =
                nlohmann::json::parse(DifferencesJson(differences));
            if (!run->json)
                PrintDifferences((name + " " + MemoryName(memory) + ":").c_str(), differences);
        }
    } else {
        line["only_in"] = inOld ? "old" : "new";
        if (!run->json)
            std::printf("%s: only in %s\n", name.c_str(), inOld ? older.c_str() : newer.c_str());
    }
    line["differ"] = differ;
    if (run->json)
        std::printf("%s\n",
                    line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
    if (differ && run->exitCode == PLANT_EXIT_OK)
        run->exitCode = PLANT_EXIT_DIFFERS;
}

void DiffSnapshots(FileDiff *run, const std::string &older, const std::string &newer) {
    SnapshotManifestRead oldManifest, newManifest;
    std::string why;
    if (!ReadSnapshotManifest(older, &oldManifest, &why) ||
        !ReadSnapshotManifest(newer, &newManifest, &why)) {
        std::fprintf(stderr, "nvmxv451 diff: %s\n", why.c_str());
        run->exitCode = PLANT_EXIT_FILE;
        return;
    }
    std::set<std::string> names;
    for (const SnapshotManifestRead *manifest : {&oldManifest, &newManifest})
        for (const ManifestSensor &sensor : manifest->sensors)
            names.insert(sensor.name);
    for (const std::string &name : names)
        DiffSnapshotSensor(run, older, newer, name, FindManifestSensor(oldManifest, name),
                           FindManifestSensor(newManifest, name));
    if (run->exitCode == PLANT_EXIT_OK && !run->json)
        std::printf("%s and %s agree\n", older.c_str(), newer.c_str());
}

bool IsFolder(const std::string &path) {
    struct stat status;
    return stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

int DiffWithoutSensors(int argc, char **argv) {
    CommandLineForm form;
    form.program = std::string(argc > 0 ? argv[0] : "nvmxv451") + " diff";
    form.description = "Without --port or --line: compares two parameter files, or two "
                       "snapshots (their folders), and names every differing parameter and teach "
                       "cell with its old and new value. With --port or --line: compares "
                       "sensors, below.";
    form.options = {{"json", nullptr, "One JSON line (per sensor, for snapshots)."}};
    form.positionalName = "OLD NEW";
    form.positionalHelp = "Two .dat files, or two snapshot folders.";
    form.epilogue =
        "\nExit codes: 0 they agree, 2 usage, 3 a file or snapshot that cannot be read, "
        "9 they differ.\n\n";
    ParsedCommandLine parsed;
    const int parsedCode = ParseOptions(form, argc, argv, 2, &parsed);
    if (parsedCode == 0) // the help of files, then that of sensors
        return DiffSensors(argc, argv);
    if (parsedCode != COMMAND_LINE_RUN)
        return parsedCode;
    if (parsed.positional.size() != 2)
        return UsageError(form.program, "diff wants two files, two snapshots, or --port/--line");
    FileDiff run{parsed.isSet("json")};
    const std::string &older = parsed.positional[0], &newer = parsed.positional[1];
    if (IsFolder(older) != IsFolder(newer))
        return UsageError(form.program, "compare a file with a file, a snapshot with a snapshot");
    if (IsFolder(older))
        DiffSnapshots(&run, older, newer);
    else
        DiffFiles(&run, older, newer);
    return run.exitCode;
}

// Sensors are named by --port or --line; without either, diff compares files.
bool NamesSensors(int argc, char **argv) {
    for (int i = 2; i < argc; i++) {
        const char *word = argv[i];
        if (std::strcmp(word, "--") == 0)
            return false;
        if (std::strncmp(word, "--port", 6) == 0 || std::strncmp(word, "--line", 6) == 0 ||
            std::strncmp(word, "-p", 2) == 0)
            return true;
    }
    return false;
}

} // namespace

int RunDiffCommand(int argc, char **argv) {
    return NamesSensors(argc, argv) ? DiffSensors(argc, argv) : DiffWithoutSensors(argc, argv);
}
