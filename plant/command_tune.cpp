// nvmxv451 tune: options, the samples of each row, the tuning, the report and the file.

#include "com232/parameterfile.h"
#include "detection/model.h"
#include "detection/tune.h"
#include "plant/command_files.h"
#include "plant/commands.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

const char usageText[] =
    "Usage: nvmxv451 tune --row 0 a.csv --row 1 b.csv ... -o tuned.dat [--base current.dat]\n"
    "                     [--k K] [--margin M] [--force] [--json]\n"
    "Tunes the tolerances of the COLOR TEACH TABLE from recordings of each colour (the CSV files\n"
    "of the recorder and of nvmxv451 record), with the program's model of the sensor's colour\n"
    "detection, not the sensor itself. Every row's X, Y and INT become the means of its samples;\n"
    "its CTO and ITO hold all of its samples and none of another row's (circles may overlap where\n"
    "the INT bands keep the samples apart), with the smallest margin as large as it can be, and\n"
    "at most what the teach rule gives: the farthest sample + K standard deviations + M, at least\n"
    "2. Samples below INTLIM are never detected and are left out. Two colours that no circles and\n"
    "bands can tell apart are named with their colliding samples, and nothing is written.\n"
    "Reports each row's tolerances and margins, the smallest margin, the confusion table (the\n"
    "samples' row against the model's C-No, 255 included) and each row's coverage.\n"
    "\n"
    "  --row N FILE       a recording of the colour for row N; rows 0 to n-1, each at least once,\n"
    "                     a row may have several; MAXCOL-No. becomes n\n"
    "  -o, --output FILE  the parameter file to write (never replaced without --force)\n"
    "  --base FILE        the other parameters and rows from this file; without it those a\n"
    "                     fresh panel starts with (INTLIM 10, EVALMODE 0, OUTMODE BINARY) and\n"
    "                     the other rows' cells 1\n"
    "  --k K              standard deviations in the teach rule (default 1)\n"
    "  --margin M         units added in the teach rule (default 1)\n"
    "  --force            replace an existing output file\n"
    "  --json             one JSON object on standard output\n"
    "  --help             this text\n"
    "\n"
    "Exit codes: 0 written, 2 usage, 3 a file that cannot be read or written, 8 two rows cannot\n"
    "be told apart (nothing written).\n";

enum { GO_ON = -1 };

// The nine parameters that a fresh panel starts with: POWER 128 on the slider (stored inverted),
// STAT, AVERAGE 1, CONT, EVALMODE 0, INTLIM 10, HOLD 0, MAXCOL-No. 1, BINARY.
const unsigned char freshParameters[PARAMETER_COUNT] = {127, 0, 1, 1, 0, 10, 0, 1, 2};

struct TuneOptions {
    std::vector<const char *> files[TEACH_ROWS]; // per row
    int rows = 0;
    const char *output = nullptr;
    const char *base = nullptr;
    int force = 0;
    TeachRule rule = DEFAULT_TEACH_RULE;
};

