// The detection check on the panel.
#include "gui/detectioncheck.h"

#include "detection/evaluate.h"
#include "detection/readrecording.h"
#include "gui/parameters.h"
#include "platform/output/recorder.h"
#include "state/globals.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

enum { MESSAGE_LEN = MAX_PATHNAME_LEN + 256 };

static const char checkFailed[] = "RECORDING NOT CHECKED";

// ---- The report and the recordings' files -----------------------------------------------------

void AppendReport(std::string *report, const char *format, ...) {
    char line[512];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(line, sizeof line, format, arguments);
    va_end(arguments);
    report->append(line);
}

void ShowDetectionReport(const std::string &report) {
    SetCtrlVal(MainPanel, PANEL_DETECTREPORT, report.c_str());
}

void ReportFileFailure(const char *what, const char *why) {
    char message[MESSAGE_LEN];
    std::snprintf(message, sizeof message, " ATTENTION! \n \n %s \n %s", what, why);
    MessagePopup("INFO", message);
}

const char *FileNameOf(const char *path) {
    const char *slash = std::strrchr(path, '/');
    return slash != nullptr ? slash + 1 : path;
}

int SelectRecordingFile(int buttonLabel, const char *fileName, const char *title,
                        const char *failure, char *path) {
    char folder[MAX_PATHNAME_LEN] = "";
    GetRecordFolder(folder, sizeof folder);
    const int code =
        FileSelectPopup(folder, fileName, "*.csv", title, buttonLabel, 0, 1, 1, 1, path);
    if (code == UIE_PATH_TOO_LONG)
        ReportFileFailure(failure, "the chosen path is longer than the program can keep");
    else if (code < 0)
        ReportFileFailure(failure, "the file selection failed");
    return code > 0;
}

int ReadRecordingOrReport(const char *path, const char *failure, std::vector<RecordedFrame> *frames,
                          long *firstLine) {
    frames->clear();
    RecordingError error;
    if (ReadRecordingFile(path, frames, &error, firstLine) == 0)
        return 1;
    char why[MESSAGE_LEN];
    if (error.line > 0)
        std::snprintf(why, sizeof why, "%s:%ld: %s", path, error.line, error.reason);
    else
        std::snprintf(why, sizeof why, "%s: %s", path, error.reason);
    ReportFileFailure(failure, why);
    return 0;
}

// ---- The check of a recording -----------------------------------------------------------------

static void ReportAgreement(std::string *report, const Evaluation &evaluation) {
    AppendReport(report, "The model gives the recorded C-No for\n%ld of %ld frames: %.2f %%\n",
                 evaluation.agreeing, evaluation.frames, 100.0 * AgreementShare(&evaluation));
    if (evaluation.shownDiffering == 0)
        return;
    AppendReport(report, "First that differ (line: recorded, model):\n");
    for (int i = 0; i < evaluation.shownDiffering; i++) {
        const DifferingFrame &frame = evaluation.differing[i];
        AppendReport(report, "  %ld: %d, model %d (X %d, Y %d, INT %d)\n", frame.place.line,
                     frame.values[M_CNO], frame.model, frame.values[M_X], frame.values[M_Y],
                     frame.values[M_INT]);
    }
}

static void ReportDistribution(std::string *report, const Evaluation &evaluation) {
    AppendReport(report, "C-No by the model (frames, share):\n");
    for (int cno = 0; cno < 256; cno++) {
        if (evaluation.distribution[cno] != 0)
            AppendReport(report, "%5d: %ld, %.2f %%\n", cno, evaluation.distribution[cno],
                         100.0 * (double)evaluation.distribution[cno] / (double)evaluation.frames);
    }
}

enum { LINES_PER_ROW = 5 }; // line numbers of frames near an edge on one line of the report

static void ReportNearEdge(std::string *report, const RowEvaluation &row) {
    AppendReport(report, "  %ld within %g units of an edge%s\n", row.nearEdge, NEAR_EDGE_UNITS,
                 row.nearEdge > 0 ? ", lines:" : "");
    for (int i = 0; i < row.shownNearEdge; i++) {
        const bool first = i % LINES_PER_ROW == 0;
        const bool last = i + 1 == row.shownNearEdge || i % LINES_PER_ROW == LINES_PER_ROW - 1;
        AppendReport(report, "%s%ld%s", first ? "   " : " ", row.nearEdgeFrames[i].place.line,
                     last ? "\n" : ",");
    }
    if (row.nearEdge > row.shownNearEdge)
        AppendReport(report, "   ...\n");
}

static void ReportRow(std::string *report, const Evaluation &evaluation, int r) {
    const RowEvaluation &row = evaluation.row[r];
    if (row.detections == 0) {
        AppendReport(report, "row %d: no detections\n", r);
        return;
    }
    const double detections = (double)row.detections;
    AppendReport(report, "row %d: %ld detections\n", r, row.detections);
    if (DetectsByCircles(&evaluation.table))
        AppendReport(report, "  circle: %.2f inside at least, %.2f mean\n", row.circleLeast,
                     row.circleSum / detections);
    if (DetectsByBands(&evaluation.table))
        AppendReport(report, "  %s: %d inside at least, %.2f mean\n",
                     DetectsByCircles(&evaluation.table) ? "INT band" : "LL..UL", row.bandLeast,
                     row.bandSum / detections);
    ReportNearEdge(report, row);
}

void CheckRecordingAgainstTable(void) {
    char path[MAX_PATHNAME_LEN];
    if (!SelectRecordingFile(VAL_LOAD_BUTTON, "", "Check a recording", checkFailed, path))
        return;
    std::vector<RecordedFrame> frames;
    long firstLine = 0;
    if (!ReadRecordingOrReport(path, checkFailed, &frames, &firstLine))
        return;
    unsigned char block[BLOCK_LENGTH];
    PanelParameterBlock(block);
    static Evaluation evaluation; // some kilobytes: kept off the stack
    BeginEvaluation(&evaluation, block, NEAR_EDGE_UNITS);
    EvaluateFrames(&evaluation, frames.data(), frames.size(), 0, firstLine);

    std::string report = MODEL_NOTE;
    AppendReport(&report, "The table on the panel against\n%s, %ld frames:\n", FileNameOf(path),
                 evaluation.frames);
    ReportAgreement(&report, evaluation);
    ReportDistribution(&report, evaluation);
    for (int row = 0; row < EvaluatedRows(&evaluation); row++)
        ReportRow(&report, evaluation, row);
    ShowDetectionReport(report);
}
