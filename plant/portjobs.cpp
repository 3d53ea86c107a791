// The headless commands on one port, over the sensor's exchanges.
#include "plant/portjobs.h"

#include "com232/exchanges.h"
#include "com232/link.h"
#include "com232/parameterfile.h"
#include "platform/engine/userint.h"
#include "platform/output/recorder.h"
#include "platform/serial/rs232.h"
#include "telemetry/telemetry.h"

#include <csignal>
#include <cstdio>
#include <cstring>

enum { NAME_LEN = 64 };
// Between two writes of pending lines and two progress lines of a recording.
#define EVENT_INTERVAL_SECONDS 0.1
#define PROGRESS_INTERVAL_SECONDS 10.0

static volatile std::sig_atomic_t stopRequested = 0;
// Cleared to end a frame's wait at its next poll.
static volatile int keepWaiting = 1;

// This port's link and what its exchanges read.
static SensorLink sensorLink;
static unsigned char receive[BUFFER_LENGTH];
static LinkReply reply;
static unsigned char ParameterBlock[BLOCK_LENGTH];

void StopPortJob(void) {
    stopRequested = 1;
    keepWaiting = 0;
}

// A failed exchange: the device gone, or the sensor's answer missing, short or long.
static void SetExchangeFailure(PortResult *result, int port, const char *what, int expected) {
    if (ComLineLost(port)) {
        SetResult(result, PLANT_EXIT_LINE_LOST, "LINE LOST", "the device went away during %s",
                  what);
    } else if (reply.length == 0) {
        SetResult(result, PLANT_EXIT_SENSOR, "TIMEOUT", "no answer to %s within %.1f s", what,
                  REPLY_TIMEOUT);
    } else {
        SetResult(result, PLANT_EXIT_SENSOR, "TIMEOUT", "%s: %d bytes came back, %d expected", what,
                  reply.length, expected);
    }
    PublishStatus(result->status);
}

static bool OpenAndCheckLine(const PortPlan *plan, PortResult *result) {
    sensorLink = MakeSensorLink(plan->number, nullptr);
    int code = OpenSensorPort(plan->number);
    if (code < 0) {
        char why[RESULT_TEXT_LEN] = "";
        ComOpenFailure(plan->number, why, sizeof why);
        SetResult(result, PLANT_EXIT_PORT, OpenErrorText(code), "%s", why);
        PublishStatus(result->status);
        return false;
    }
    if (ExchangeLineCheck(&sensorLink, receive, &reply) != EXCHANGE_OK) {
        if (reply.length == 1)
            SetResult(result, PLANT_EXIT_SENSOR, "TIMEOUT",
                      "the line check was answered with 0x%02X, not 0x%02X", receive[0],
                      LineOkReply);
        else
            SetExchangeFailure(result, plan->number, "the line check", 1);
        PublishStatus(result->status);
        return false;
    }
    SetResult(result, PLANT_EXIT_OK, "LINE OK", "%s", "");
    PublishStatus("LINE OK");
    return true;
}

static bool ReadBlock(const PortPlan *plan, int memory, PortResult *result) {
    if (ExchangeReadBlock(&sensorLink, ReadCommandFor(memory), receive, &reply) == EXCHANGE_OK) {
        std::memcpy(ParameterBlock, receive, BLOCK_LENGTH);
        PublishParameters(ParameterBlock, MemoryName(memory));
        return true;
    }
    char what[NAME_LEN];
    std::snprintf(what, sizeof what, "the %s read", MemoryName(memory));
    SetExchangeFailure(result, plan->number, what, BLOCK_LENGTH);
    return false;
}

static bool WriteBlockFile(const char *path, PortResult *result, const char *what) {
    if (WriteParameterFile(path, ParameterBlock) == 0)
        return true;
    SetResult(result, PLANT_EXIT_FILE, parameterFileNotSaved, "%s %s", what,
              LastParameterFileError());
    return false;
}

