// The panel's command line, by its option table.
#include "platform/system/commandline.h"

#include "nvmxv451_version.h"
#include "platform/system/optionparser.h"
#include "telemetry/options.h"

#include <cstdio>

namespace {

// The table of commands is plant/'s, above this floor; the help's test holds this list to it.
const char headlessCommands[] =
    "  check     the line check: LINE OK or why not\n"
    "  get       a sensor's parameter block from RAM or EEPROM into a .dat file\n"
    "  send      a .dat file to a sensor's RAM or EEPROM\n"
    "  record    the measurement transfer into a CSV file\n"
    "  status    whether a sensor's RAM, EEPROM and approved file agree\n"
    "  snapshot  every sensor's RAM and EEPROM into a new folder\n"
    "  diff      a sensor against a file, a file against a file, or two snapshots\n"
    "  restore   the approved files (or a snapshot's) back into the sensors\n"
    "  log       the change log: every write of parameters to a sensor\n"
    "  serve     the line service: every sensor of a line served, recorded, reconnected\n"
    "  events    the line service's events: connections, losses, replacements, restores\n"
    "  borrow    one sensor of a served line taken out of its line service\n"
    "  return    a borrowed sensor given back to its line service\n"
    "  evaluate  recordings against a parameter set, by the detection model\n"
    "  tune      the teach table's tolerances from recordings of each colour";

CommandLineForm PanelCommandLine(const char *program) {
    CommandLineForm form;
    form.program = program;
    form.description = "The PC panel of the colour sensor.\n\nHeadless commands for scripts and "
                       "services (see '" +
                       form.program + " COMMAND --help'):\n" + headlessCommands;
    form.options = {
        {"v,version", nullptr, "Shows the program's version and ends."},
        {"port", "DEVICE|COMn", "Opens this serial port at start-up: a device path or COMn."},
        {"line", "FILE",
         "The line file: the panel serves the line's sensor --sensor NAME under its name, on its "
         "port, with the line's change log and broker (in place of --port)."},
        {"sensor", "NAME", "With --line: the line's sensor (needless when the line has one)."},
    };
    for (const OptionForm &option : TelemetryOptions())
        form.options.push_back(option);
    form.positionalName = nullptr;
    return form;
}

} // namespace

int ParseCommandLine(int argc, char **argv, PanelStart *start, TelemetryConfig *telemetry,
                     int *telemetryGiven) {
    const CommandLineForm form = PanelCommandLine(argc > 0 ? argv[0] : NVMX_PROGRAM);
    ParsedCommandLine parsed;
    const int code = ParseOptions(form, argc, argv, 1, &parsed);
    if (code != COMMAND_LINE_RUN)
        return code;
    if (!parsed.positional.empty())
        return UsageError(form.program, "unexpected argument '" + parsed.positional[0] + "'");
    if (parsed.isSet("version")) {
        std::printf("%s %s\n", NVMX_PROGRAM, NVMX_VERSION);
        return 0;
    }
    start->options = parsed;
    start->port = parsed.value("port");
    start->lineFile = parsed.value("line");
    start->sensor = parsed.value("sensor");
    if (parsed.isSet("line") && parsed.isSet("port"))
        return UsageError(form.program, "--line and --port exclude each other");
    if (parsed.isSet("sensor") && !parsed.isSet("line"))
        return UsageError(form.program, "--sensor picks a sensor of a --line file");
    bool given = false;
    std::string why;
    if (!ApplyTelemetryOptions(parsed, telemetry, &given, &why))
        return UsageError(form.program, why);
    *telemetryGiven = given ? 1 : 0;
    return COMMAND_LINE_RUN;
}
