// record: the measurement transfer into a CSV file per sensor, until --seconds have passed or a
// signal ends it.
#include "plant/portcommand.h"
#include "plant/sensorjob.h"
#include "platform/output/recorder.h"
#include "recording/recordingfile.h"

#include <cstdio>
#include <limits>
#include <memory>

namespace {

#define PROGRESS_INTERVAL_SECONDS 10.0

bool TakeRecordOptions(const ParsedCommandLine &parsed, PlantOptions *options, std::string *why) {
    if (!parsed.positional.empty()) {
        *why = "unexpected argument '" + parsed.positional[0] + "'";
        return false;
    }
    if (!CopyPathOption(parsed.value("out"), "--out", options->output, why) ||
        !CopyPathOption(parsed.value("folder"), "--folder", options->folder, why))
        return false;
    if (options->output[0] && options->folder[0]) {
        *why = "--out and --folder exclude each other";
        return false;
    }
    if (parsed.isSet("seconds") &&
        (!ParseNumber(parsed.value("seconds"), 0, std::numeric_limits<double>::max(),
                      &options->seconds) ||
         !(options->seconds > 0))) {
        *why = "--seconds wants a number of seconds above 0";
        return false;
    }
    return true;
}

// Without --out, new files go to --folder or to the panel's recording folder.
bool PlanRecordFolder(PlantOptions *options, PortResult *failure, void *) {
    char folder[FILE_PATH_LEN] = "";
    const bool planned =
        options->folder[0] ? AbsolutePath(options->folder, folder, sizeof folder)
                           : options->output[0] || PrepareRecordFolder(folder, sizeof folder) == 0;
    if (planned) {
        std::snprintf(options->folder, sizeof options->folder, "%s", folder);
        return true;
    }
    SetResult(failure, PLANT_EXIT_FILE, "RECORDING NOT STARTED", "%s",
              "the recording folder's name is too long");
    return false;
}

// The file of --out, else a new file named by the date and time in the folder; with several
// ports the sensor's name follows the time.
bool StartRecord(SensorJob *job, RecordingFile *file) {
    const PortPlan *plan = job->plan;
    PortResult *result = job->result;
    char tag[SENSOR_NAME_LEN + 1] = "";
    int code = 0;
    if (plan->output[0]) {
        code = CreateRecordingFileAt(file, plan->output);
    } else {
        if (job->options->portCount > 1)
            std::snprintf(tag, sizeof tag, "-%s", plan->name);
        code = CreateRecordingFileIn(file, job->options->folder, tag);
    }
    if (code == RECFILE_OK) {
        // A path longer than the report holds is cut there; the file itself is whole.
        std::snprintf(result->file, sizeof result->file, "%s", RecordingFilePath(file));
        return true;
    }
    SetResult(result, PLANT_EXIT_FILE, "RECORDING NOT STARTED", "%s: %s",
              plan->output[0] ? plan->output : job->options->folder, RecordingFileError(file));
    return false;
}

// A recording's frame loop: the file, the time it may run, when progress was last told.
struct RecordLoop {
    SensorJob *job;
    RecordingFile *file;
    double start;
    double lastProgress;
};

// One frame into the file; false when the sensor failed, the file took no more or the time is
// up. The pending lines reach the file at least twice a second.
bool RecordFrameStep(int outcome, const unsigned char *frame, void *context) {
    RecordLoop *loop = static_cast<RecordLoop *>(context);
    SensorJob *job = loop->job;
    if (frame == nullptr) {
        TakeSessionOutcome(job, outcome);
        return false;
    }
    if (AppendRecordingFrame(loop->file, frame, job->plan->name) != RECFILE_OK ||
        WriteRecordingDue(loop->file, RecordingClock::now()) != RECFILE_OK) {
        SetResult(job->result, PLANT_EXIT_FILE, "RECORDING STOPPED", "%s",
                  RecordingFileError(loop->file));
        return false;
    }
    const double now = MonotonicSeconds();
    if (now - loop->lastProgress >= PROGRESS_INTERVAL_SECONDS) {
        std::fprintf(stderr, "%s: %ld frames\n", job->plan->name, RecordingFileFrames(loop->file));
        loop->lastProgress = now;
    }
    const double seconds = job->options->seconds;
    return seconds <= 0 || now - loop->start < seconds;
}

// Frames until the time is up, a stop is asked for, or the sensor fails.
void RecordFrames(SensorJob *job, RecordingFile *file) {
    const double start = MonotonicSeconds();
    RecordLoop loop{job, file, start, start};
    unsigned char frame[FRAME_LENGTH];
    RunFrameLoop(&job->session, KeepWaiting(), frame, RecordFrameStep, &loop);
    job->result->seconds = MonotonicSeconds() - start;
}

void RecordOnPort(SensorJob *job) {
    PortResult *result = job->result;
    // 64 KiB of pending lines live in the recording: on the heap, not on the thread's stack.
    auto file = std::make_unique<RecordingFile>();
    if (!StartRecord(job, file.get()))
        return;
    std::fprintf(stderr, "%s: recording to %s\n", job->plan->name, result->file);
    RecordFrames(job, file.get());
    // A failure of the last write ends the recording too; the file keeps its whole lines.
    if (CloseRecordingFile(file.get()) == RECFILE_FAILED && result->exitCode == PLANT_EXIT_OK)
        SetResult(result, PLANT_EXIT_FILE, "RECORDING STOPPED", "%s",
                  RecordingFileError(file.get()));
    result->frames = RecordingFileFrames(file.get());
    if (result->exitCode == PLANT_EXIT_OK)
        SetResult(result, PLANT_EXIT_OK, "LINE OK", "%ld frames in %s", result->frames,
                  result->file);
}

} // namespace

int RunRecordCommand(int argc, char **argv) {
    static const PortCommand record = {
        .name = "record",
        .summary = "Records the measurement transfer to a CSV file until --seconds have passed or "
                   "it is interrupted (Ctrl+C, SIGTERM); the file stays whole.",
        .options = {{"seconds", "N", "Ends after N seconds (default: until interrupted)."},
                    {"out", "FILE",
                     "Records to FILE.csv, which must not exist (several sensors: "
                     "FILE-<sensor>.csv)."},
                    {"folder", "DIR",
                     "Records to a new file named by the date and time (and the sensor, with "
                     "several) in DIR; default: the panel's recording folder."}},
        .takeOptions = TakeRecordOptions,
        .prepare = PlanRecordFolder,
        .runOnPort = RecordOnPort,
    };
    return RunPortCommand(record, argc, argv);
}
