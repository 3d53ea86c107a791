// What the commands on recorded data share.
#include "plant/command_files.h"

#include "com232/parameterfile.h"
#include "detection/readrecording.h"
#include "options/options.h"
#include "textforms/dumpjson.h"

#include <cstdarg>
#include <string>

int ParseNumberOption(const CommandReport *report, const char *name, const char *text, double min,
                      double max, double *number) {
    if (ParseNumber(text, min, max, number))
        return 0;
    UsageFailure(report, "%s wants a number in %g..%g, not \"%s\"", name, min, max, text);
    return -1;
}

int UsageFailure(const CommandReport *report, const char *format, ...) {
    char why[1024];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(why, sizeof why, format, arguments);
    va_end(arguments);
    return UsageError(std::string("nvmxv451 ") + report->name, why);
}

void PrintJsonText(FILE *stream, const char *text) {
    std::fputs(DumpJson(text).c_str(), stream);
}

int CommandFailure(const CommandReport *report, int exitCode, const char *format, ...) {
    char message[1024];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(message, sizeof message, format, arguments);
    va_end(arguments);
    std::fprintf(stderr, "nvmxv451 %s: %s\n", report->name, message);
    if (report->json) {
        const nlohmann::ordered_json line = {
            {"command", report->name}, {"ok", false}, {"exit", exitCode}, {"message", message}};
        std::printf("%s\n", DumpJson(line).c_str());
    }
    return exitCode;
}

int ReadParameters(const CommandReport *report, const char *path, unsigned char *block) {
    if (ReadParameterFile(path, block) == 0)
        return 0;
    return CommandFailure(report, PLANT_EXIT_FILE, "%s: %s", parameterFileNotLoaded,
                          LastParameterFileError());
}

int ReadRecording(const CommandReport *report, const char *path, LoadedRecording *recording) {
    RecordingError error;
    recording->path = path;
    recording->frames.clear();
    if (ReadRecordingFile(path, &recording->frames, &error, &recording->firstLine) == 0)
        return 0;
    if (error.line == 0)
        return CommandFailure(report, PLANT_EXIT_FILE, "%s: %s", path, error.reason);
    return CommandFailure(report, PLANT_EXIT_FILE, "%s:%ld: %s", path, error.line, error.reason);
}
