// The port commands' exchanges with a sensor and their reports.
#include "plant/sensorjob.h"

#include "com232/exchanges.h"
#include "com232/parameterfile.h"
#include "platform/serial/rs232.h"
#include "textforms/dumpjson.h"

#include <cstdio>
#include <cstring>

enum { NAME_LEN = 64 };

namespace {

// The result's status and message as the sensor's state on the broker.
void PublishResultState(const SensorJob *job) {
    PublishStateOf(job->sensor, job->result->status, job->result->message);
}

} // namespace

void SetExchangeFailure(SensorJob *job, const char *what, int expected) {
    PortResult *result = job->result;
    if (ComLineLost(job->link.port)) {
        SetResult(result, PLANT_EXIT_LINE_LOST, "LINE LOST", "the device went away during %s",
                  what);
    } else if (job->reply.length == 0) {
        SetResult(result, PLANT_EXIT_SENSOR, "TIMEOUT", "no answer to %s within %.1f s", what,
                  job->link.replyTimeout);
    } else {
        SetResult(result, PLANT_EXIT_SENSOR, "TIMEOUT", "%s: %d bytes came back, %d expected", what,
                  job->reply.length, expected);
    }
    PublishResultState(job);
}

bool OpenAndCheckLine(SensorJob *job) {
    PortResult *result = job->result;
    const int port = job->plan->number;
    job->link = MakeSensorLink(port, nullptr);
    // Many sensors share the machine: a reply's bytes are waited for in one sleep, not polled.
    job->link.byteSeconds = BYTE_SECONDS_9600;
    int code = OpenSensorPort(port);
    if (code < 0) {
        char why[RESULT_TEXT_LEN] = "";
        ComOpenFailure(port, why, sizeof why);
        SetResult(result, PLANT_EXIT_PORT, OpenErrorText(code), "%s", why);
        // A held port is the holder's to speak for: nothing goes out in its name from here.
        if (!ComPortBusy(port))
            PublishResultState(job);
        return false;
    }
    AnnounceSensorOf(job->sensor);
    if (ExchangeLineCheck(&job->link, job->receive, &job->reply) == EXCHANGE_OK) {
        SetResult(result, PLANT_EXIT_OK, "LINE OK", "%s", "");
        PublishStatusOf(job->sensor, "LINE OK");
        return true;
    }
    if (job->reply.length != 1) {
        SetExchangeFailure(job, "the line check", 1);
        return false;
    }
    SetResult(result, PLANT_EXIT_SENSOR, "TIMEOUT",
              "the line check was answered with 0x%02X, not 0x%02X", job->receive[0], LineOkReply);
    PublishResultState(job);
    return false;
}

bool ReadBlock(SensorJob *job, int memory) {
    if (ExchangeReadBlock(&job->link, ReadCommandFor(memory), job->receive, &job->reply) ==
        EXCHANGE_OK) {
        std::memcpy(job->block, job->receive, BLOCK_LENGTH);
        PublishParametersOf(job->sensor, job->block, MemoryName(memory));
        return true;
    }
    char what[NAME_LEN];
    std::snprintf(what, sizeof what, "the %s read", MemoryName(memory));
    SetExchangeFailure(job, what, BLOCK_LENGTH);
    return false;
}

bool WriteBlockFile(SensorJob *job, const char *path, const char *what) {
    if (WriteParameterFile(path, job->block) == 0)
        return true;
    SetResult(job->result, PLANT_EXIT_FILE, parameterFileNotSaved, "%s %s", what,
              LastParameterFileError());
    return false;
}

void SettleBeforeRead(const SensorJob *job, int memory) {
    const double start = MonotonicSeconds();
    while (!StopRequested() && MonotonicSeconds() - start < SettleSecondsBeforeRead(memory))
        GetInQLen(job->link.port);
}

int WriteBlock(SensorJob *job, int memory, const unsigned char *block, bool verify) {
    if (ExchangeWriteBlock(&job->link, WriteCommandFor(memory), block, &job->reply) !=
        EXCHANGE_OK) {
        const bool lost = ComLineLost(job->plan->number);
        SetResult(job->result, lost ? PLANT_EXIT_LINE_LOST : PLANT_EXIT_SENSOR,
                  lost ? "LINE LOST" : "TIMEOUT",
                  "the line did not take the whole block; the sensor may hold part of it");
        PublishResultState(job);
        return WRITE_FAILED;
    }
    PublishParametersOf(job->sensor, block, MemoryName(memory));
    if (!verify)
        return WRITE_SENT;
    SettleBeforeRead(job, memory);
    // A read before the sensor has settled would find the old block: a stop here is no mismatch.
    if (StopRequested()) {
        SetResult(job->result, PLANT_EXIT_INTERRUPTED, "INTERRUPTED",
                  "the block was sent to %s; a signal ended the run before its verify",
                  MemoryName(memory));
        return WRITE_FAILED;
    }
    if (!ReadBlock(job, memory))
        return WRITE_FAILED;
    return std::memcmp(job->block, block, BLOCK_LENGTH) == 0 ? WRITE_VERIFIED : WRITE_DIFFERS;
}

namespace {

void TellUnloggedWrite(SensorJob *job, const std::string &why) {
    std::fprintf(stderr, "%s: %s\n", job->plan->name, why.c_str());
    AddResultField(job->result, "changelog", DumpJson(why));
}

} // namespace

ChangeEntry LogWriteAheadOf(SensorJob *job, int memory, const unsigned char *before,
                            const unsigned char *after, const std::string &source,
                            const std::string &backup) {
    ChangeEntry entry;
    entry.sensor = job->plan->name;
    entry.port = job->plan->label;
    entry.device = job->plan->device;
    entry.memory = memory;
    entry.source = source;
    entry.backup = backup;
    entry.before = before;
    entry.after = after;
    std::string why;
    if (!LogWriteAhead(&entry, job->options->lineLog, &why))
        TellUnloggedWrite(job, why);
    return entry;
}

void LogOutcomeOf(SensorJob *job, const ChangeEntry &entry, const std::string &verify) {
    std::string why;
    if (!LogOutcome(entry, verify, job->options->lineLog, &why))
        TellUnloggedWrite(job, why);
}
