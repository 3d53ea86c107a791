// The reports of a check of recordings (detection/evaluate.h) and of a tuning (detection/tune.h):
// which figures they give, in which order, in which words and with which arithmetic, once for
// the panel's report box and the commands alike. Where a report goes is the caller's: the
// layout says whether its lines must fit the panel's report box or are a terminal's, and the
// caller names its recordings and samples. A command's JSON takes its figures from here too.
// Free of Qt.
#pragma once

#include "detection/evaluate.h"
#include "detection/tune.h"

#include <string>
#include <vector>

// Where a report goes: the panel's report box, some 45 characters wide, or a terminal's lines.
enum ReportLayout { REPORT_PANEL, REPORT_TERMINAL };

// The first lines of every report in the panel's report box.
inline constexpr char MODEL_NOTE[] = "C-No by the program's model of the sensor,\n"
                                     "not by the sensor; recordings check it.\n\n";

// Appends printf-style text to report.
void AppendReport(std::string *report, const char *format, ...)
    __attribute__((format(printf, 2, 3)));
// "row 0" or "rows 0-2": the first rows of a table.
std::string RowRange(int rows);

// ---- The check of recordings -------------------------------------------------------------------

// What was checked, as the report names it.
struct CheckedRecordings {
    const char *parameters;         // the parameter set's file; null: the table on the panel
    const unsigned char *block;     // the parameter set
    std::vector<std::string> names; // the recordings, by the evaluation's numbers
    std::vector<long> frames;       // the frames of each
};

// What a detecting row's detections give, worked out once for every form of the report.
struct RowFigures {
    long detections;
    bool circle; // circle margins apply (not in the contrast modes) and there are detections
    double circleLeast, circleMean;
    bool band;            // band margins apply (not in the X/Y-only mode) and there are detections
    const char *bandName; // "INT", or the contrast mode's channel ("RED")
    int bandLeast;
    double bandMean;
};
RowFigures FiguresOfRow(const Evaluation &evaluation, int row);

// The check's report: the frames, the agreement with the recorded C-No and the first frames
// that differ, the C-No distribution by the model, and per detecting row the margins of its
// detections and the frames near an edge.
void AppendEvaluationReport(std::string *report, const Evaluation &evaluation,
                            const CheckedRecordings &checked, ReportLayout layout);

// ---- The tuning --------------------------------------------------------------------------------

// A sample as the report names it: where it came from, with its X, Y and INT as the caller
// words them.
using SampleNamer = std::string (*)(SampleRef ref, const void *context);

// What was tuned from, as the report names it.
struct TunedSamples {
    TeachRule rule;
    SampleNamer name;
    const void *context;              // for name
    std::vector<std::string> sources; // per row, its recordings ("red.csv, red2.csv"); may be empty
};

// The samples that row was tuned from: every one of them counts in the confusion table.
long SamplesOfRow(const TuneResult &result, int row);
// The tuning's report (not for a refused one): whether the rows are told apart, each row's
// proposal and margins, the colliding samples, the confusion table and each row's coverage.
void AppendTuningReport(std::string *report, const TuneResult &result, const TunedSamples &samples,
                        ReportLayout layout);
