// The reports of a check of recordings; what both reports share.
#include "detection/report.h"

#include <cstdarg>
#include <cstdio>

// Whatever its length: a terminal's lines name recordings, whose paths may be long.
void AppendReport(std::string *report, const char *format, ...) {
    va_list arguments, again;
    va_start(arguments, format);
    va_copy(again, arguments);
    const int length = std::vsnprintf(nullptr, 0, format, arguments);
    va_end(arguments);
    if (length > 0) {
        const size_t end = report->size();
        report->resize(end + (size_t)length + 1);
        std::vsnprintf(report->data() + end, (size_t)length + 1, format, again);
        report->resize(end + (size_t)length);
    }
    va_end(again);
}

std::string RowRange(int rows) {
    char text[32];
    if (rows == 1)
        std::snprintf(text, sizeof text, "row 0");
    else
        std::snprintf(text, sizeof text, "rows 0-%d", rows - 1);
    return text;
}

RowFigures FiguresOfRow(const Evaluation &evaluation, int r) {
    const RowEvaluation &row = evaluation.row[r];
    const DetectionTable *table = &evaluation.table;
    const double detections = (double)row.detections;
    RowFigures figures = {};
    figures.detections = row.detections;
    figures.circle = DetectsByCircles(table) && row.detections > 0;
    figures.band = DetectsByBands(table) && row.detections > 0;
    figures.bandName =
        table->contrastChannel >= 0 ? FRAME_VALUE_NAMES[table->contrastChannel] : "INT";
    if (figures.circle) {
        figures.circleLeast = row.circleLeast;
        figures.circleMean = row.circleSum / detections;
    }
    if (figures.band) {
        figures.bandLeast = row.bandLeast;
        figures.bandMean = row.bandSum / detections;
    }
    return figures;
}

