// Tuning the active rows on the panel.
#include "gui/tuning.h"

#include "detection/model.h"
#include "detection/tune.h"
#include "gui/colourgraph.h"
#include "gui/detectioncheck.h"
#include "gui/parameters.h"
#include "gui/teachsamples.h"
#include "gui/teachtable.h"
#include "state/globals.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

enum { XY_ONLY_COLUMNS = COL_CTO, SAMPLE_TEXT_LEN = MAX_PATHNAME_LEN + 64 };

static TuneResult result;                     // the last tuning (some kilobytes)
static int pending;                           // 1 while result waits for Accept or Discard
static unsigned char tunedBase[BLOCK_LENGTH]; // the panel's block that result was tuned on
static std::string shownReport;
// Each tuned row's samples as points of the X/Y plane, every point once.
static std::vector<unsigned char> cloudX[TEACH_ROWS], cloudY[TEACH_ROWS];

static void OfferChoice(int accept, int discard) {
    SetCtrlAttribute(MainPanel, PANEL_ACCEPTTUNING, ATTR_DIMMED, !accept);
    SetCtrlAttribute(MainPanel, PANEL_DISCARDTUNING, ATTR_DIMMED, !discard);
}

static void EndProposal(void) {
    pending = 0;
    OfferChoice(0, 0);
}

void InitTuning(void) {
    EndProposal();
}

int TuningPending(void) {
    return pending;
}

static void ShowReport(const std::string &report) {
    shownReport = report;
    ShowDetectionReport(shownReport);
}

// "row 0" or "rows 0-2".
static std::string RowRange(int rows) {
    char text[32];
    if (rows == 1)
        std::snprintf(text, sizeof text, "row 0");
    else
        std::snprintf(text, sizeof text, "rows 0-%d", rows - 1);
    return text;
}

// ---- The report -------------------------------------------------------------------------------

static void AppendSample(std::string *report, const char *lead, SampleRef ref) {
    char sample[SAMPLE_TEXT_LEN];
    DescribeSample(ref, sample, sizeof sample);
    AppendReport(report, "%s%s\n", lead, sample);
}

static void ReportRow(std::string *report, int r) {
    const TunedRow &row = result.row[r];
    AppendReport(report, "row %d: %zu samples; X %d, Y %d, INT %d\n", r, RowSampleCount(r),
                 row.teach.x, row.teach.y, row.teach.intensity);
    if (result.checksBand)
        AppendReport(report, "  CTO %d, ITO %d; coverage %.1f %%\n", row.cto, row.ito,
                     100.0 * row.coverage);
    else
        AppendReport(report, "  CTO %d; coverage %.1f %%\n", row.cto, 100.0 * row.coverage);
    if (row.belowLimit > 0)
        AppendReport(report, "  %ld samples below INTLIM left out\n", row.belowLimit);
    AppendReport(report, "  margin %.2f: own samples %.2f inside\n  the circle", row.margin,
                 row.insideCircle);
    if (result.checksBand)
        AppendReport(report, ", %d inside the INT band", row.insideBand);
    AppendReport(report, ";\n");
    if (row.hasOther) {
        AppendReport(report, "  nearest other row's sample %.2f out:\n", row.outside);
        AppendSample(report, "    ", row.nearestOther);
    }
}

static int Digits(long value) {
    int digits = 1;
    while (value >= 10) {
        value /= 10;
        digits++;
    }
    return digits;
}

// True row against the model's C-No, 255 last; the columns are as wide as the largest count.
static void ReportConfusion(std::string *report) {
    long largest = 0;
    for (int row = 0; row < result.rows; row++)
        for (int column = 0; column < CONFUSION_COLUMNS; column++)
            largest = std::max(largest, result.confusion[row][column]);
    const int width = std::max(Digits(largest), 3) + 1;
    AppendReport(report, "Confusion table (rows: the samples' row;\n"
                         "columns: the C-No the model gives them):\nrow");
    for (int column = 0; column < result.rows; column++)
        AppendReport(report, "%*d", width, column);
    AppendReport(report, "%*d\n", width, NO_COLOUR);
    for (int row = 0; row < result.rows; row++) {
        AppendReport(report, "%3d", row);
        for (int column = 0; column < result.rows; column++)
            AppendReport(report, "%*ld", width, result.confusion[row][column]);
        AppendReport(report, "%*ld\n", width, result.confusion[row][CONFUSION_NONE]);
    }
}