static void RunGet(const PlantOptions *options, const PortPlan *plan, PortResult *result) {
    if (!ReadBlock(plan, options->memory, result))
        return;
    std::memcpy(result->block, ParameterBlock, BLOCK_LENGTH);
    result->hasBlock = 1;
    if (plan->output[0] && !WriteBlockFile(plan->output, result, "the block was read, but"))
        return;
    std::snprintf(result->file, sizeof result->file, "%s", plan->output);
    SetResult(result, PLANT_EXIT_OK, "LINE OK", "%s block read%s%s", MemoryName(options->memory),
              plan->output[0] ? " into " : "", plan->output);
}

// The panel's wait before a read, spent in the port's poll, which sleeps while the line is
// silent: eight sensors settling at once do not keep the cores busy.
static void SettleBeforeRead(int memory) {
    const double start = Timer();
    while (!stopRequested && Timer() - start < SettleSecondsBeforeRead(memory))
        GetInQLen(sensorLink.port);
}

// Reads the sensor's block back and compares it with the one sent, byte for byte.
static void VerifyBlock(const PlantOptions *options, const PortPlan *plan,
                        const unsigned char *sent, PortResult *result) {
    SettleBeforeRead(options->memory);
    if (!ReadBlock(plan, options->memory, result))
        return;
    for (int offset = 0; offset < BLOCK_LENGTH; offset++) {
        if (ParameterBlock[offset] == sent[offset])
            continue;
        char name[NAME_LEN];
        DescribeBlockOffset(offset, name, sizeof name);
        SetResult(result, PLANT_EXIT_VERIFY, "VERIFY FAILED",
                  "first difference at byte %d (%s): sent %u, the sensor's %s holds %u", offset,
                  name, sent[offset], MemoryName(options->memory), ParameterBlock[offset]);
        return;
    }
    SetResult(result, PLANT_EXIT_OK, "LINE OK", "%s sent to %s and verified", options->file,
              MemoryName(options->memory));
}

static void RunSend(const PlantOptions *options, const PortPlan *plan, const unsigned char *block,
                    PortResult *result) {
    if (plan->backup[0]) {
        if (!ReadBlock(plan, options->memory, result) ||
            !WriteBlockFile(plan->backup, result, "nothing was sent: the backup"))
            return;
        std::snprintf(result->file, sizeof result->file, "%s", plan->backup);
    }
    if (ExchangeWriteBlock(&sensorLink, WriteCommandFor(options->memory), block, &reply) !=
        EXCHANGE_OK) {
        SetResult(result, ComLineLost(plan->number) ? PLANT_EXIT_LINE_LOST : PLANT_EXIT_SENSOR,
                  ComLineLost(plan->number) ? "LINE LOST" : "TIMEOUT",
                  "the line did not take the whole block; the sensor may hold part of it");
        PublishStatus(result->status);
        return;
    }
    PublishParameters(block, MemoryName(options->memory));
    if (options->verify) {
        VerifyBlock(options, plan, block, result);
        return;
    }
    SetResult(result, PLANT_EXIT_OK, "LINE OK", "%s sent to %s", options->file,
              MemoryName(options->memory));
}

// The file of --out, else a new file named by the date and time in --folder or the panel's
// recording folder; with several ports the port's name follows the time.
static bool StartRecord(const PlantOptions *options, const PortPlan *plan, PortResult *result) {
    char folder[MAX_PATHNAME_LEN] = "";
    char name[RECORD_TEXT_LEN] = "";
    char tag[PORT_LABEL_LEN + 1] = "";
    int code = 0;
    if (plan->output[0]) {
        code = StartRecordingFile(plan->output);
        std::snprintf(result->file, sizeof result->file, "%s", plan->output);
    } else {
        if (options->folder[0])
            std::snprintf(folder, sizeof folder, "%s", options->folder);
        else
            code = GetRecordFolder(folder, sizeof folder);
        if (options->portCount > 1)
            std::snprintf(tag, sizeof tag, "-%s", plan->label);
        if (code == 0)
            code = StartTaggedRecording(folder, tag, name, sizeof name);
        // A path longer than the report holds is cut there; the file itself is whole.
        if (std::snprintf(result->file, sizeof result->file, "%s/%s", folder, name) >=
            (int)sizeof result->file)
            result->file[sizeof result->file - 1] = '\0';
    }
    if (code == 0)
        return true;
    SetResult(result, PLANT_EXIT_FILE, "RECORDING NOT STARTED", "%s: %s",
              plan->output[0] ? plan->output : folder, LastRecordingError());
    result->file[0] = '\0';
    return false;
}

