// Teaching a row from many frames, and the samples each row keeps.
#include "gui/teachsamples.h"

#include "detection/model.h"
#include "files/save.h"
#include "gui/detectioncheck.h"
#include "gui/linepanel.h"
#include "gui/teachtable.h"
#include "platform/output/recorder.h"
#include "state/globals.h"
#include "textforms/csv.h"
#include "textforms/portlabel.h"
#include "textforms/timestamp.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

enum {
    STATE_TEXT_LEN = 256,
    SAMPLES_TEXT_LEN = 1024,
    MESSAGE_LEN = MAX_PATHNAME_LEN + 256,
    XY_ONLY_COLUMNS = COL_CTO, // X, Y and CTO; INT and ITO keep their cells
};
#define PROGRESS_INTERVAL 0.25 // seconds between refreshes of the collection's progress

// The samples of one row: frames of a collection, or of a recording loaded for the row.
struct RowSamples {
    std::vector<RecordedFrame> frames; // seconds from the first frame
    long long startedMs;               // wall clock at the first collected frame
    int port;                          // the COM port they came from; 0 for a recording
    char sensor[SENSOR_NAME_LEN];      // the sensor they came from, its recordings' column
    char file[MAX_PATHNAME_LEN];       // the recording they were loaded from; "" if collected
    long firstLine;                    // that recording's line of the first frame
};

// A running TEACH MANY.
struct Collection {
    int running;
    int row;
    int unit;         // TAKE_FRAMES or TAKE_SECONDS
    long amount;      // frames, or seconds
    double started;   // Timer() at the first frame; negative before it
    double lastShown; // Timer() at the last progress shown
};

static const char samplesNotLoaded[] = "SAMPLES NOT LOADED";

static RowSamples rowSamples[TEACH_ROWS];
static Collection collection;

static int PanelNo(void) {
    int row = 0;
    GetCtrlVal(MainPanel, PANEL_NO, &row);
    return row;
}

static int PanelEvalMode(void) {
    int evalMode = 0;
    GetCtrlVal(MainPanel, PANEL_EVALMODE, &evalMode);
    return evalMode;
}

static void ShowTeachState(const char *text) {
    SetCtrlVal(MainPanel, PANEL_TEACHSTATE, text);
}

static void ClearRow(RowSamples *samples) {
    samples->frames.clear();
    samples->startedMs = 0;
    samples->port = 0;
    samples->sensor[0] = '\0';
    samples->file[0] = '\0';
    samples->firstLine = 0;
}

// The count of every row that keeps samples on the display; where they came from in its tooltip.
static void ShowSampleCounts(void) {
    char counts[SAMPLES_TEXT_LEN] = "Samples kept:";
    char sources[SAMPLES_TEXT_LEN * 2] = "";
    int any = 0;
    for (int row = 0; row < TEACH_ROWS; row++) {
        const RowSamples &samples = rowSamples[row];
        if (samples.frames.empty())
            continue;
        size_t used = std::strlen(counts);
        std::snprintf(counts + used, sizeof counts - used, "%s row %d: %zu", any ? "," : "", row,
                      samples.frames.size());
        used = std::strlen(sources);
        if (samples.file[0] != '\0')
            std::snprintf(sources + used, sizeof sources - used, "row %d: %zu frames of %s\n", row,
                          samples.frames.size(), samples.file);
        else
            std::snprintf(sources + used, sizeof sources - used,
                          "row %d: %zu frames collected on %s\n", row, samples.frames.size(),
                          PortLabel(samples.port).c_str());
        any = 1;
    }
    SetCtrlVal(MainPanel, PANEL_SAMPLES, any ? counts : "No samples kept yet");
    SetCtrlAttribute(MainPanel, PANEL_SAMPLES, ATTR_TOOLTIP_TEXT, sources);
}

void InitTeachSamples(void) {
    for (RowSamples &samples : rowSamples)
        ClearRow(&samples);
    collection = Collection{};
    ShowTeachRule();
    ShowTeachState("");
    ShowSampleCounts();
}

TeachRule PanelTeachRule(void) {
    TeachRule rule = DEFAULT_TEACH_RULE;
    GetCtrlVal(MainPanel, PANEL_TEACHK, &rule.k);
    GetCtrlVal(MainPanel, PANEL_TEACHMARGIN, &rule.margin);
    return rule;
}

void ShowTeachRule(void) {
    const TeachRule rule = PanelTeachRule();
    char text[STATE_TEXT_LEN];
    std::snprintf(text, sizeof text,
                  "CTO, ITO = farthest sample + %g x std. deviation + %g,\nrounded up, at least %d",
                  rule.k, rule.margin, rule.minimum);
    SetCtrlVal(MainPanel, PANEL_TEACHRULE, text);
}

// ---- Teaching from many frames ----------------------------------------------------------------

int TeachCollectionRunning(void) {
    return collection.running;
}

