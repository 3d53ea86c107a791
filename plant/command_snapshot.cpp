// snapshot -o DIR: every sensor's RAM and EEPROM blocks as .dat files and a manifest, made in a
// folder of its own beside DIR and renamed to DIR only when whole; an existing DIR is never
// replaced.
#include "com232/parameterfile.h"
#include "files/save.h"
#include "line/sensorname.h"
#include "nvmxv451_version.h"
#include "plant/linecompare.h"
#include "plant/sensorjob.h"
#include "platform/serial/rs232.h"
#include "textforms/timestamp.h"

#include <nlohmann/json.hpp>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The run's folder in the making, and what each sensor's job read (each thread fills its own):
// the command's state for the run (PortCommand).
struct SnapshotRun {
    char partial[FILE_PATH_LEN];
    bool taken[PLANT_MAX_PORTS];
    char identity[PLANT_MAX_PORTS][FILE_PATH_LEN];          // the device as the open port showed it
    unsigned char blocks[PLANT_MAX_PORTS][2][BLOCK_LENGTH]; // RAM, EEPROM
};

SnapshotRun &SnapshotOf(void *state) {
    return *static_cast<SnapshotRun *>(state);
}

bool TakeSnapshotOptions(const ParsedCommandLine &parsed, PlantOptions *options, std::string *why) {
    if (!parsed.isSet("output")) {
        *why = "snapshot wants -o DIR";
        return false;
    }
    char given[FILE_PATH_LEN];
    return CopyPathOption(parsed.value("output"), "-o", given, why) &&
           (AbsolutePath(given, options->output, sizeof options->output) ||
            (*why = "-o is too long", false));
}

// The folder is made beside DIR, so that the last rename moves it whole.
bool MakePartialFolder(PlantOptions *options, PortResult *failure, void *state) {
    SnapshotRun &snapshot = SnapshotOf(state);
    struct stat status;
    if (lstat(options->output, &status) == 0) {
        SetResult(failure, PLANT_EXIT_FILE, "SNAPSHOT NOT TAKEN", "%s exists already",
                  options->output);
        return false;
    }
    std::snprintf(snapshot.partial, sizeof snapshot.partial, "%.*s.partial-XXXXXX",
                  FILE_PATH_LEN - 20, options->output);
    if (mkdtemp(snapshot.partial) != nullptr) {
        // mkdtemp makes the folder for its owner alone; a snapshot is shared as a file would be.
        const mode_t mask = umask(0);
        umask(mask);
        chmod(snapshot.partial, 0777 & ~mask);
        return true;
    }
    SetResult(failure, PLANT_EXIT_FILE, "SNAPSHOT NOT TAKEN", "%s: %s", snapshot.partial,
              std::strerror(errno));
    return false;
}

void SnapshotOnPort(SensorJob *job) {
    SnapshotRun &snapshot = SnapshotOf(job->state);
    const int memories[2] = {MEMORY_RAM, MEMORY_EEPROM};
    for (int i = 0; i < 2; i++) {
        if (!ReadBlock(job, memories[i]))
            return;
        const std::string file = SnapshotFile(snapshot.partial, job->plan->name, memories[i]);
        if (!WriteBlockFile(job, file.c_str(), "the snapshot's file"))
            return;
        std::memcpy(snapshot.blocks[job->sensor][i], job->block, BLOCK_LENGTH);
    }
    if (ComPortIdentity(job->plan->number, snapshot.identity[job->sensor], FILE_PATH_LEN) < 0)
        snapshot.identity[job->sensor][0] = '\0';
    snapshot.taken[job->sensor] = true;
    SetResult(job->result, PLANT_EXIT_OK, "LINE OK", "RAM and EEPROM taken into %s",
              job->options->output);
}

nlohmann::json BlockEntry(const PortPlan &plan, int memory, const unsigned char *block) {
    const std::string file = SnapshotFile(".", plan.name, memory).substr(2);
    return {{"file", file}, {"sha256", BlockSha256(block)}};
}

