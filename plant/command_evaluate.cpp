// nvmxv451 evaluate: options, the check of each recording, the report.
#include "plant/commands.h"

#include "detection/evaluate.h"
#include "detection/report.h"
#include "plant/command_files.h"
#include "plant/evaluatehealth.h"
#include "platform/system/optionparser.h"

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

const char description[] =
    "Checks recordings (the CSV files of the recorder and of nvmxv451 record) against the "
    "parameter set of --parameters FILE.dat with the program's model of the sensor's colour "
    "detection. The model is not the sensor: the agreement with the C-No that the sensor "
    "recorded shows how far it holds. With another parameter set than the one the sensor held, "
    "it shows what that set would have done.\n"
    "\n"
    "Reports the frames; the share of frames whose model C-No is the recorded one and the first "
    "frames where they differ; the C-No distribution that the set gives; for every active row "
    "how far inside its circle (X/Y units) and its INT band its detections lie, at least and on "
    "average, and the frames near an edge.";

const char exitCodes[] =
    "\nExit codes: 0 checked, 2 usage, 3 a file that cannot be read (named with its line).\n";

enum { GO_ON = -1 };

struct EvaluateOptions {
    std::string parameters;
    std::vector<std::string> recordings;
    double nearEdge = DEFAULT_NEAR_EDGE;
    bool health = false;
    std::string line;        // --line: the rules of [health]
    std::string sensor;      // --sensor: the name the alarms give
    double figuresEvery = 0; // --figures-every: seconds between rows' figures; 0: none
};

CommandLineForm EvaluateForm(const char *program) {
    CommandLineForm form;
    form.program = std::string(program) + " evaluate";
    form.description = description;
    form.options = {
        {"parameters", "FILE.dat", "The parameter set to check (required)."},
        {"near", "N",
         "A detection within N units of the circle's rim or the band's end is near an edge "
         "(default 2)."},
        {"health", nullptr,
         "Runs the line service's health rules over the recordings in order, by their time "
         "stamps, and prints when each alarm would have been raised and cleared, instead of the "
         "check."},
        {"line", "FILE", "With --health: the rules and thresholds of the line file's [health]."},
        {"sensor", "NAME", "With --health: the sensor the alarms name (default: the recording's)."},
        {"figures-every", "SECONDS",
         "With --health: also each row's figures (frames, margin indices, INT mean) every "
         "SECONDS of the recordings' time."},
        {"json", nullptr, "One JSON object on standard output."},
    };
    form.positionalName = "RECORDING.csv...";
    form.positionalHelp = "The recordings to check, one or more.";
    form.epilogue = exitCodes;
    return form;
}

// Returns GO_ON, or the exit code of a run that ends here (help, usage error).
int ReadCommandLine(CommandReport *report, int argc, char **argv, EvaluateOptions *options) {
    ParsedCommandLine parsed;
    const int parsedCode =
        ParseOptions(EvaluateForm(argc > 0 ? argv[0] : "nvmxv451"), argc, argv, 2, &parsed);
    if (parsedCode != COMMAND_LINE_RUN)
        return parsedCode;
    report->json = parsed.isSet("json");
    if (parsed.isSet("near") && ParseNumberOption(report, "--near", parsed.value("near").c_str(), 0,
                                                  255, &options->nearEdge) != 0)
        return PLANT_EXIT_USAGE;
    if (!parsed.isSet("parameters"))
        return UsageFailure(report, "--parameters FILE.dat is missing");
    options->parameters = parsed.value("parameters");
    options->health = parsed.isSet("health");
    options->line = parsed.value("line");
    options->sensor = parsed.value("sensor");
    if (!options->health &&
        (parsed.isSet("line") || parsed.isSet("sensor") || parsed.isSet("figures-every")))
        return UsageFailure(report, "--line, --sensor and --figures-every go with --health");
    if (parsed.isSet("figures-every") &&
        ParseNumberOption(report, "--figures-every", parsed.value("figures-every").c_str(), 0.001,
                          1e9, &options->figuresEvery) != 0)
        return PLANT_EXIT_USAGE;
    options->recordings = parsed.positional;
    if (options->recordings.empty())
        return UsageFailure(report, "no recording given");
    return GO_ON;
}

struct Report {
    const EvaluateOptions *options;
    const unsigned char *block;
    const Evaluation *evaluation;
    std::vector<long> frames; // per recording
};

void PrintText(const Report &report) {
    const CheckedRecordings checked = {report.options->parameters.c_str(), report.block,
                                       report.options->recordings, report.frames};
    std::string text;
    AppendEvaluationReport(&text, *report.evaluation, checked, REPORT_TERMINAL);
    std::fputs(text.c_str(), stdout);
}

void PrintJsonPlace(const Report &report, FramePlace place) {
    std::printf("\"file\":");
    PrintJsonText(stdout, report.options->recordings[(size_t)place.recording].c_str());
    std::printf(",\"line\":%ld", place.line);
}