static void ShowProgress(void) {
    const RowSamples &samples = rowSamples[collection.row];
    char text[STATE_TEXT_LEN];
    if (collection.started < 0)
        std::snprintf(text, sizeof text, "Row %d: waiting for frames (Go F11)", collection.row);
    else if (collection.unit == TAKE_FRAMES)
        std::snprintf(text, sizeof text, "Row %d: %zu of %ld frames", collection.row,
                      samples.frames.size(), collection.amount);
    else
        std::snprintf(text, sizeof text, "Row %d: %zu frames in %.1f of %ld s", collection.row,
                      samples.frames.size(), Timer() - collection.started, collection.amount);
    ShowTeachState(text);
    collection.lastShown = Timer();
}

static void GetAmount(int *unit, long *amount) {
    int taken = 0;
    GetCtrlVal(MainPanel, PANEL_TAKEUNIT, unit);
    GetCtrlVal(MainPanel, PANEL_TAKEAMOUNT, &taken);
    *amount = taken < 1 ? 1 : taken;
}

static void StartCollection(void) {
    collection.running = 1;
    collection.row = PanelNo();
    GetAmount(&collection.unit, &collection.amount);
    collection.started = -1.0;
    ClearRow(&rowSamples[collection.row]);
    rowSamples[collection.row].port = portNumber;
    std::snprintf(rowSamples[collection.row].sensor, SENSOR_NAME_LEN, "%s", PanelSession()->name);
    ShowProgress();
    ShowSampleCounts();
}

// The teach result in the state display: what the row became and the figures of the rule.
static void ShowTaught(int row, const TeachProposal &proposal, int xyOnly) {
    char text[STATE_TEXT_LEN];
    int used = std::snprintf(text, sizeof text,
                             "Row %d from %ld frames: X %d, Y %d, INT %d\n"
                             "CTO %d: farthest %.2f, std. deviation %.2f",
                             row, proposal.samples, proposal.x, proposal.y, proposal.intensity,
                             proposal.cto, proposal.farthest, proposal.spread);
    if (xyOnly)
        std::snprintf(text + used, sizeof text - (size_t)used, "\nINT and ITO kept (X/Y only)");
    else
        std::snprintf(text + used, sizeof text - (size_t)used,
                      "\nITO %d: farthest %d, std. deviation %.2f", proposal.ito,
                      proposal.farthestBand, proposal.bandSpread);
    ShowTeachState(text);
}

// The row's means and the rule's tolerances into the table, as TEACH DATA TO writes a row: the
// X/Y-only mode keeps INT and ITO.
static void TeachRowFromSamples(int row) {
    std::vector<ColourSample> samples;
    GetRowSamples(row, &samples);
    const TeachRule rule = PanelTeachRule();
    const int evalMode = PanelEvalMode();
    TeachProposal proposal;
    if (ProposeTeach(samples.data(), samples.size(), &rule, &proposal) != 0) {
        char text[STATE_TEXT_LEN];
        std::snprintf(text, sizeof text, "Row %d: no frame came; nothing taught", row);
        ShowTeachState(text);
        return;
    }
    // EVALMODE may have changed while the frames came.
    if (IsContrastMode(evalMode)) {
        ShowTeachState("Not taught: a CONTRAST mode teaches no colours");
        return;
    }
    const int xyOnly = evalMode == EVALMODE_XY_ONLY;
    const unsigned char cells[TEACH_COLUMNS] = {proposal.x, proposal.y, proposal.cto,
                                                proposal.intensity, proposal.ito};
    SetTeachRow(row, cells, xyOnly ? (int)XY_ONLY_COLUMNS : (int)TEACH_COLUMNS);
    AdvanceNo(row);
    ShowTaught(row, proposal, xyOnly);
}

static void FinishCollection(void) {
    collection.running = 0;
    TeachRowFromSamples(collection.row);
    ShowSampleCounts();
}

void TeachManyFrames(void) {
    if (collection.running) {
        FinishCollection();
        return;
    }
    if (IsContrastMode(PanelEvalMode())) {
        MessagePopup("INFO", " ATTENTION! \n \n TEACH MANY TEACHES COLOURS: X, Y AND INT \n IN THE "
                             "CONTRAST MODES USE TEACH DATA TO");
        return;
    }
    StartCollection();
}

