#include "gui/teachtable.h"

#include "detection/model.h"
#include "gui/records.h"
#include "state/globals.h"

// Colour tolerance and intensity tolerances given to a freshly taught colour vector.
enum { TAUGHT_CTO = 10, TAUGHT_CTO_XY_ONLY = 2, TAUGHT_ITO_STAT = 10, TAUGHT_ITO_DYN = 5 };
// The contrast band: 15 above and below the channel value, which is held in 15..240 so that
// the band stays inside 0..255.
enum { CONTRAST_HALF_BAND = 15, CONTRAST_LOWEST = 15, CONTRAST_HIGHEST = 240 };

static void SetTeachCell(int row, int column, int value) {
    SetTableCellVal(MainPanel, PANEL_TEACHTABLE, MakePoint(column, row + 1), value);
}

void SetTeachRow(int row, const unsigned char *cells, int columns) {
    for (int column = 1; column <= columns; column++)
        SetTeachCell(row, column, cells[column - 1]);
}

// Row 0 of a reset table gets the band around the channel that the contrast mode evaluates;
// No. goes back to row 0.
static void TeachContrast(int evalMode, const unsigned char *frame) {
    int v = frame[ContrastChannel(evalMode)];
    if (v > CONTRAST_HIGHEST)
        v = CONTRAST_HIGHEST;
    if (v < CONTRAST_LOWEST)
        v = CONTRAST_LOWEST;

    ResetTable();
    SetCtrlVal(MainPanel, PANEL_NO, TEACH_FIRST_ROW);
    SetTeachCell(TEACH_FIRST_ROW, COL_X, v + CONTRAST_HALF_BAND);
    SetTeachCell(TEACH_FIRST_ROW, COL_Y, v - CONTRAST_HALF_BAND);
}

static void TeachXYOnly(int row, const unsigned char *frame) {
    SetTeachCell(row, COL_X, frame[M_X]);
    SetTeachCell(row, COL_Y, frame[M_Y]);
    SetTeachCell(row, COL_CTO, TAUGHT_CTO_XY_ONLY);
}

static void TeachColourVector(int row, int pmod, const unsigned char *frame) {
    SetTeachCell(row, COL_X, frame[M_X]);
    SetTeachCell(row, COL_Y, frame[M_Y]);
    SetTeachCell(row, COL_CTO, TAUGHT_CTO);
    SetTeachCell(row, COL_INT, frame[M_INT]);
    SetTeachCell(row, COL_ITO, pmod == PMOD_STAT ? TAUGHT_ITO_STAT : TAUGHT_ITO_DYN);
}

// With the option on, No. names the next row; after the last row it starts again at the top,
// so that teaching a full table goes on without touching No.
void AdvanceNo(int row) {
    int autoIncrement = 0;
    GetCtrlVal(MainPanel, PANEL_AUTOINC, &autoIncrement);
    if (autoIncrement != 1)
        return;
    SetCtrlVal(MainPanel, PANEL_NO, row >= TEACH_LAST_ROW ? TEACH_FIRST_ROW : row + 1);
}

void TeachDataTo(void) {
    int row = 0;
    GetCtrlVal(MainPanel, PANEL_PMOD, &ParameterSet.parameter[OFFSET_PMOD]);
    GetCtrlVal(MainPanel, PANEL_NO, &row);
    GetCtrlVal(MainPanel, PANEL_EVALMODE, &ParameterSet.parameter[OFFSET_EVALMODE]);

    const unsigned char *frame = currentMeasurement; // the last frame received
    int evalMode = ParameterSet.parameter[OFFSET_EVALMODE];
    if (IsContrastMode(evalMode)) {
        TeachContrast(evalMode, frame);
        return;
    }
    if (evalMode == EVALMODE_XY_ONLY)
        TeachXYOnly(row, frame);
    else
        TeachColourVector(row, ParameterSet.parameter[OFFSET_PMOD], frame);
    AdvanceNo(row);
}

void ResetTable(void) {
    for (int row = TEACH_FIRST_ROW; row <= TEACH_LAST_ROW; row++)
        for (int column = 1; column <= TEACH_COLUMNS; column++)
            SetTeachCell(row, column, 1);
}
