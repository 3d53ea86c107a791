// The live measurement display.
#include "gui/livedisplay.h"

#include "detection/model.h"
#include "platform/engine/analysis.h"
#include "state/globals.h"

double signalHistory[HISTORY_LENGTH];
int graphSource = 0;

enum {
    SOURCE_XY = 0,
    SOURCE_RED = 2,
    SOURCE_BLUE = 4,
    SOURCE_INT = 5,
    CHART_POINTS_PER_SCREEN = 101,
    CONTRAST_LIMIT_ROW = 1, // teach row 0, where the contrast modes keep UL and LL
    CURSOR = 1,
};

// The displays of the frame's fields, in frame order.
static const int measurementDisplays[FRAME_LENGTH] = {
    PANEL_RED, PANEL_GREEN, PANEL_BLUE, PANEL_X, PANEL_Y, PANEL_INT, PANEL_CNO,
};

static int TeachCell(int row, int column) {
    int value = 0;
    GetTableCellVal(MainPanel, PANEL_TEACHTABLE, MakePoint(column, row), &value);
    return value;
}

// UL and LL of the newest sample. For INT the band INT +- ITO of the row in the No. field,
// held in 0..255; for every other source the contrast limits of teach row 0 as they are.
static void WorkOutLimits(int *upper, int *lower) {
    if (graphSource == SOURCE_INT) {
        int no = 0;
        GetCtrlVal(MainPanel, PANEL_NO, &no);
        unsigned char cells[TEACH_COLUMNS] = {};
        cells[COL_INT - 1] = (unsigned char)TeachCell(no + 1, COL_INT);
        cells[COL_ITO - 1] = (unsigned char)TeachCell(no + 1, COL_ITO);
        // The band as the model has it, held to the chart's 0..255.
        const IntensityBand band = RowIntensityBand(cells);
        *upper = band.high > 255 ? 255 : band.high;
        *lower = band.low < 0 ? 0 : band.low;
    } else {
        *upper = TeachCell(CONTRAST_LIMIT_ROW, COL_X);
        *lower = TeachCell(CONTRAST_LIMIT_ROW, COL_Y);
    }
}

void DisplayMeasurement(const unsigned char frame[FRAME_LENGTH]) {
    for (int i = 0; i < FRAME_LENGTH; i++)
        SetCtrlVal(MainPanel, measurementDisplays[i], (int)frame[i]);
    if (graphSource >= SOURCE_RED && graphSource <= SOURCE_BLUE)
        SetCtrlVal(MainPanel, PANEL_RAW, (int)frame[M_RED + graphSource - SOURCE_RED]);

    int upper = 0;
    int lower = 0;
    WorkOutLimits(&upper, &lower);

    Shift(signalHistory, HISTORY_LENGTH, -HISTORY_CHANNELS, signalHistory);
    double *newest = signalHistory + HISTORY_LENGTH - HISTORY_CHANNELS;
    newest[TRACE_RED - 1] = frame[M_RED];
    newest[TRACE_GREEN - 1] = frame[M_GREEN];
    newest[TRACE_BLUE - 1] = frame[M_BLUE];
    newest[TRACE_INT - 1] = frame[M_INT];
    newest[TRACE_CNO - 1] = frame[M_CNO];
    newest[TRACE_UL - 1] = upper;
    newest[TRACE_LL - 1] = lower;
}

void UpdateGraph(const unsigned char frame[FRAME_LENGTH]) {
    if (graphSource == SOURCE_XY) {
        SetGraphCursor(MainPanel, PANEL_COLOURGRAPH, CURSOR, (double)frame[M_X],
                       (double)frame[M_Y]);
        return;
    }
    // The chart gets the whole 100-sample window each time and shows its last points.
    SetCtrlAttribute(MainPanel, PANEL_SIGNALCHART, ATTR_POINTS_PER_SCREEN, CHART_POINTS_PER_SCREEN);
    PlotStripChart(MainPanel, PANEL_SIGNALCHART, signalHistory, HISTORY_LENGTH, 0, 0, VAL_DOUBLE);
}
