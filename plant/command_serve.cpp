// serve: the line service. Every sensor of a line on a thread of its own until SIGTERM: the line
// checked, both memories read, every frame recorded into files that rotate and are kept within
// the line's limits. A sensor that goes away is told at once (LINE LOST with the reason, its
// presence offline) and served again by itself as soon as its device is back; the other
// sensors never notice. Every connection, loss and pause of the recording is an event.
#include "changes/blockdiff.h"
#include "changes/changelog.h"
#include "com232/parameterfile.h"
#include "control/loans.h"
#include "control/server.h"
#include "files/regularfile.h"
#include "plant/commands.h"
#include "plant/portcommand.h"
#include "plant/restorememory.h"
#include "plant/seensensor.h"
#include "plant/sensorjob.h"
#include "platform/serial/rs232.h"
#include "recording/rotation.h"
#include "telemetry/telemetry.h"
#include "textforms/timestamp.h"

#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <map>
#include <memory>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace {

// A sensor that is away is looked for this often: back within 2 s means found within this.
constexpr auto LOOK_AGAIN = std::chrono::milliseconds(200);
constexpr auto NOT_ANSWERING_AGAIN = std::chrono::milliseconds(2000);

struct ServeState {
    LineFile line;
    // Each sensor's active alarms by name, with what raised them; each thread keeps its own.
    std::map<std::string, std::string> alarms[PLANT_MAX_PORTS];
    // The sensors lent to the line's commands and borrowers, through the control socket.
    std::unique_ptr<SensorLoans> loans;
    std::unique_ptr<ControlServer> control;
};

bool TakeServeOptions(const ParsedCommandLine &parsed, PlantOptions *options, std::string *why) {
    if (!options->lineFile[0]) {
        *why = "serve wants the --line file of the sensors it serves";
        return false;
    }
    return CopyAbsolutePathOption(parsed.value("state"), "--state", options->folder, why);
}

bool StartControl(const PlantOptions *options, ServeState *serve, PortResult *failure);

// The line's [service] settings; with --state DIR the recordings and events that the line file
// does not place go under DIR (a service's state folder: /etc, where its line file is, is not
// written).
bool ReadService(PlantOptions *options, PortResult *failure, void *state) {
    ServeState *serve = static_cast<ServeState *>(state);
    std::string why;
    if (!ReadLineFile(options->lineFile, &serve->line, &why)) {
        SetResult(failure, PLANT_EXIT_FILE, "NOT SERVED", "%s", why.c_str());
        return false;
    }
    LineService &service = serve->line.service;
    const std::string folder = options->folder;
    if (!folder.empty() && !service.recordingsGiven)
        service.recordings = folder + "/recordings";
    if (!folder.empty() && !service.eventsGiven)
        service.events = folder + "/" + serve->line.name + "-events.jsonl";
    if (!folder.empty() && !service.stateGiven)
        service.state = folder + "/state";
    return StartControl(options, serve, failure);
}

// The line's control socket, through which its commands are lent the sensors they work on. A
// line that another service serves already is not served twice; a socket that cannot be made
// leaves the line served, its commands then finding the ports busy as without a service.
bool StartControl(const PlantOptions *options, ServeState *serve, PortResult *failure) {
    std::vector<std::string> names(options->sensorName, options->sensorName + options->portCount);
    serve->loans = std::make_unique<SensorLoans>(names, serve->line.service.state);
    serve->control = std::make_unique<ControlServer>(serve->loans.get());
    const std::string &path = serve->line.service.control;
    std::string why;
    bool answered = false;
    MakeFoldersAbove(path);
    if (serve->control->start(path, &why, &answered))
        return true;
    if (answered) {
        SetResult(failure, PLANT_EXIT_PORT, "NOT SERVED", "the line is served already: %s",
                  path.c_str());
        return false;
    }
    std::fprintf(stderr, "nvmxv451 serve: no control socket (%s): the line's commands will find "
                         "its sensors busy\n",
                 why.c_str());
    return true;
}

void StopControl(const PlantOptions *, const PortPlan *, PortResult *, void *state) {
    ServeState *serve = static_cast<ServeState *>(state);
    if (serve->loans)
        serve->loans->stopLending();
    if (serve->control)
        serve->control->stop();
}

