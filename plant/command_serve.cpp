// serve: the line service. Every sensor of a line on a thread of its own until SIGTERM: the line
// checked, both memories read, every frame recorded into files that rotate and are kept within
// the line's limits. A sensor that goes away is told at once (LINE LOST with the reason, its
// presence offline) and served again by itself as soon as its device is back; the other
// sensors never notice. Every connection, loss and pause of the recording is an event. The line's
// commands are lent its sensors through the line's control socket.
#include "files/regularfile.h"
#include "plant/commands.h"
#include "plant/sensorjob.h"
#include "plant/servehealth.h"
#include "plant/servestate.h"
#include "plant/serveview.h"
#include "platform/serial/rs232.h"
#include "recording/rotation.h"
#include "telemetry/telemetry.h"
#include "textforms/timestamp.h"

#include <chrono>
#include <cstdio>
#include <memory>
#include <sys/stat.h>
#include <thread>

namespace {

// A sensor that is away is looked for this often: back within 2 s means found within this.
constexpr auto LOOK_AGAIN = std::chrono::milliseconds(200);
constexpr auto NOT_ANSWERING_AGAIN = std::chrono::milliseconds(2000);

bool TakeServeOptions(const ParsedCommandLine &parsed, PlantOptions *options, std::string *why) {
    if (!options->lineFile[0]) {
        *why = "serve wants the --line file of the sensors it serves";
        return false;
    }
    if (!CopyPathOption(parsed.value("http"), "--http", options->http, why))
        return false;
    ListenAddress address;
    if (options->http[0] && !ParseListenAddress(options->http, &address, why)) {
        *why = "--http: " + *why;
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
    return StartControl(options, serve, failure) && StartWebView(options, serve, failure);
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
    std::fprintf(stderr,
                 "nvmxv451 serve: no control socket (%s): the line's commands will find "
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
    StopWebView(serve);
}

// What the sensor's frame loop works with.
struct ServedSensor {
    SensorJob *job;
    RotatingRecording recording;
    ServedHealth health;
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
        if (outcome == SESSION_TIMEOUT)
            served->health.monitor.addTimeout(TimeStampNowMs());
        TakeSessionOutcome(served->job, outcome);
        return false;
    }
    if (LoanWanted(served->job))
        return false;
    ++served->frames;
    const auto now = RecordingClock::now();
    // The frame's one time stamp: in its recording and for its health alike.
    const long long stamp = TimeStampNowMs();
    ShowFrame(served->job, stamp, frame);
    WatchHealth(served->job, &served->health, stamp, frame);
    RotationEvent event = RecordRotating(&served->recording, frame, now, stamp);
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

// Opens and checks the line; the first failure of a row of them is an event. A sensor that was
// served keeps showing what ended its connection (LINE LOST and why) until it is back.
bool Connect(SensorJob *job, bool *failureTold, bool everConnected) {
    if (!DevicePresent(job) || !OpenAndCheckLine(job)) {
        const std::string why =
            DevicePresent(job) ? job->result->message : "the device is not there";
        if (!everConnected)
            ShowState(job, "offline", "NOT CONNECTED", why);
        if (!*failureTold)
            TellEvent(job, "not connected", why);
        *failureTold = true;
        return false;
    }
    *failureTold = false;
    return true;
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
    ShowState(job, "lent", "LENT", "to " + loan.to);
    LoansOf(job).lendWhileWanted(job->sensor, KeepWaiting());
    return loan.to;
}

void ServeOnPort(SensorJob *job) {
    const ServeState *serve = static_cast<const ServeState *>(job->state);
    const LineService &service = serve->line.service;
    ServedSensor served{job, {}, ServedHealth(job->plan->name, serve->line.health)};
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
        if (!Connect(job, &failureTold, connections > 0)) {
            CloseCom(job->plan->number);
            WaitBeforeLookingAgain(job);
            continue;
        }
        ++connections;
        TellEvent(job, "connected", job->session.identity);
        ShowState(job, "online", "LINE OK", job->session.identity);
        ClearAlarms(job, {"lost", "not answering"});
        unsigned char frame[FRAME_LENGTH];
        SeenSensor seen;
        if (ReadMemories(job, &seen)) {
            const SeenSensor stock = TakeStock(job, seen, lentTo);
            ShowMemories(job, stock);
            TakeHealthTable(&served.health, stock.ram);
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
        ShowState(job, "offline", job->session.status, job->session.message);
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
                     "the line file's [service] names them."},
                    {"http", "ADDRESS:PORT",
                     "Serves the line's web view there (PORT alone: on loopback), instead of the "
                     "line file's [web] listen. An address open to the network asks for the "
                     "password of [web] password_file."}},
        .takeOptions = TakeServeOptions,
        .prepare = ReadService,
        .runOnPort = ServeOnPort,
        .opensItself = true,
        .finish = StopControl,
    };
    ServeState state;
    return RunPortCommand(serve, argc, argv, &state);
}