namespace {

// A frame's place: its line in the panel's one recording, its file and line on a terminal.
void AppendPlace(std::string *report, const CheckedRecordings &checked, FramePlace place,
                 ReportLayout layout) {
    if (layout == REPORT_PANEL)
        AppendReport(report, "%ld", place.line);
    else
        AppendReport(report, "%s:%ld", checked.names[(size_t)place.recording].c_str(), place.line);
}

void AppendSubject(std::string *report, const Evaluation &evaluation,
                   const CheckedRecordings &checked, ReportLayout layout) {
    const char *table =
        checked.parameters != nullptr ? checked.parameters : "the table on the panel";
    if (layout == REPORT_PANEL) {
        AppendReport(report, "%s", MODEL_NOTE);
        if (checked.parameters != nullptr)
            AppendReport(report, "The table of %s against\n", checked.parameters);
        else
            AppendReport(report, "The table on the panel against\n");
        for (size_t i = 0; i < checked.names.size(); ++i)
            AppendReport(report, "%s%s, %ld frames", i ? ";\n" : "", checked.names[i].c_str(),
                         checked.frames[i]);
        AppendReport(report, ":\n");
        return;
    }
    const size_t recordings = checked.names.size();
    AppendReport(report,
                 "The program's model of the sensor's colour detection (not the sensor) against "
                 "%zu recording%s.\n",
                 recordings, recordings == 1 ? "" : "s");
    AppendReport(report, "parameters: %s: EVALMODE %d, MAXCOL-No. %d, INTLIM %d\n", table,
                 checked.block[OFFSET_EVALMODE], checked.block[OFFSET_MAXCOLNO],
                 checked.block[OFFSET_INTLIM]);
    AppendReport(report, "frames: %ld (", evaluation.frames);
    for (size_t i = 0; i < recordings; ++i)
        AppendReport(report, "%s%s %ld", i ? ", " : "", checked.names[i].c_str(),
                     checked.frames[i]);
    AppendReport(report, ")\n");
}

void AppendAgreement(std::string *report, const Evaluation &evaluation, ReportLayout layout) {
    const double share = 100.0 * AgreementShare(&evaluation);
    if (layout == REPORT_PANEL)
        AppendReport(report, "The model gives the recorded C-No for\n%ld of %ld frames: %.2f %%\n",
                     evaluation.agreeing, evaluation.frames, share);
    else
        AppendReport(
            report,
            "agreement with the C-No that the sensor recorded: %ld of %ld frames, %.2f %%\n",
            evaluation.agreeing, evaluation.frames, share);
}

// The first frames that differ with their values: X, Y and INT in the report box, all six on a
// terminal.
void AppendDiffering(std::string *report, const Evaluation &evaluation,
                     const CheckedRecordings &checked, ReportLayout layout) {
    if (evaluation.shownDiffering == 0)
        return;
    const bool panel = layout == REPORT_PANEL;
    AppendReport(report, "%s",
                 panel ? "First that differ (line: recorded, model):\n"
                       : "first frames that differ:\n");
    for (int i = 0; i < evaluation.shownDiffering; ++i) {
        const DifferingFrame &frame = evaluation.differing[i];
        AppendReport(report, "  ");
        AppendPlace(report, checked, frame.place, layout);
        AppendReport(report, panel ? ": %d, model %d (" : ": recorded C-No %d, model %d (",
                     frame.values[M_CNO], frame.model);
        const int first = panel ? M_X : M_RED;
        for (int v = first; v < DETECTION_VALUES; ++v)
            AppendReport(report, "%s%s %d", v > first ? ", " : "", FRAME_VALUE_NAMES[v],
                         frame.values[v]);
        AppendReport(report, ")\n");
    }
}

// One C-No a line with its share in the report box; all on one line on a terminal.
void AppendDistribution(std::string *report, const Evaluation &evaluation, ReportLayout layout) {
    const bool panel = layout == REPORT_PANEL;
    AppendReport(report, "%s",
                 panel ? "C-No by the model (frames, share):\n"
                       : "C-No distribution by the model:");
    const char *separator = " ";
    for (int cno = 0; cno < 256; ++cno) {
        const long count = evaluation.distribution[cno];
        if (count == 0)
            continue;
        if (panel) {
            AppendReport(report, "%5d: %ld, %.2f %%\n", cno, count,
                         100.0 * (double)count / (double)evaluation.frames);
        } else {
            AppendReport(report, "%s%d: %ld", separator, cno, count);
            separator = ", ";
        }
    }
    if (!panel)
        AppendReport(report, "\n");
}

enum { LINES_PER_ROW = 5 }; // line numbers of frames near an edge on one line of the report box

void AppendNearEdgeLines(std::string *report, const RowEvaluation &row) {
    for (int i = 0; i < row.shownNearEdge; i++) {
        const bool first = i % LINES_PER_ROW == 0;
        const bool last = i + 1 == row.shownNearEdge || i % LINES_PER_ROW == LINES_PER_ROW - 1;
        AppendReport(report, "%s%ld%s", first ? "   " : " ", row.nearEdgeFrames[i].place.line,
                     last ? "\n" : ",");
    }
    if (row.nearEdge > row.shownNearEdge)
        AppendReport(report, "   ...\n");
}

void AppendNearEdgeFrames(std::string *report, const RowEvaluation &row, const RowFigures &figures,
                          const CheckedRecordings &checked) {
    for (int i = 0; i < row.shownNearEdge; ++i) {
        const EdgeFrame &frame = row.nearEdgeFrames[i];
        AppendReport(report, "  ");
        AppendPlace(report, checked, frame.place, REPORT_TERMINAL);
        const char *separator = " (";
        if (figures.circle) {
            AppendReport(report, "%scircle %.2f", separator, frame.margin.circle);
            separator = ", ";
        }
        if (figures.band)
            AppendReport(report, "%s%s band %d", separator, figures.bandName, frame.margin.band);
        AppendReport(report, ")\n");
    }
}

// The row's detections and margins: a few short lines in the report box, one long line on a
// terminal; then the frames near an edge.
void AppendRow(std::string *report, const Evaluation &evaluation, const CheckedRecordings &checked,
               int r, ReportLayout layout) {
    const RowEvaluation &row = evaluation.row[r];
    const RowFigures figures = FiguresOfRow(evaluation, r);
    if (figures.detections == 0) {
        AppendReport(report, "row %d: no detections\n", r);
        return;
    }
    AppendReport(report, "row %d: %ld detections", r, figures.detections);
    if (layout == REPORT_PANEL) {
        if (figures.circle)
            AppendReport(report, "\n  circle: %.2f inside at least, %.2f mean", figures.circleLeast,
                         figures.circleMean);
        if (figures.band)
            AppendReport(report, "\n  %s band: %d inside at least, %.2f mean", figures.bandName,
                         figures.bandLeast, figures.bandMean);
        AppendReport(report, "\n  %ld within %g units of an edge%s\n", row.nearEdge,
                     evaluation.nearEdge, row.nearEdge > 0 ? ", lines:" : "");
        AppendNearEdgeLines(report, row);
        return;
    }
    if (figures.circle)
        AppendReport(report, "; inside the circle by %.2f at least, %.2f on average",
                     figures.circleLeast, figures.circleMean);
    if (figures.band)
        AppendReport(report, "; inside the %s band by %d at least, %.2f on average",
                     figures.bandName, figures.bandLeast, figures.bandMean);
    AppendReport(report, "; %ld near an edge (within %g)%s\n", row.nearEdge, evaluation.nearEdge,
                 row.shownNearEdge ? ":" : "");
    AppendNearEdgeFrames(report, row, figures, checked);
}

} // namespace

void AppendEvaluationReport(std::string *report, const Evaluation &evaluation,
                            const CheckedRecordings &checked, ReportLayout layout) {
    AppendSubject(report, evaluation, checked, layout);
    AppendAgreement(report, evaluation, layout);
    AppendDiffering(report, evaluation, checked, layout);
    AppendDistribution(report, evaluation, layout);
    for (int row = 0; row < EvaluatedRows(&evaluation); ++row)
        AppendRow(report, evaluation, checked, row, layout);
}
