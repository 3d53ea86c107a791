// nvmxv451 tune: options, the samples of each row, the tuning, the report and the file.

#include "com232/parameterfile.h"
#include "detection/model.h"
#include "detection/report.h"
#include "detection/tune.h"
#include "plant/command_files.h"
#include "plant/commands.h"
#include "platform/system/optionparser.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

const char description[] =
    "Tunes the tolerances of the COLOR TEACH TABLE from recordings of each colour (the CSV files "
    "of the recorder and of nvmxv451 record), with the program's model of the sensor's colour "
    "detection, not the sensor itself. Every row's X, Y and INT become the means of its samples; "
    "its CTO and ITO hold all of its samples and none of another row's (circles may overlap where "
    "the INT bands keep the samples apart), with the smallest margin as large as it can be, and "
    "at most what the teach rule gives: the farthest sample + K standard deviations + M, at least "
    "2. Samples below INTLIM are never detected and are left out. Two colours that no circles and "
    "bands can tell apart are named with their colliding samples, and nothing is written.\n"
    "\n"
    "Reports each row's tolerances and margins, the smallest margin, the confusion table (the "
    "samples' row against the model's C-No, 255 included) and each row's coverage.\n"
    "\n"
    "Example: nvmxv451 tune --row 0 red.csv --row 1 blue.csv -o tuned.dat";

const char exitCodes[] =
    "\nExit codes: 0 written, 2 usage, 3 a file that cannot be read or written, 8 two rows\n"
    "cannot be told apart (nothing written).\n";

enum { GO_ON = -1 };

// The nine parameters that a fresh panel starts with: POWER 128 on the slider (stored inverted),
// STAT, AVERAGE 1, CONT, EVALMODE 0, INTLIM 10, HOLD 0, MAXCOL-No. 1, BINARY.
const unsigned char freshParameters[PARAMETER_COUNT] = {127, 0, 1, 1, 0, 10, 0, 1, 2};

struct TuneOptions {
    std::vector<std::string> files[TEACH_ROWS]; // per row
    int rows = 0;
    std::string output;
    std::string base; // "": the parameters of a fresh panel
    int force = 0;
    TeachRule rule = DEFAULT_TEACH_RULE;
};

// The recordings of every "--row N FILE" by row.
int TakeRows(CommandReport *report, const ParsedCommandLine &parsed, TuneOptions *options) {
    for (const std::vector<std::string> &use : parsed.uses("row")) {
        const char *number = use[0].c_str();
        char *end = nullptr;
        const long row = std::strtol(number, &end, 10);
        if (end == number || *end != '\0' || row < 0 || row >= TEACH_ROWS)
            return UsageFailure(report, "--row wants a row 0..14, not \"%s\"", number);
        options->files[row].push_back(use[1]);
    }
    return GO_ON;
}

// The rows given must be 0 to n - 1: the active rows of the table.
int CountRows(CommandReport *report, TuneOptions *options) {
    while (options->rows < TEACH_ROWS && !options->files[options->rows].empty())
        ++options->rows;
    for (int row = options->rows; row < TEACH_ROWS; ++row) {
        if (!options->files[row].empty())
            return UsageFailure(report, "row %d is given but row %d is not: rows are 0 to n-1", row,
                                options->rows);
    }
    if (options->rows == 0)
        return UsageFailure(report, "no --row given");
    return GO_ON;
}

CommandLineForm TuneForm(const char *program) {
    CommandLineForm form;
    form.program = std::string(program) + " tune";
    form.description = description;
    form.options = {
        {"row", "N FILE",
         "A recording of the colour for row N; rows 0 to n-1, each at least once, a row may have "
         "several; MAXCOL-No. becomes n.",
         2, "a row number and a recording"},
        {"o,output", "FILE", "The parameter file to write (never replaced without --force)."},
        {"base", "FILE",
         "The other parameters and rows from this file; without it those a fresh panel starts "
         "with (INTLIM 10, EVALMODE 0, OUTMODE BINARY) and the other rows' cells 1."},
        {"k", "K", "Standard deviations in the teach rule (default 1)."},
        {"margin", "M", "Units added in the teach rule (default 1)."},
        {"force", nullptr, "Replaces an existing output file."},
        {"json", nullptr, "One JSON object on standard output."},
    };
    form.epilogue = exitCodes;
    return form;
}