int TakeRow(CommandReport *report, int argc, char **argv, int *i, TuneOptions *options) {
    if (*i + 2 >= argc)
        return UsageFailure(report, "--row wants a row number and a recording");
    char *end = nullptr;
    const long row = std::strtol(argv[*i + 1], &end, 10);
    if (end == argv[*i + 1] || *end != '\0' || row < 0 || row >= TEACH_ROWS)
        return UsageFailure(report, "--row wants a row 0..14, not \"%s\"", argv[*i + 1]);
    options->files[row].push_back(argv[*i + 2]);
    *i += 2;
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

// Returns GO_ON, or the exit code of a run that ends here (help, usage error).
int ParseOptions(CommandReport *report, int argc, char **argv, TuneOptions *options) {
    for (int i = 2; i < argc; ++i) {
        const char *value = nullptr;
        int taken = 0;
        double number = 0;
        if (std::strcmp(argv[i], "--help") == 0) {
            std::fputs(usageText, stdout);
            return COMMAND_EXIT_OK;
        } else if (std::strcmp(argv[i], "--json") == 0) {
            report->json = 1;
        } else if (std::strcmp(argv[i], "--force") == 0) {
            options->force = 1;
        } else if (std::strcmp(argv[i], "--row") == 0) {
            if (TakeRow(report, argc, argv, &i, options) != GO_ON)
                return COMMAND_EXIT_USAGE;
        } else if ((taken = TakeOption(report, argc, argv, &i, "-o", &value)) != 0 ||
                   (taken = TakeOption(report, argc, argv, &i, "--output", &value)) != 0) {
            if (taken < 0)
                return COMMAND_EXIT_USAGE;
            options->output = value;
        } else if ((taken = TakeOption(report, argc, argv, &i, "--base", &value)) != 0) {
            if (taken < 0)
                return COMMAND_EXIT_USAGE;
            options->base = value;
        } else if ((taken = TakeOption(report, argc, argv, &i, "--k", &value)) != 0) {
            if (taken < 0 || ParseNumberOption(report, "--k", value, 0, 100, &number) != 0)
                return COMMAND_EXIT_USAGE;
            options->rule.k = number;
        } else if ((taken = TakeOption(report, argc, argv, &i, "--margin", &value)) != 0) {
            if (taken < 0 || ParseNumberOption(report, "--margin", value, 0, 255, &number) != 0)
                return COMMAND_EXIT_USAGE;
            options->rule.margin = number;
        } else {
            return UsageFailure(report, "unexpected \"%s\"", argv[i]);
        }
    }
    if (options->output == nullptr)
        return UsageFailure(report, "-o FILE is missing");
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
        for (const char *path : run->options.files[row]) {
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

void PrintSampleText(const Run &run, SampleRef ref) {
    const ColourSample &sample = SampleOf(run, ref);
    std::printf("%s:%ld (row %d: X %d, Y %d, INT %d)", SegmentOf(run, ref).path, LineOf(run, ref),
                ref.row, sample.x, sample.y, sample.intensity);
}

void PrintRowText(const Run &run, int r) {
    const TuneResult *result = run.result.get();
    const TunedRow &row = result->row[r];
    std::printf("row %d: %zu samples (", r, run.rows[r].samples.size());
    for (size_t i = 0; i < run.rows[r].segments.size(); ++i)
        std::printf("%s%s", i ? ", " : "", run.rows[r].segments[i].path);
    std::printf(")");
    if (row.belowLimit > 0)
        std::printf(", %ld below INTLIM left out", row.belowLimit);
    std::printf("; X %d, Y %d, INT %d; CTO %d, ITO %d; margin %.2f: the farthest own sample %.2f "
                "inside the circle",
                row.teach.x, row.teach.y, row.teach.intensity, row.cto, row.ito, row.margin,
                row.insideCircle);
    if (result->checksBand)
        std::printf(" and %d inside the band", row.insideBand);
    if (row.hasOther) {
        std::printf(", the nearest sample of another row %.2f outside: ", row.outside);
        PrintSampleText(run, row.nearestOther);
    }
    std::printf("\n");
}

void PrintConfusionText(const Run &run) {
    const TuneResult *result = run.result.get();
    std::printf("confusion table (rows: the samples' row; columns: the model's C-No):\n  row");
    for (int c = 0; c < result->rows; ++c)
        std::printf(" %8d", c);
    std::printf(" %8d\n", NO_COLOUR);
    for (int r = 0; r < result->rows; ++r) {
        std::printf("  %3d", r);
        for (int c = 0; c < result->rows; ++c)
            std::printf(" %8ld", result->confusion[r][c]);
        std::printf(" %8ld\n", result->confusion[r][CONFUSION_NONE]);
    }
    std::printf("coverage:");
    for (int r = 0; r < result->rows; ++r)
        std::printf("%s row %d %.2f %%", r ? "," : "", r, 100.0 * result->row[r].coverage);
    std::printf("\n");
}

void PrintCollisionsText(const Run &run) {
    const TuneResult *result = run.result.get();
    std::printf("%ld sample%s of other rows lie inside the smallest circle and band that hold a "
                "row's own samples; these colours cannot be told apart:\n",
                result->collisions, result->collisions == 1 ? "" : "s");
    for (int i = 0; i < result->shownCollisions; ++i) {
        const Collision &collision = result->collision[i];
        std::printf("  ");
        PrintSampleText(run, collision.intruder);
        std::printf(" lies inside row %d, next to its sample ", collision.row);
        PrintSampleText(run, collision.nearest);
        std::printf("\n");
    }
}

void PrintText(const Run &run) {
    const TuneResult *result = run.result.get();
    std::printf("Tuned with the program's model of the sensor's colour detection (not the sensor) "
                "from %d row%s of samples.\n",
                result->rows, result->rows == 1 ? "" : "s");
    for (int r = 0; r < result->rows; ++r)
        PrintRowText(run, r);
    std::printf("smallest margin: %.2f (row %d)\n", result->smallestMargin, result->smallestRow);
    if (result->status == TUNE_COLLIDING)
        PrintCollisionsText(run);
    PrintConfusionText(run);
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
                written ? "true" : "false", written ? 0 : (int)TUNE_EXIT_NOT_SEPARATED,
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

int ReadInputs(Run *run, int argc, char **argv) {
    int code = ParseOptions(&run->command, argc, argv, &run->options);
    if (code != GO_ON)
        return code;
    if (!run->options.force && Exists(run->options.output))
        return CommandFailure(&run->command, COMMAND_EXIT_FILE,
                              "%s exists already; --force replaces it", run->options.output);
    if (run->options.base == nullptr)
        FreshBase(run->base);
    else if ((code = ReadParameters(&run->command, run->options.base, run->base)) != 0)
        return code;
    return ReadSamples(run);
}

} // namespace

int RunTuneCommand(int argc, char **argv) {
    Run run;
    int code = ReadInputs(&run, argc, argv);
    if (code != 0)
        return code;
    SampleSet sets[TEACH_ROWS];
    for (int row = 0; row < run.options.rows; ++row)
        sets[row] = SampleSet{run.rows[row].samples.data(), run.rows[row].samples.size()};
    const int status =
        TuneTolerances(run.base, sets, run.options.rows, &run.options.rule, run.result.get());
    if (status == TUNE_REFUSED)
        return CommandFailure(&run.command, TUNE_EXIT_NOT_SEPARATED, "cannot tune: %s",
                              run.result->reason);
    // Only a table that separates every row reaches a file.
    const bool writeFailed =
        status == TUNE_SEPARATED && WriteParameterFile(run.options.output, run.result->block) != 0;
    if (writeFailed) {
        if (!run.command.json)
            PrintText(run);
        return CommandFailure(&run.command, COMMAND_EXIT_FILE, "%s: %s", parameterFileNotSaved,
                              LastParameterFileError());
    }
    const char *written = status == TUNE_SEPARATED ? run.options.output : nullptr;
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
    return written ? (int)COMMAND_EXIT_OK : (int)TUNE_EXIT_NOT_SEPARATED;
}
