// borrow and return: one sensor of a served line taken out of its line service (for the panel,
// or a tool of one's own, on its port) and given back. While it is out the service leaves its
// port alone, also across its restarts; given back, the service takes stock of it again and
// takes what the borrower changed as the sensor's new state.
#include "control/control.h"
#include "line/linefile.h"
#include "plant/commands.h"
#include "platform/system/optionparser.h"

#include <cstdio>
#include <string>

namespace {

// The line and its one sensor, from --line FILE --sensor NAME.
bool TakeLineSensor(const ParsedCommandLine &parsed, LineFile *line, std::string *sensor,
                    std::string *why) {
    if (!parsed.isSet("line") || parsed.values("sensor").size() != 1) {
        *why = "wants the --line file and one --sensor NAME";
        return false;
    }
    std::vector<LineSensor> picked;
    if (!ReadLineFile(parsed.value("line").c_str(), line, why) ||
        !PickSensors(*line, parsed.values("sensor"), &picked, why))
        return false;
    *sensor = picked[0].name;
    return true;
}

int RunLoanCommand(int argc, char **argv, bool borrow) {
    CommandLineForm form;
    const char *name = borrow ? "borrow" : "return";
    form.program = std::string(argc > 0 ? argv[0] : "nvmxv451") + " " + name;
    form.description =
        borrow ? "Takes one sensor out of the line service that serves the --line file: the "
                 "service gives its port up (after a restore under way), until the sensor is "
                 "given back with return, also across restarts of the service. Exit codes: 0 "
                 "lent, 2 usage, 4 the line is not served or the service did not lend it."
               : "Gives a borrowed sensor back to its line service, which serves it again at "
                 "once: it reads both memories and takes what was changed meanwhile as the "
                 "sensor's state. Exit codes: 0 given back, 2 usage, 4 the line is not served "
                 "or the sensor was not borrowed.";
    form.options = {
        {"line", "FILE", "The line file of the service (required)."},
        {"sensor", "NAME", "The sensor (required)."},
    };
    ParsedCommandLine parsed;
    const int parsedCode = ParseOptions(form, argc, argv, 2, &parsed);
    if (parsedCode != COMMAND_LINE_RUN)
        return parsedCode;
    LineFile line;
    std::string sensor, why;
    if (!parsed.positional.empty())
        return UsageError(form.program, "unexpected argument '" + parsed.positional[0] + "'");
    if (!TakeLineSensor(parsed, &line, &sensor, &why))
        return UsageError(form.program, why);
    LineControl control;
    const LocalReach reach = control.connect(line.service.control, &why);
    if (reach == LOCAL_NOBODY)
        why = "line '" + line.name + "' is not served (no service answers at " +
              line.service.control + ")";
    const bool done =
        reach == LOCAL_CONNECTED &&
        (borrow ? BorrowFromService(&control, sensor, LenderName("nvmxv451 borrow"), &why)
                : GiveBackToService(&control, sensor, &why));
    if (!done) {
        std::fprintf(stderr, "nvmxv451 %s: %s: %s\n", name, sensor.c_str(), why.c_str());
        return PLANT_EXIT_PORT;
    }
    if (borrow)
        std::printf("%s: BORROWED: the line service of line '%s' has given it up; give it back "
                    "with: nvmxv451 return --line %s --sensor %s\n",
                    sensor.c_str(), line.name.c_str(), parsed.value("line").c_str(),
                    sensor.c_str());
    else
        std::printf("%s: RETURNED: the line service of line '%s' serves it again\n", sensor.c_str(),
                    line.name.c_str());
    return PLANT_EXIT_OK;
}

} // namespace

int RunBorrowCommand(int argc, char **argv) {
    return RunLoanCommand(argc, argv, true);
}

int RunReturnCommand(int argc, char **argv) {
    return RunLoanCommand(argc, argv, false);
}
