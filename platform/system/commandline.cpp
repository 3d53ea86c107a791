// The panel's command line, by its option table.
#include "platform/system/commandline.h"

#include "nvmxv451_version.h"
#include "platform/system/optionparser.h"
#include "telemetry/options.h"

#include <cstdio>

namespace {

CommandLineForm PanelCommandLine(const char *program) {
    CommandLineForm form;
    form.program = program;
    form.description = "The PC panel of the colour sensor.\n\nHeadless commands for scripts and "
                       "services: check, get, send, record, evaluate, tune (see '" +
                       form.program + " COMMAND --help').";
    form.options = {
        {"v,version", nullptr, "Shows the program's version and ends."},
        {"port", "DEVICE|COMn", "Opens this serial port at start-up: a device path or COMn."},
    };
    for (const OptionForm &option : TelemetryOptions())
        form.options.push_back(option);
    form.positionalName = nullptr;
    return form;
}

} // namespace

int ParseCommandLine(int argc, char **argv, char *port, int size, TelemetryConfig *telemetry,
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
    if (!CopyWhole(parsed.value("port"), port, (size_t)size))
        return UsageError(form.program, "--port is too long");
    bool given = false;
    std::string why;
    if (!ApplyTelemetryOptions(parsed, telemetry, &given, &why))
        return UsageError(form.program, why);
    *telemetryGiven = given ? 1 : 0;
    return COMMAND_LINE_RUN;
}
