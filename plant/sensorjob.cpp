// The port commands' work on a sensor, through its session, and its reports.
#include "plant/sensorjob.h"

#include "com232/parameterfile.h"
#include "textforms/dumpjson.h"

#include <cstdio>

namespace {

int ExitCodeOf(int outcome) {
    switch (outcome) {
    case SESSION_OK:
        return PLANT_EXIT_OK;
    case SESSION_LINE_LOST:
        return PLANT_EXIT_LINE_LOST;
    case SESSION_OPEN_FAILED:
        return PLANT_EXIT_PORT;
    case SESSION_INTERRUPTED:
        return PLANT_EXIT_INTERRUPTED;
    default:
        return PLANT_EXIT_SENSOR;
    }
}

void TellUnloggedWrite(SensorJob *job, const std::string &why) {
    std::fprintf(stderr, "%s: %s\n", job->plan->name, why.c_str());
    AddResultField(job->result, "changelog", DumpJson(why));
}

} // namespace

void TakeSessionOutcome(SensorJob *job, int outcome) {
    const SensorSession &session = job->session;
    SetResult(job->result, ExitCodeOf(outcome), session.status, "%s", session.message);
}

void BeginJobSession(SensorJob *job) {
    SensorSession *session = &job->session;
    BeginSession(session, job->plan->number, job->plan->name, job->sensor, nullptr);
    // Many sensors share the machine: a reply's bytes are waited for in one sleep, not polled.
    session->link.byteSeconds = BYTE_SECONDS_9600;
    session->keepWaiting = KeepWaiting();
    session->lineLog = job->options->lineLog;
}

bool OpenAndCheckLine(SensorJob *job) {
    SensorSession *session = &job->session;
    int outcome = OpenSession(session);
    if (outcome == SESSION_OK)
        outcome = CheckSessionLine(session);
    TakeSessionOutcome(job, outcome);
    return outcome == SESSION_OK;
}

bool ReadBlock(SensorJob *job, int memory) {
    const int outcome = ReadSessionMemory(&job->session, memory, job->block);
    if (outcome != SESSION_OK)
        TakeSessionOutcome(job, outcome);
    return outcome == SESSION_OK;
}

bool WriteBlockFile(SensorJob *job, const char *path, const char *what) {
    if (WriteParameterFile(path, job->block) == 0)
        return true;
    SetResult(job->result, PLANT_EXIT_FILE, parameterFileNotSaved, "%s %s", what,
              LastParameterFileError());
    return false;
}

int WriteBlock(SensorJob *job, int memory, const unsigned char *block, const SessionWrite &write) {
    std::string logTrouble;
    const int outcome =
        WriteSessionMemory(&job->session, memory, block, write, job->block, &logTrouble);
    if (!logTrouble.empty())
        TellUnloggedWrite(job, logTrouble);
    if (outcome == WRITE_FAILED)
        TakeSessionOutcome(job, job->session.outcome);
    return outcome;
}