// Returns GO_ON, or the exit code of a run that ends here (help, usage error).
int ReadCommandLine(CommandReport *report, int argc, char **argv, TuneOptions *options) {
    ParsedCommandLine parsed;
    const int parsedCode =
        ParseOptions(TuneForm(argc > 0 ? argv[0] : "nvmxv451"), argc, argv, 2, &parsed);
    if (parsedCode != COMMAND_LINE_RUN)
        return parsedCode;
    if (TakeRows(report, parsed, options) != GO_ON)
        return PLANT_EXIT_USAGE;
    if (!parsed.positional.empty())
        return UsageFailure(report, "unexpected \"%s\"", parsed.positional[0].c_str());
    report->json = parsed.isSet("json");
    options->force = parsed.isSet("force");
    options->base = parsed.value("base");
    double number = 0;
    if (parsed.isSet("k")) {
        if (ParseNumberOption(report, "--k", parsed.value("k").c_str(), 0, 100, &number) != 0)
            return PLANT_EXIT_USAGE;
        options->rule.k = number;
    }
    if (parsed.isSet("margin")) {
        if (ParseNumberOption(report, "--margin", parsed.value("margin").c_str(), 0, 255,
                              &number) != 0)
            return PLANT_EXIT_USAGE;
        options->rule.margin = number;
    }
    if (!parsed.isSet("output"))
        return UsageFailure(report, "-o FILE is missing");
    options->output = parsed.value("output");
    return CountRows(report, options);
}

// One recording's part of a row's samples: the sample at index i >= start stands on line
// firstLine + i - start of the recording.
struct Segment {
    const char *path;
    size_t start;
    long firstLine;
};

struct RowSamples {
    std::vector<ColourSample> samples;
    std::vector<Segment> segments;
};

struct Run {
    TuneOptions options;
    CommandReport command = {"tune", 0};
    unsigned char base[BLOCK_LENGTH];
    RowSamples rows[TEACH_ROWS];
    std::unique_ptr<TuneResult> result = std::make_unique<TuneResult>();
};

void FreshBase(unsigned char block[BLOCK_LENGTH]) {
    std::memset(block, 1, BLOCK_LENGTH); // the cells as after a table reset
    std::memcpy(block, freshParameters, PARAMETER_COUNT);
}

int ReadSamples(Run *run) {
    LoadedRecording recording;
    for (int row = 0; row < run->options.rows; ++row) {
        RowSamples *target = &run->rows[row];
        for (const std::string &file : run->options.files[row]) {
            const char *path = file.c_str();
            const int code = ReadRecording(&run->command, path, &recording);
            if (code != 0)
                return code;
            target->segments.push_back(Segment{path, target->samples.size(), recording.firstLine});
            for (const RecordedFrame &frame : recording.frames)
                target->samples.push_back(SampleOfFrame(frame.values));
        }
    }
    return 0;
}

const Segment &SegmentOf(const Run &run, SampleRef ref) {
    const std::vector<Segment> &segments = run.rows[ref.row].segments;
    size_t k = segments.size() - 1;
    while (k > 0 && segments[k].start > (size_t)ref.index)
        --k;
    return segments[k];
}

long LineOf(const Run &run, SampleRef ref) {
    const Segment &segment = SegmentOf(run, ref);
    return segment.firstLine + ref.index - (long)segment.start;
}

const ColourSample &SampleOf(const Run &run, SampleRef ref) {
    return run.rows[ref.row].samples[(size_t)ref.index];
}

std::string SampleName(SampleRef ref, const void *context) {
    const Run &run = *static_cast<const Run *>(context);
    const ColourSample &sample = SampleOf(run, ref);
    std::string name;
    AppendReport(&name, "%s:%ld (row %d: X %d, Y %d, INT %d)", SegmentOf(run, ref).path,
                 LineOf(run, ref), ref.row, sample.x, sample.y, sample.intensity);
    return name;
}

void PrintText(const Run &run) {
    TunedSamples samples = {run.options.rule, SampleName, &run, {}};
    for (int r = 0; r < run.result->rows; ++r) {
        std::string sources;
        for (const Segment &segment : run.rows[r].segments)
            AppendReport(&sources, "%s%s", sources.empty() ? "" : ", ", segment.path);
        samples.sources.push_back(sources);
    }
    std::string text;
    AppendTuningReport(&text, *run.result, samples, REPORT_TERMINAL);
    std::fputs(text.c_str(), stdout);
}

void PrintSampleJson(const Run &run, SampleRef ref) {
    const ColourSample &sample = SampleOf(run, ref);
    std::printf("{\"file\":");
    PrintJsonText(stdout, SegmentOf(run, ref).path);
    std::printf(",\"line\":%ld,\"row\":%d,\"index\":%ld,\"x\":%d,\"y\":%d,\"int\":%d}",
                LineOf(run, ref), ref.row, ref.index, sample.x, sample.y, sample.intensity);
}