void PrintJsonDiffering(const Report &report) {
    const Evaluation *evaluation = report.evaluation;
    std::printf(",\"differing\":[");
    for (int i = 0; i < evaluation->shownDiffering; ++i) {
        const DifferingFrame &frame = evaluation->differing[i];
        std::printf("%s{", i ? "," : "");
        PrintJsonPlace(report, frame.place);
        std::printf(",\"recorded\":%d,\"model\":%d,\"values\":[", frame.values[M_CNO], frame.model);
        for (int v = 0; v < FRAME_LENGTH; ++v)
            std::printf("%s%d", v ? "," : "", frame.values[v]);
        std::printf("]}");
    }
    std::printf("]");
}

void PrintJsonDistribution(const Evaluation *evaluation) {
    std::printf(",\"distribution\":{");
    const char *separator = "";
    for (int cno = 0; cno < 256; ++cno) {
        if (evaluation->distribution[cno] == 0)
            continue;
        std::printf("%s\"%d\":%ld", separator, cno, evaluation->distribution[cno]);
        separator = ",";
    }
    std::printf("}");
}

void PrintJsonRow(const Report &report, int r) {
    const RowEvaluation &row = report.evaluation->row[r];
    const RowFigures figures = FiguresOfRow(*report.evaluation, r);
    const bool circles = figures.circle, bands = figures.band;
    std::printf("%s{\"row\":%d,\"detections\":%ld", r ? "," : "", r, row.detections);
    if (circles)
        std::printf(",\"circle\":{\"least\":%.4f,\"mean\":%.4f}", figures.circleLeast,
                    figures.circleMean);
    if (bands)
        std::printf(",\"band\":{\"of\":\"%s\",\"least\":%d,\"mean\":%.4f}", figures.bandName,
                    figures.bandLeast, figures.bandMean);
    std::printf(",\"nearEdge\":%ld,\"nearEdgeFrames\":[", row.nearEdge);
    for (int i = 0; i < row.shownNearEdge; ++i) {
        const EdgeFrame &frame = row.nearEdgeFrames[i];
        std::printf("%s{", i ? "," : "");
        PrintJsonPlace(report, frame.place);
        if (circles)
            std::printf(",\"circle\":%.4f", frame.margin.circle);
        if (bands)
            std::printf(",\"band\":%d", frame.margin.band);
        std::printf("}");
    }
    std::printf("]}");
}

void PrintJson(const Report &report) {
    const Evaluation *evaluation = report.evaluation;
    const EvaluateOptions *options = report.options;
    std::printf("{\"command\":\"evaluate\",\"ok\":true,\"exit\":0,"
                "\"model\":\"the program's model of the sensor, not the sensor\",\"parameters\":");
    PrintJsonText(stdout, options->parameters.c_str());
    std::printf(",\"evalmode\":%d,\"maxcolNo\":%d,\"intlim\":%d,\"recordings\":[",
                report.block[OFFSET_EVALMODE], report.block[OFFSET_MAXCOLNO],
                report.block[OFFSET_INTLIM]);
    for (size_t i = 0; i < report.frames.size(); ++i) {
        std::printf("%s{\"file\":", i ? "," : "");
        PrintJsonText(stdout, options->recordings[i].c_str());
        std::printf(",\"frames\":%ld}", report.frames[i]);
    }
    std::printf("],\"frames\":%ld,\"agreeing\":%ld,\"agreement\":%.6f", evaluation->frames,
                evaluation->agreeing, AgreementShare(evaluation));
    PrintJsonDiffering(report);
    PrintJsonDistribution(evaluation);
    std::printf(",\"near\":%g,\"rows\":[", evaluation->nearEdge);
    for (int r = 0; r < EvaluatedRows(evaluation); ++r)
        PrintJsonRow(report, r);
    std::printf("]}\n");
}

} // namespace

int RunEvaluateCommand(int argc, char **argv) {
    CommandReport commandReport = {"evaluate", 0};
    EvaluateOptions options;
    int code = ReadCommandLine(&commandReport, argc, argv, &options);
    if (code != GO_ON)
        return code;
    unsigned char block[BLOCK_LENGTH];
    if ((code = ReadParameters(&commandReport, options.parameters.c_str(), block)) != 0)
        return code;
    if (options.health)
        return RunHealthCheck(&commandReport, block, options.recordings,
                              {options.line, options.sensor, options.figuresEvery});
    auto evaluation = std::make_unique<Evaluation>();
    BeginEvaluation(evaluation.get(), block, options.nearEdge);
    Report report = {&options, block, evaluation.get(), {}};
    // One recording in memory at a time: the report needs only their names and counts.
    LoadedRecording recording;
    for (size_t i = 0; i < options.recordings.size(); ++i) {
        if ((code = ReadRecording(&commandReport, options.recordings[i].c_str(), &recording)) != 0)
            return code;
        EvaluateFrames(evaluation.get(), recording.frames.data(), recording.frames.size(), (int)i,
                       recording.firstLine);
        report.frames.push_back((long)recording.frames.size());
    }
    if (commandReport.json)
        PrintJson(report);
    else
        PrintText(report);
    std::fflush(stdout);
    return PLANT_EXIT_OK;
}
