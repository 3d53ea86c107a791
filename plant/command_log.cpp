// log: the change log, filtered by sensor and time, for people or as its JSON lines.
#include "changes/changelog.h"
#include "changes/changelogread.h"
#include "line/linefile.h"
#include "plant/commands.h"
#include "plant/logfilter.h"
#include "plant/portcommand.h"
#include "platform/system/optionparser.h"

#include <nlohmann/json.hpp>

#include <cstdio>

namespace {

bool TakeLogOptions(const ParsedCommandLine &parsed, std::string *path, LogFilter *filter,
                    std::string *why) {
    if (!TakeLogFilter(parsed, filter, why))
        return false;
    if (parsed.isSet("file") && parsed.isSet("line")) {
        *why = "--file and --line exclude each other";
        return false;
    }
    *path = parsed.isSet("file") ? parsed.value("file") : UserChangeLogPath();
    if (!parsed.isSet("line"))
        return true;
    LineFile line;
    if (!ReadLineFile(parsed.value("line").c_str(), &line, why))
        return false;
    if (line.logPath.empty()) {
        *why = "the line file names no log";
        return false;
    }
    *path = line.logPath;
    return true;
}

} // namespace

int RunLogCommand(int argc, char **argv) {
    CommandLineForm form;
    form.program = std::string(argc > 0 ? argv[0] : "nvmxv451") + " log";
    form.description = "Prints the change log: every write of parameters to a sensor, by the "
                       "panel and the commands, oldest first, with its outcome (\"interrupted: "
                       "outcome unknown\" when the writing process was killed before it). Lines "
                       "it cannot use are named on standard error and skipped. Exit codes: 0 "
                       "done (also when nothing was logged yet), 2 usage (a bad option or time), "
                       "3 the log cannot be read.";
    form.options = {
        {"file", "FILE", "Reads FILE instead of the user's log."},
        {"line", "FILE", "Reads the log that the line file names."},
        {"json", nullptr,
         "One JSON object per write: its logged line with its outcome (\"verify\") joined."},
    };
    const std::vector<OptionForm> filterOptions = LogFilterOptions("writes");
    form.options.insert(form.options.begin(), filterOptions.begin(), filterOptions.end());
    ParsedCommandLine parsed;
    const int parsedCode = ParseOptions(form, argc, argv, 2, &parsed);
    if (parsedCode != COMMAND_LINE_RUN)
        return parsedCode;
    if (!parsed.positional.empty())
        return UsageError(form.program, "unexpected argument '" + parsed.positional[0] + "'");
    std::string path, why, text;
    LogFilter filter;
    if (!TakeLogOptions(parsed, &path, &filter, &why))
        return UsageError(form.program, why);
    if (const int code = ReadLogText("log", path, &text); code != PLANT_EXIT_OK)
        return code;
    const ChangeLogRead log = ReadChangeLog(text);
    for (const std::string &problem : log.problems)
        std::fprintf(stderr, "nvmxv451 log: %s: %s\n", path.c_str(), problem.c_str());
    for (const LoggedWrite &write : log.writes)
        if (Wanted(filter, write.sensor, write.time))
            std::printf(
                "%s\n",
                parsed.isSet("json")
                    ? write.json.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace)
                          .c_str()
                    : DescribeLoggedWrite(write).c_str());
    return PLANT_EXIT_OK;
}