// Frames until the time is up, a stop is asked for, or the sensor fails; the pending lines
// reach the file on the engine's timer.
static void RecordFrames(const PlantOptions *options, const PortPlan *plan, PortResult *result) {
    const double start = Timer();
    double lastEvents = start, lastProgress = start;
    while (!stopRequested && (options->seconds <= 0 || Timer() - start < options->seconds)) {
        int exchange = ExchangeFrame(&sensorLink, &keepWaiting, receive, &reply);
        if (exchange == EXCHANGE_ABORTED)
            break;
        if (exchange != EXCHANGE_OK) {
            SetExchangeFailure(result, plan->number, "a data request", FRAME_LENGTH);
            break;
        }
        PublishFrame(receive);
        if (RecordFrame(receive, plan->number) == RECORD_FAILED) {
            SetResult(result, PLANT_EXIT_FILE, "RECORDING STOPPED", "%s", LastRecordingError());
            break;
        }
        const double now = Timer();
        if (now - lastEvents >= EVENT_INTERVAL_SECONDS) {
            ProcessSystemEvents();
            lastEvents = now;
        }
        if (now - lastProgress >= PROGRESS_INTERVAL_SECONDS) {
            std::fprintf(stderr, "%s: %ld frames\n", plan->label, RecordedFrames());
            lastProgress = now;
        }
    }
    result->seconds = Timer() - start;
}

static void RunRecord(const PlantOptions *options, const PortPlan *plan, PortResult *result) {
    if (!StartRecord(options, plan, result))
        return;
    std::fprintf(stderr, "%s: recording to %s\n", plan->label, result->file);
    RecordFrames(options, plan, result);
    // A failure of the last write ends the recording too; the file keeps its whole lines.
    if (StopRecording() == RECORD_FAILED && result->exitCode == PLANT_EXIT_OK)
        SetResult(result, PLANT_EXIT_FILE, "RECORDING STOPPED", "%s", LastRecordingError());
    result->frames = RecordedFrames();
    if (result->exitCode == PLANT_EXIT_OK)
        SetResult(result, PLANT_EXIT_OK, "LINE OK", "%ld frames in %s", result->frames,
                  result->file);
}

static void RunCommand(const PlantOptions *options, const PortPlan *plan,
                       const unsigned char *block, PortResult *result) {
    switch (options->command) {
    case PLANT_GET:
        RunGet(options, plan, result);
        break;
    case PLANT_SEND:
        RunSend(options, plan, block, result);
        break;
    case PLANT_RECORD:
        RunRecord(options, plan, result);
        break;
    default:
        break; // check: the line check was the whole command
    }
}

// Telemetry for this port: several ports in one run each need a client id of their own.
static bool StartPortTelemetry(const PlantOptions *options, const PortPlan *plan,
                               PortResult *result) {
    TelemetryConfig config = options->telemetry;
    if (options->portCount > 1 && config.clientId[0]) {
        const size_t used = std::strlen(config.clientId);
        std::snprintf(config.clientId + used, sizeof config.clientId - used, "-%s", plan->label);
    }
    if (StartTelemetry(&config, plan->label) == 0)
        return true;
    SetResult(result, PLANT_EXIT_TELEMETRY, "MQTT NOT STARTED", "%s", LastTelemetryError());
    return false;
}

void RunPortJob(const PlantOptions *options, const PortPlan *plan, const unsigned char *block,
                PortResult *result) {
    BeginResult(result, plan->label, plan->device);
    if (!StartPortTelemetry(options, plan, result))
        return;
    if (OpenAndCheckLine(plan, result))
        RunCommand(options, plan, block, result);
    CloseCom(plan->number);
    StopTelemetry();
}