static void ReportCollisions(std::string *report) {
    AppendReport(report,
                 "NOT TOLD APART; colliding samples: %ld.\n"
                 "Each lies inside the smallest circle and INT\n"
                 "band that hold another row's own samples: no\n"
                 "circles and bands tell these colours apart.\n"
                 "Nothing can be accepted.\n",
                 result.collisions);
    for (int i = 0; i < result.shownCollisions; i++) {
        const Collision &collision = result.collision[i];
        AppendReport(report, "row %d holds row %d's sample\n", collision.row,
                     collision.intruder.row);
        AppendSample(report, "  ", collision.intruder);
        AppendSample(report, "  nearest own: ", collision.nearest);
    }
    if (result.collisions > result.shownCollisions)
        AppendReport(report, "... and %ld more\n", result.collisions - result.shownCollisions);
}

static void ReportTuning(std::string *report, const TeachRule &rule) {
    AppendReport(report, "Tuning %s from their samples\n(teach rule: k %g, margin %g):\n",
                 RowRange(result.rows).c_str(), rule.k, rule.margin);
    if (result.status == TUNE_SEPARATED)
        AppendReport(report, "Told apart; smallest margin %.2f (row %d).\n", result.smallestMargin,
                     result.smallestRow);
    else
        ReportCollisions(report);
    for (int row = 0; row < result.rows; row++)
        ReportRow(report, row);
    ReportConfusion(report);
    if (result.status == TUNE_SEPARATED)
        AppendReport(report, "Accept puts %s into the table.\n", RowRange(result.rows).c_str());
}

// The rows to tune each keep samples; else the report says which do not.
static bool EveryRowHasSamples(std::string *report, int rows) {
    bool every = true;
    for (int row = 0; row < rows; row++) {
        if (RowSampleCount(row) > 0)
            continue;
        AppendReport(
            report,
            "Row %d keeps no samples: TEACH MANY collects\nthem, Load samples reads a recording.\n",
            row);
        every = false;
    }
    return every;
}

// ---- The zoom view ----------------------------------------------------------------------------

static void KeepClouds(const std::vector<ColourSample> *samples, int rows) {
    for (int row = 0; row < rows; row++) {
        std::vector<bool> seen(256 * 256);
        cloudX[row].clear();
        cloudY[row].clear();
        for (const ColourSample &sample : samples[row]) {
            const int point = sample.x * 256 + sample.y;
            if (seen[point])
                continue;
            seen[point] = true;
            cloudX[row].push_back(sample.x);
            cloudY[row].push_back(sample.y);
        }
    }
}

// The limit line, each tuned row's sample cloud, then the proposed circles over them.
static void PlotTuningProposal(void) {
    DeleteGraphPlot(MainPanel, PANEL_ZOOMGRAPH, VAL_ALL_PLOTS, VAL_IMMEDIATE_DRAW);
    DrawLimitLine(PANEL_ZOOMGRAPH);
    for (int row = 0; row < result.rows; row++)
        PlotXY(MainPanel, PANEL_ZOOMGRAPH, cloudX[row].data(), cloudY[row].data(),
               (int)cloudX[row].size(), VAL_UNSIGNED_CHAR, VAL_UNSIGNED_CHAR, VAL_SCATTER,
               VAL_NO_POINT, VAL_SOLID, 1, CircleColourOfRow(row));
    for (int row = 0; row < result.rows; row++) {
        const unsigned char *cells = &result.block[TeachCellOffset(row + 1, COL_X)];
        PlotToleranceCircle(PANEL_ZOOMGRAPH, cells[COL_X - 1], cells[COL_Y - 1], cells[COL_CTO - 1],
                            CircleColourOfRow(row));
    }
}