// One event as a JSON line in the line's event log and on standard error.
void TellEvent(SensorJob *job, const char *event, const std::string &message) {
    const ServeState *serve = static_cast<const ServeState *>(job->state);
    char time[TIME_STAMP_LEN];
    FormatTimeStampNow(time, sizeof time);
    const nlohmann::ordered_json line = {{"time", time},
                                         {"line", serve->line.name},
                                         {"sensor", job->plan->name},
                                         {"event", event},
                                         {"message", message}};
    std::fprintf(stderr, "%s: %s%s%s\n", job->plan->name, event, message.empty() ? "" : ": ",
                 message.c_str());
    const std::string text = line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    PublishEventOf(job->sensor, text.c_str());
    std::string why;
    if (!AppendLogLine(serve->line.service.events, text + "\n", &why))
        std::fprintf(stderr, "%s: the event log was not written: %s\n", job->plan->name,
                     why.c_str());
}

// The sensor's active alarms on the broker (retained; emptied when the last is cleared).
void PublishAlarms(SensorJob *job) {
    const auto &alarms = static_cast<ServeState *>(job->state)->alarms[job->sensor];
    if (alarms.empty()) {
        PublishAlarmsOf(job->sensor, "");
        return;
    }
    char time[TIME_STAMP_LEN];
    FormatTimeStampNow(time, sizeof time);
    nlohmann::ordered_json list = nlohmann::json::array();
    for (const auto &[alarm, message] : alarms)
        list.push_back({{"alarm", alarm}, {"message", message}});
    const nlohmann::ordered_json payload = {
        {"time", time}, {"sensor", job->plan->name}, {"alarms", list}};
    PublishAlarmsOf(job->sensor,
                    payload.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
}

// An event that is also an alarm until cleared.
void RaiseAlarm(SensorJob *job, const char *alarm, const std::string &message) {
    TellEvent(job, alarm, message);
    static_cast<ServeState *>(job->state)->alarms[job->sensor][alarm] = message;
    PublishAlarms(job);
}

void ClearAlarms(SensorJob *job, std::initializer_list<const char *> cleared) {
    auto &alarms = static_cast<ServeState *>(job->state)->alarms[job->sensor];
    size_t removed = 0;
    for (const char *alarm : cleared)
        removed += alarms.erase(alarm);
    if (removed > 0)
        PublishAlarms(job);
}

// What the sensor's frame loop works with.
struct ServedSensor {
    SensorJob *job;
    RotatingRecording recording;
    long long frames = 0;
};

SensorLoans &LoansOf(const SensorJob *job) {
    return *static_cast<const ServeState *>(job->state)->loans;
}

// A line command or a borrower waits for the sensor's port.
bool LoanWanted(const SensorJob *job) {
    return LoansOf(job).wanted(job->sensor);
}

bool ServeFrameStep(int outcome, const unsigned char *frame, void *context) {
    ServedSensor *served = static_cast<ServedSensor *>(context);
    if (frame == nullptr) {
        TakeSessionOutcome(served->job, outcome);
        return false;
    }
    if (LoanWanted(served->job))
        return false;
    ++served->frames;
    const auto now = RecordingClock::now();
    RotationEvent event = RecordRotating(&served->recording, frame, now);
    if (event == ROTATION_RECORDED)
        event = KeepRecordingDue(&served->recording, now);
    if (event == ROTATION_PAUSED)
        RaiseAlarm(served->job, "recording paused", served->recording.pauseReason);
    else if (event == ROTATION_RESUMED) {
        TellEvent(served->job, "recording resumed",
                  RecordingFilePath(served->recording.file.get()));
        ClearAlarms(served->job, {"recording paused"});
    }
    return true;
}

// The sensor's device is there to be opened (its stable name leads somewhere).
bool DevicePresent(const SensorJob *job) {
    struct stat status {};
    return job->session.device[0] == '\0' || stat(job->session.device, &status) == 0;
}

// Opens and checks the line; the first failure of a row of them is an event.
bool Connect(SensorJob *job, bool *failureTold) {
    if (!DevicePresent(job) || !OpenAndCheckLine(job)) {
        if (!*failureTold)
            TellEvent(job, "not connected",
                      DevicePresent(job) ? job->result->message : "the device is not there");
        *failureTold = true;
        return false;
    }
    *failureTold = false;
    return true;
}

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

// What this connection finds against what the service last saw, told and handled by the line's
// policy; what the sensor holds afterwards is kept for the next connection. lentTo names who had
// the sensor just before ("" when it was not lent).
void TakeStock(SensorJob *job, SeenSensor now, const std::string &lentTo) {
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
    // Left as it is, what was found stays an alarm until a restore puts the approved set back.
    if (found && restore)
        TellEvent(job, found, changes);
    else if (found)
        RaiseAlarm(job, found, changes);
    if (restore) {
        RestoreApproved(job);
        if (!ReadMemories(job, &now))
            return;
    }
    if (!SaveSeenSensor(path, now, &why))
        TellEvent(job, "state not saved", why);
}

void WaitBeforeLookingAgain(const SensorJob *job, std::chrono::milliseconds pause = LOOK_AGAIN) {
    const auto until = std::chrono::steady_clock::now() + pause;
    while (!StopRequested() && !LoanWanted(job) && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

// The port given up while the sensor is lent; returns who had it.
std::string LendSensor(SensorJob *job) {
    const LoanView loan = LoansOf(job).viewOf(job->sensor);
    TellEvent(job, loan.borrowed ? "borrowed" : "lent", "to " + loan.to);
    PublishStateOf(job->sensor, "LENT", ("to " + loan.to).c_str());
    LoansOf(job).lendWhileWanted(job->sensor, KeepWaiting());
    return loan.to;
}

void ServeOnPort(SensorJob *job) {
    const ServeState *serve = static_cast<const ServeState *>(job->state);
    const LineService &service = serve->line.service;
    ServedSensor served{job, {}};
    served.recording.folder = service.recordings + "/" + job->plan->name;
    served.recording.label = job->plan->name;
    served.recording.limits = {service.rotateSeconds, service.rotateBytes, service.keepSeconds,
                               service.keepBytes};
    // A loss is told at once, not after a reply's time-out.
    job->session.link.endOnLoss = true;
    bool failureTold = false;
    long connections = 0;
    std::string lentTo; // who had the sensor last, until the service took stock of it again
    while (!StopRequested()) {
        if (LoanWanted(job)) {
            lentTo = LendSensor(job);
            continue;
        }
        if (!Connect(job, &failureTold)) {
            CloseCom(job->plan->number);
            WaitBeforeLookingAgain(job);
            continue;
        }
        ++connections;
        TellEvent(job, "connected", job->session.identity);
        ClearAlarms(job, {"lost", "not answering"});
        unsigned char frame[FRAME_LENGTH];
        SeenSensor seen;
        if (ReadMemories(job, &seen)) {
            TakeStock(job, seen, lentTo);
            lentTo.clear();
            if (!LoanWanted(job))
                RunFrameLoop(&job->session, KeepWaiting(), frame, ServeFrameStep, &served);
        }
        CloseCom(job->plan->number);
        if (StopRequested())
            break;
        if (LoanWanted(job))
            continue;
        const bool lost = job->session.outcome == SESSION_LINE_LOST;
        RaiseAlarm(job, lost ? "lost" : "not answering", job->session.message);
        // A device that is there but does not answer is tried again at a calmer pace.
        WaitBeforeLookingAgain(job, lost ? LOOK_AGAIN : NOT_ANSWERING_AGAIN);
    }
    StopRotating(&served.recording);
    SetResult(job->result, PLANT_EXIT_OK, "SERVED",
              "%lld frames, %ld connections, %ld files, %lld frames not recorded", served.frames,
              connections, served.recording.filesStarted, served.recording.framesDropped);
}

} // namespace

int RunServeCommand(int argc, char **argv) {
    static const PortCommand serve = {
        .name = "serve",
        .summary = "Serves every sensor of the --line file until SIGTERM or Ctrl+C, each on a "
                   "thread of its own: the line checked, both memories read and every frame "
                   "recorded into files that rotate by time and size and are kept by age and "
                   "size ([service] in the line file). A sensor that goes away is told at once "
                   "(LINE LOST, presence offline) and served again by itself when its device is "
                   "back. Events go to the line's event log.",
        .options = {{"state", "DIR",
                     "The service's own folder: the recordings and the event log go there unless "
                     "the line file's [service] names them."}},
        .takeOptions = TakeServeOptions,
        .prepare = ReadService,
        .runOnPort = ServeOnPort,
        .opensItself = true,
        .finish = StopControl,
    };
    ServeState state;
    return RunPortCommand(serve, argc, argv, &state);
}