static long long WallClockMs(void) {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

// A time-bound collection ends at the first frame past its time; that frame is not taken.
static bool CollectionTimeIsUp(double now) {
    return collection.unit == TAKE_SECONDS && collection.started >= 0 &&
           now - collection.started >= (double)collection.amount;
}

void CollectTeachFrame(const unsigned char frame[FRAME_LENGTH]) {
    if (!collection.running)
        return;
    const double now = Timer();
    if (CollectionTimeIsUp(now)) {
        FinishCollection();
        return;
    }
    RowSamples *samples = &rowSamples[collection.row];
    if (collection.started < 0) {
        collection.started = now;
        samples->startedMs = WallClockMs();
    }
    RecordedFrame taken;
    taken.seconds = now - collection.started;
    std::memcpy(taken.values, frame, FRAME_LENGTH);
    samples->frames.push_back(taken);
    if (collection.unit == TAKE_FRAMES && (long)samples->frames.size() >= collection.amount)
        FinishCollection();
    else if (samples->frames.size() == 1 || now - collection.lastShown >= PROGRESS_INTERVAL)
        ShowProgress();
}

// ---- Samples as recordings --------------------------------------------------------------------

// The recording text of a row's collected frames: the header, then a line per frame with the
// wall-clock time it came at.
static std::string RecordingText(const RowSamples &samples) {
    std::string text = RECORD_CSV_HEADER;
    char stamp[TIME_STAMP_LEN];
    char line[RECORD_LINE_MAX];
    for (const RecordedFrame &frame : samples.frames) {
        FormatTimeStamp(samples.startedMs + std::llround(frame.seconds * 1000.0), stamp,
                        sizeof stamp);
        const int length =
            FormatRecordLine(line, sizeof line, stamp, frame.seconds, frame.values, samples.sensor);
        if (length > 0)
            text.append(line, (size_t)length);
    }
    return text;
}

void SaveRowSamples(void) {
    const int row = PanelNo();
    const RowSamples &samples = rowSamples[row];
    char title[64], fileName[64], path[MAX_PATHNAME_LEN];
    std::snprintf(title, sizeof title, "SAMPLES OF ROW %d NOT SAVED", row);
    if (samples.frames.empty() || (collection.running && collection.row == row)) {
        ReportFileFailure(title, samples.frames.empty() ? "the row keeps no samples"
                                                        : "they are still being collected");
        return;
    }
    if (samples.file[0] != '\0') {
        char why[MESSAGE_LEN];
        std::snprintf(why, sizeof why, "they were loaded from %s, which keeps them", samples.file);
        ReportFileFailure(title, why);
        return;
    }
    std::snprintf(fileName, sizeof fileName, "row%d-samples.csv", row);
    if (!SelectRecordingFile(VAL_SAVE_BUTTON, fileName, "Save samples", title, path))
        return;
    const std::string text = RecordingText(samples);
    std::string why;
    if (!SaveFileWhole(path, text.data(), text.size(), &why)) {
        ReportFileFailure(title, why.c_str());
        return;
    }
    char state[STATE_TEXT_LEN];
    std::snprintf(state, sizeof state, "Row %d: %zu samples saved to\n%s", row,
                  samples.frames.size(), FileNameOf(path));
    ShowTeachState(state);
}

void LoadRowSamples(void) {
    const int row = PanelNo();
    char path[MAX_PATHNAME_LEN];
    std::vector<RecordedFrame> frames;
    long firstLine = 0;
    if (!SelectRecordingFile(VAL_LOAD_BUTTON, "", "Load samples", samplesNotLoaded, path) ||
        !ReadRecordingOrReport(path, samplesNotLoaded, &frames, &firstLine))
        return;
    if (collection.running && collection.row == row)
        collection.running = 0; // the recording replaces what was being collected
    RowSamples *samples = &rowSamples[row];
    ClearRow(samples);
    samples->frames.swap(frames);
    std::snprintf(samples->file, sizeof samples->file, "%s", path);
    samples->firstLine = firstLine;
    char state[STATE_TEXT_LEN];
    std::snprintf(state, sizeof state, "Row %d: %zu samples loaded from\n%s", row,
                  samples->frames.size(), FileNameOf(path));
    ShowTeachState(state);
    ShowSampleCounts();
}

// ---- The samples for the detection check ------------------------------------------------------

size_t RowSampleCount(int row) {
    return rowSamples[row].frames.size();
}

void GetRowSamples(int row, std::vector<ColourSample> *samples) {
    samples->clear();
    samples->reserve(rowSamples[row].frames.size());
    for (const RecordedFrame &frame : rowSamples[row].frames)
        samples->push_back(SampleOfFrame(frame.values));
}

void DescribeSample(SampleRef ref, char *text, size_t size) {
    const RowSamples &samples = rowSamples[ref.row];
    const unsigned char *values = samples.frames[(size_t)ref.index].values;
    int used;
    if (samples.file[0] != '\0')
        used = std::snprintf(text, size, "%s:%ld", FileNameOf(samples.file),
                             samples.firstLine + ref.index);
    else
        used = std::snprintf(text, size, "row %d frame %ld", ref.row, ref.index + 1);
    if (used >= 0 && (size_t)used < size)
        std::snprintf(text + used, size - (size_t)used, " (X %d, Y %d, INT %d)", values[M_X],
                      values[M_Y], values[M_INT]);
}