void PlotZoomView(void) {
    if (pending)
        PlotTuningProposal();
    else
        PlotTaughtColours(PANEL_ZOOMGRAPH);
}

void MoveZoomView(void) {
    if (!pending) {
        ZoomToCursor();
        return;
    }
    PlotTuningProposal();
    FollowZoomCursor();
}

// ---- Tune, accept, discard --------------------------------------------------------------------

void TuneActiveRows(void) {
    // An older proposal goes, from the zoom view too, whatever this tuning gives.
    if (pending) {
        EndProposal();
        PlotTaughtColours(PANEL_ZOOMGRAPH);
    }
    PanelParameterBlock(tunedBase);
    const int rows = ActiveRows(tunedBase);
    std::string report = MODEL_NOTE;
    if (rows == 0) {
        AppendReport(&report, "MAXCOL-No. is 0: no active rows to tune.\n");
        ShowReport(report);
        return;
    }
    if (!EveryRowHasSamples(&report, rows)) {
        ShowReport(report);
        return;
    }
    std::vector<ColourSample> samples[TEACH_ROWS];
    SampleSet sets[TEACH_ROWS];
    for (int row = 0; row < rows; row++) {
        GetRowSamples(row, &samples[row]);
        sets[row] = SampleSet{samples[row].data(), samples[row].size()};
    }
    const TeachRule rule = PanelTeachRule();
    if (TuneTolerances(tunedBase, sets, rows, &rule, &result) == TUNE_REFUSED) {
        AppendReport(&report, "Not tuned: %s.\n", result.reason);
        ShowReport(report);
        return;
    }
    ReportTuning(&report, rule);
    ShowReport(report);
    KeepClouds(samples, rows);
    pending = 1;
    OfferChoice(result.status == TUNE_SEPARATED, 1);
    ZoomFullRange();
    PlotTuningProposal();
}

// The proposal holds for the EVALMODE, INTLIM and active rows it was tuned with.
static bool TunedParametersChanged(const unsigned char now[BLOCK_LENGTH]) {
    return now[OFFSET_EVALMODE] != tunedBase[OFFSET_EVALMODE] ||
           now[OFFSET_INTLIM] != tunedBase[OFFSET_INTLIM] ||
           now[OFFSET_MAXCOLNO] != tunedBase[OFFSET_MAXCOLNO];
}

void AcceptTuning(void) {
    if (!pending || result.status != TUNE_SEPARATED)
        return;
    unsigned char now[BLOCK_LENGTH];
    PanelParameterBlock(now);
    if (TunedParametersChanged(now)) {
        MessagePopup("INFO", " ATTENTION! \n \n EVALMODE, INTLIM OR MAXCOL-No. HAS CHANGED SINCE "
                             "THE TUNING \n TUNE AGAIN ");
        return;
    }
    const int columns =
        now[OFFSET_EVALMODE] == EVALMODE_XY_ONLY ? (int)XY_ONLY_COLUMNS : (int)TEACH_COLUMNS;
    for (int row = 0; row < result.rows; row++)
        SetTeachRow(row, &result.block[TeachCellOffset(row + 1, COL_X)], columns);
    EndProposal();
    AppendReport(&shownReport,
                 "\nAccepted: %s in the table;\nSend (F9) takes them to the sensor.\n",
                 RowRange(result.rows).c_str());
    ShowDetectionReport(shownReport);
    PlotTaughtColours(PANEL_ZOOMGRAPH);
}

void DiscardTuning(void) {
    if (!pending)
        return;
    EndProposal();
    AppendReport(&shownReport, "\nDiscarded: the table is as it was.\n");
    ShowDetectionReport(shownReport);
    PlotTaughtColours(PANEL_ZOOMGRAPH);
}
