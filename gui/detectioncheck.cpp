// The detection check on the panel.
#include "gui/detectioncheck.h"

#include "detection/evaluate.h"
#include "detection/readrecording.h"
#include "detection/report.h"
#include "gui/parameters.h"
#include "platform/output/recorder.h"
#include "state/globals.h"

#include <cstdio>
#include <cstring>

enum { MESSAGE_LEN = MAX_PATHNAME_LEN + 256 };

static const char checkFailed[] = "RECORDING NOT CHECKED";

// ---- The report box and the recordings' files ------------------------------------------------

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
    BeginEvaluation(&evaluation, block, DEFAULT_NEAR_EDGE);
    EvaluateFrames(&evaluation, frames.data(), frames.size(), 0, firstLine);

    const CheckedRecordings checked = {nullptr, block, {FileNameOf(path)}, {evaluation.frames}};
    std::string report;
    AppendEvaluationReport(&report, evaluation, checked, REPORT_PANEL);
    ShowDetectionReport(report);
}