nlohmann::json Manifest(const PlantOptions &options, const SnapshotRun &snapshot,
                        const PortPlan *plans, const PortResult *results) {
    char time[TIME_STAMP_LEN], host[256] = "";
    FormatTimeStampNow(time, sizeof time);
    gethostname(host, sizeof host - 1);
    nlohmann::json sensors = nlohmann::json::array(), missing = nlohmann::json::array();
    for (int i = 0; i < options.portCount; i++) {
        const PortPlan &plan = plans[i];
        if (!snapshot.taken[i]) {
            missing.push_back({{"name", plan.name},
                               {"port", plan.label},
                               {"status", results[i].status},
                               {"message", results[i].message}});
            continue;
        }
        sensors.push_back({{"name", plan.name},
                           {"port", plan.label},
                           {"device", plan.device},
                           {"identity", snapshot.identity[i]},
                           {"stable_name", StableNameOfDevice(plan.device)},
                           {"ram", BlockEntry(plan, MEMORY_RAM, snapshot.blocks[i][0])},
                           {"eeprom", BlockEntry(plan, MEMORY_EEPROM, snapshot.blocks[i][1])}});
    }
    return {{"line", options.lineName}, {"time", time},       {"host", host},
            {"version", NVMX_VERSION},  {"sensors", sensors}, {"missing", missing}};
}

bool SyncFolder(const char *path) {
    const int fd = open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const bool synced = fd >= 0 && fsync(fd) == 0;
    if (fd >= 0)
        close(fd);
    return synced;
}

std::string ParentOf(const char *path) {
    const char *slash = std::strrchr(path, '/');
    return slash == path ? std::string("/") : std::string(path, (size_t)(slash - path));
}

// The manifest, then the folder moved to its name; never over a folder that appeared meanwhile.
bool Complete(const PlantOptions &options, const SnapshotRun &snapshot, const PortPlan *plans,
              const PortResult *results, std::string *why) {
    const std::string text = Manifest(options, snapshot, plans, results)
                                 .dump(2, ' ', false, nlohmann::json::error_handler_t::replace) +
                             "\n";
    if (!SaveFileWhole(SnapshotManifest(snapshot.partial).c_str(), text.data(), text.size(), why))
        return false;
    if (!SyncFolder(snapshot.partial) ||
        renameat2(AT_FDCWD, snapshot.partial, AT_FDCWD, options.output, RENAME_NOREPLACE) != 0) {
        *why = std::string(options.output) + ": " + std::strerror(errno);
        return false;
    }
    SyncFolder(ParentOf(options.output).c_str());
    return true;
}

void RemovePartialFolder(const PlantOptions &options, const SnapshotRun &snapshot,
                         const PortPlan *plans) {
    for (int i = 0; i < options.portCount; i++)
        for (int memory : {MEMORY_RAM, MEMORY_EEPROM})
            unlink(SnapshotFile(snapshot.partial, plans[i].name, memory).c_str());
    unlink(SnapshotManifest(snapshot.partial).c_str());
    rmdir(snapshot.partial);
}

void FinishSnapshot(const PlantOptions *options, const PortPlan *plans, PortResult *results,
                    void *state) {
    const SnapshotRun &snapshot = SnapshotOf(state);
    bool any = false;
    for (int i = 0; i < options->portCount; i++)
        any = any || snapshot.taken[i];
    std::string why = "no sensor was read";
    if (any && Complete(*options, snapshot, plans, results, &why)) {
        for (int i = 0; i < options->portCount; i++)
            if (snapshot.taken[i])
                std::snprintf(results[i].file, sizeof results[i].file, "%s", options->output);
        return;
    }
    RemovePartialFolder(*options, snapshot, plans);
    for (int i = 0; i < options->portCount; i++)
        if (snapshot.taken[i])
            SetResult(&results[i], PLANT_EXIT_FILE, "SNAPSHOT NOT TAKEN", "%s", why.c_str());
}

} // namespace

int RunSnapshotCommand(int argc, char **argv) {
    static const PortCommand command = {
        .name = "snapshot",
        .summary = "Takes every sensor's RAM and EEPROM blocks into a new folder: NAME-ram.dat, "
                   "NAME-eeprom.dat and manifest.json (line, sensors, ports, devices, time, host, "
                   "version, a SHA-256 of each block). The folder appears whole or not at all; "
                   "an existing one is never replaced.",
        .options = {{"o,output", "DIR", "The snapshot's folder; it must not exist."}},
        .takeOptions = TakeSnapshotOptions,
        .prepare = MakePartialFolder,
        .runOnPort = SnapshotOnPort,
        .finish = FinishSnapshot,
    };
    // 32 sensors' blocks and identities: on the heap, and afresh for every run.
    auto snapshot = std::make_unique<SnapshotRun>();
    return RunPortCommand(command, argc, argv, snapshot.get());
}