void PrintRowJson(const Run &run, int r) {
    const TuneResult *result = run.result.get();
    const TunedRow &row = result->row[r];
    std::printf("%s{\"row\":%d,\"files\":[", r ? "," : "", r);
    for (size_t i = 0; i < run.rows[r].segments.size(); ++i) {
        std::printf("%s", i ? "," : "");
        PrintJsonText(stdout, run.rows[r].segments[i].path);
    }
    std::printf("],\"samples\":%zu,\"belowIntlim\":%ld,\"x\":%d,\"y\":%d,\"int\":%d,\"cto\":%d,"
                "\"ito\":%d,\"margin\":%.4f,\"insideCircle\":%.4f",
                run.rows[r].samples.size(), row.belowLimit, row.teach.x, row.teach.y,
                row.teach.intensity, row.cto, row.ito, row.margin, row.insideCircle);
    if (result->checksBand)
        std::printf(",\"insideBand\":%d", row.insideBand);
    if (row.hasOther) {
        std::printf(",\"outside\":%.4f,\"nearestOther\":", row.outside);
        PrintSampleJson(run, row.nearestOther);
    }
    std::printf(",\"coverage\":%.6f}", row.coverage);
}

void PrintJson(const Run &run, const char *written) {
    const TuneResult *result = run.result.get();
    const bool separated = result->status == TUNE_SEPARATED;
    std::printf("{\"command\":\"tune\",\"ok\":%s,\"exit\":%d,"
                "\"model\":\"the program's model of the sensor, not the sensor\",\"separated\":%s,"
                "\"rows\":[",
                written ? "true" : "false", written ? 0 : (int)PLANT_EXIT_NOT_SEPARATED,
                separated ? "true" : "false");
    for (int r = 0; r < result->rows; ++r)
        PrintRowJson(run, r);
    std::printf("],\"smallestMargin\":%.4f,\"smallestRow\":%d,\"collisions\":%ld,\"colliding\":[",
                result->smallestMargin, result->smallestRow, result->collisions);
    for (int i = 0; i < result->shownCollisions; ++i) {
        std::printf("%s{\"row\":%d,\"intruder\":", i ? "," : "", result->collision[i].row);
        PrintSampleJson(run, result->collision[i].intruder);
        std::printf(",\"nearest\":");
        PrintSampleJson(run, result->collision[i].nearest);
        std::printf("}");
    }
    std::printf("],\"confusion\":{\"columns\":[");
    for (int c = 0; c < result->rows; ++c)
        std::printf("%d,", c);
    std::printf("%d],\"rows\":[", NO_COLOUR);
    for (int r = 0; r < result->rows; ++r) {
        std::printf("%s[", r ? "," : "");
        for (int c = 0; c < result->rows; ++c)
            std::printf("%ld,", result->confusion[r][c]);
        std::printf("%ld]", result->confusion[r][CONFUSION_NONE]);
    }
    std::printf("]},\"file\":");
    if (written)
        PrintJsonText(stdout, written);
    else
        std::printf("null");
    std::printf("}\n");
}

bool Exists(const char *path) {
    struct stat facts;
    return ::lstat(path, &facts) == 0;
}

// Returns GO_ON with every input read, or the exit code of a run that ends here.
int ReadInputs(Run *run, int argc, char **argv) {
    int code = ReadCommandLine(&run->command, argc, argv, &run->options);
    if (code != GO_ON)
        return code;
    const char *output = run->options.output.c_str();
    if (!run->options.force && Exists(output))
        return CommandFailure(&run->command, PLANT_EXIT_FILE,
                              "%s exists already; --force replaces it", output);
    if (run->options.base.empty())
        FreshBase(run->base);
    else if ((code = ReadParameters(&run->command, run->options.base.c_str(), run->base)) != 0)
        return code;
    return (code = ReadSamples(run)) != 0 ? code : GO_ON;
}

} // namespace

int RunTuneCommand(int argc, char **argv) {
    Run run;
    const int code = ReadInputs(&run, argc, argv);
    if (code != GO_ON) // --help, or a run that failed before tuning
        return code;
    SampleSet sets[TEACH_ROWS];
    for (int row = 0; row < run.options.rows; ++row)
        sets[row] = SampleSet{run.rows[row].samples.data(), run.rows[row].samples.size()};
    const int status =
        TuneTolerances(run.base, sets, run.options.rows, &run.options.rule, run.result.get());
    if (status == TUNE_REFUSED)
        return CommandFailure(&run.command, PLANT_EXIT_NOT_SEPARATED, "cannot tune: %s",
                              run.result->reason);
    // Only a table that separates every row reaches a file.
    const bool writeFailed = status == TUNE_SEPARATED &&
                             WriteParameterFile(run.options.output.c_str(), run.result->block) != 0;
    if (writeFailed) {
        if (!run.command.json)
            PrintText(run);
        return CommandFailure(&run.command, PLANT_EXIT_FILE, "%s: %s", parameterFileNotSaved,
                              LastParameterFileError());
    }
    const char *written = status == TUNE_SEPARATED ? run.options.output.c_str() : nullptr;
    if (run.command.json) {
        PrintJson(run, written);
    } else {
        PrintText(run);
        if (written)
            std::printf("written: %s (MAXCOL-No. %d)\n", written, run.options.rows);
        else
            std::printf("nothing written\n");
    }
    std::fflush(stdout);
    return written ? (int)PLANT_EXIT_OK : (int)PLANT_EXIT_NOT_SEPARATED;
}
