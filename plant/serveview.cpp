#include "plant/serveview.h"

#include "com232/parameterfile.h"
#include "textforms/timestamp.h"

#include <cstdio>

namespace {

LineView *ViewOf(SensorJob *job) {
    return static_cast<ServeState *>(job->state)->view.get();
}

// The address and the password the line's web view is served with; false with failure set.
bool TakeWebAccess(const PlantOptions *options, const LineFile &line, WebOptions *web,
                   PortResult *failure) {
    const bool given = options->http[0] != '\0';
    std::string why;
    if (!ParseListenAddress(given ? options->http : line.web.listen, &web->address, &why)) {
        SetResult(failure, given ? PLANT_EXIT_USAGE : PLANT_EXIT_FILE, "NOT SERVED", "%s%s",
                  given ? "--http: " : (line.path + ": [web] listen: ").c_str(), why.c_str());
        return false;
    }
    if (IsLoopback(web->address))
        return true;
    const std::string shown = ShowAddress(web->address);
    if (line.web.passwordFile.empty()) {
        SetResult(failure, PLANT_EXIT_FILE, "NOT SERVED",
                  "the web view on %s is open to the network: the line file's [web] "
                  "password_file must name its password",
                  shown.c_str());
        return false;
    }
    if (!ReadPasswordFile(line.web.passwordFile, &web->password, &why)) {
        SetResult(failure, PLANT_EXIT_FILE, "NOT SERVED", "web view: %s", why.c_str());
        return false;
    }
    std::fprintf(stderr,
                 "nvmxv451 serve: warning: the web view on %s is open to the network; it asks "
                 "for the password of %s\n",
                 shown.c_str(), line.web.passwordFile.c_str());
    return true;
}

} // namespace

bool StartWebView(const PlantOptions *options, ServeState *serve, PortResult *failure) {
    // The sensors of this run (all of the line, or those of --sensor), in the run's order: a
    // sensor's thread tells the view by its number in the run.
    std::vector<LineView::Place> places;
    for (int i = 0; i < options->portCount; i++)
        places.push_back({options->sensorName[i], options->port[i], options->approved[i]});
    serve->view = std::make_unique<LineView>(serve->line.name, places);
    if (options->http[0] == '\0' && serve->line.web.listen.empty())
        return true;
    WebOptions web;
    web.changeLog = serve->line.logPath;
    if (!TakeWebAccess(options, serve->line, &web, failure))
        return false;
    serve->web = std::make_unique<WebServer>(serve->view.get());
    std::string why;
    if (!serve->web->start(web, &why)) {
        std::fprintf(stderr, "nvmxv451 serve: no web view: %s\n", why.c_str());
        serve->web.reset();
        return true;
    }
    ListenAddress bound = web.address;
    bound.port = serve->web->port();
    std::fprintf(stderr, "nvmxv451 serve: web view of line %s on http://%s/\n",
                 serve->line.name.c_str(), ShowAddress(bound).c_str());
    return true;
}

void StopWebView(ServeState *serve) {
    if (serve->web)
        serve->web->stop();
}

void ShowState(SensorJob *job, const char *presence, const std::string &state,
               const std::string &message) {
    ViewOf(job)->setState(job->sensor, presence, state, message, TimeStampNowMs());
}

void ShowFrame(SensorJob *job, long long ms, const unsigned char *frame) {
    ViewOf(job)->addFrame(job->sensor, ms, frame);
}

void ShowMemories(SensorJob *job, const SeenSensor &seen) {
    unsigned char approved[BLOCK_LENGTH];
    const bool known =
        job->plan->approved[0] != '\0' && ReadParameterFile(job->plan->approved, approved) == 0;
    ViewOf(job)->setTable(job->sensor, seen.ram);
    ViewOf(job)->setMemories(job->sensor, seen.ram, seen.eeprom, known ? approved : nullptr,
                             TimeStampNowMs());
}

void ShowHealth(SensorJob *job, const std::string &json) {
    nlohmann::ordered_json health = nlohmann::ordered_json::parse(json, nullptr, false);
    ViewOf(job)->setHealth(job->sensor, health.is_discarded() ? nullptr : std::move(health));
}

void ShowAlarms(SensorJob *job) {
    const auto &alarms = static_cast<ServeState *>(job->state)->alarms[job->sensor];
    std::vector<ViewAlarm> shown;
    for (const auto &[alarm, active] : alarms)
        shown.push_back({alarm, active.level, active.message, active.sinceMs});
    ViewOf(job)->setAlarms(job->sensor, std::move(shown));
}

void ShowEvent(SensorJob *job, nlohmann::ordered_json event) {
    ViewOf(job)->addEvent(job->sensor, std::move(event));
}
