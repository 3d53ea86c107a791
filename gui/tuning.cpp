// Tuning the active rows on the panel.
#include "gui/tuning.h"

#include "detection/model.h"
#include "detection/report.h"
#include "detection/tune.h"
#include "gui/colourgraph.h"
#include "gui/detectioncheck.h"
#include "gui/parameters.h"
#include "gui/teachsamples.h"
#include "gui/teachtable.h"
#include "state/globals.h"

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

// ---- The report -------------------------------------------------------------------------------

static std::string PanelSampleName(SampleRef ref, const void *) {
    char sample[SAMPLE_TEXT_LEN];
    DescribeSample(ref, sample, sizeof sample);
    return sample;
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
    std::string proposal;
    AppendTuningReport(&proposal, result, TunedSamples{rule, PanelSampleName, nullptr, {}},
                       REPORT_PANEL);
    if (result.status == TUNE_SEPARATED)
        AppendReport(&proposal, "Accept puts %s into the table.\n", RowRange(result.rows).c_str());
    ShowReport(proposal);
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
