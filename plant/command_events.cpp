// events: the line service's event log, filtered by sensor and time, for people or as its JSON
// lines.
#include "line/linefile.h"
#include "plant/commands.h"
#include "plant/logfilter.h"
#include "plant/portcommand.h"
#include "platform/system/optionparser.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

namespace {

// The event log of the line file's service: where serve writes it, with --state DIR as serve's.
bool EventLogPath(const ParsedCommandLine &parsed, std::string *path, std::string *why) {
    if (!parsed.isSet("line")) {
        *why = "events wants the --line file of the service";
        return false;
    }
    LineFile line;
    if (!ReadLineFile(parsed.value("line").c_str(), &line, why))
        return false;
    *path = parsed.isSet("state") && !line.service.eventsGiven
                ? parsed.value("state") + "/" + line.name + "-events.jsonl"
                : line.service.events;
    return true;
}

// "2026-12-09T09:05:53.561+00:00 infeed lost: the device went away during a data request".
std::string Described(const nlohmann::json &event) {
    const std::string message = event.value("message", "");
    return event.value("time", "") + " " + event.value("sensor", "") + " " +
           event.value("event", "") + (message.empty() ? "" : ": " + message);
}

bool IsEvent(const nlohmann::json &event) {
    for (const char *key : {"time", "sensor", "event", "message"})
        if (!event.contains(key) || !event[key].is_string())
            return false;
    return true;
}

} // namespace

int RunEventsCommand(int argc, char **argv) {
    CommandLineForm form;
    form.program = std::string(argc > 0 ? argv[0] : "nvmxv451") + " events";
    form.description = "Prints the line service's events, oldest first: every connection, loss, "
                       "replacement, restore, change made elsewhere and pause of a recording. "
                       "Lines it cannot use are named on standard error and skipped. Exit codes: "
                       "0 done (also when nothing happened yet), 2 usage, 3 the log cannot be "
                       "read.";
    form.options = {
        {"line", "FILE", "The line file of the service (required)."},
        {"state", "DIR", "The service's folder, as given to serve --state."},
        {"json", nullptr, "One JSON object per event, as logged."},
    };
    const std::vector<OptionForm> filterOptions = LogFilterOptions("events");
    form.options.insert(form.options.begin() + 2, filterOptions.begin(), filterOptions.end());
    ParsedCommandLine parsed;
    const int parsedCode = ParseOptions(form, argc, argv, 2, &parsed);
    if (parsedCode != COMMAND_LINE_RUN)
        return parsedCode;
    if (!parsed.positional.empty())
        return UsageError(form.program, "unexpected argument '" + parsed.positional[0] + "'");
    std::string path, why, text;
    LogFilter filter;
    if (!TakeLogFilter(parsed, &filter, &why) || !EventLogPath(parsed, &path, &why))
        return UsageError(form.program, why);
    if (const int code = ReadLogText("events", path, &text); code != PLANT_EXIT_OK)
        return code;
    std::istringstream lines(text);
    std::string line;
    for (long number = 1; std::getline(lines, line); number++) {
        if (line.empty())
            continue;
        const nlohmann::json event = nlohmann::json::parse(line, nullptr, false);
        if (!IsEvent(event)) {
            std::fprintf(stderr, "nvmxv451 events: %s: line %ld: not an event, skipped\n",
                         path.c_str(), number);
            continue;
        }
        if (Wanted(filter, event["sensor"].get<std::string>(), event["time"].get<std::string>()))
            std::printf("%s\n", parsed.isSet("json") ? line.c_str() : Described(event).c_str());
    }
    return PLANT_EXIT_OK;
}
