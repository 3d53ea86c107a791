// The parameter sheet from the panel.
#include "gui/parametersheet.h"

#include "nvmxv451_version.h"

#include "gui/colourgraph.h"
#include "gui/parameters.h"
#include "sensor/wire.h"
#include "state/globals.h"
#include "textforms/portlabel.h"

#include <cstdio>
#include <cstring>

static const char programName[] = NVMX_PRODUCT_TITLE;

// The nine parameter controls in block order and the label that names each on the panel.
static const int sheetControls[SHEET_PARAMETERS][2] = {
    {PANEL_POWER, PANEL_PARAMDECO_1},    {PANEL_PMOD, PANEL_PARAMDECO_3},
    {PANEL_AVERAGE, PANEL_PARAMDECO_6},  {PANEL_TRIGGER, PANEL_PARAMDECO_7},
    {PANEL_EVALMODE, PANEL_PARAMDECO_2}, {PANEL_INTLIM, PANEL_PARAMDECO_8},
    {PANEL_HOLD, PANEL_PARAMDECO_9},     {PANEL_MAXCOLNO, PANEL_PARAMDECO_4},
    {PANEL_OUTMODE, PANEL_PARAMDECO_5},
};

void FillParameterSheet(ParameterSheet *sheet) {
    std::memset(sheet, 0, sizeof *sheet);
    std::snprintf(sheet->program, sizeof sheet->program, "%s", programName);
    FormatPortLabel(sheet->port, sizeof sheet->port, portNumber);
    std::snprintf(sheet->fileName, sizeof sheet->fileName, "%s", parameterSetFile);
    for (int i = 0; i < SHEET_PARAMETERS; i++) {
        GetCtrlVal(MainPanel, sheetControls[i][1], sheet->label[i], SHEET_TEXT_LEN);
        GetCtrlVal(MainPanel, sheetControls[i][0], sheet->value[i], SHEET_TEXT_LEN);
    }
    for (int column = 1; column <= SHEET_COLUMNS; column++)
        GetTableColumnAttribute(MainPanel, PANEL_TEACHTABLE, column, ATTR_LABEL_TEXT,
                                sheet->columnLabel[column - 1], SHEET_TEXT_LEN);
    for (int row = 1; row <= SHEET_ROWS; row++) {
        sheet->rowColour[row - 1] = CircleColourOfRow(row - 1);
        for (int column = 1; column <= SHEET_COLUMNS; column++)
            GetTableCellVal(MainPanel, PANEL_TEACHTABLE, MakePoint(column, row),
                            &sheet->cell[row - 1][column - 1]);
    }
}

void PrintParameterSheet(void) {
    static ParameterSheet sheet;
    FillParameterSheet(&sheet);
    if (PrintSheetPopup(&sheet) < 0)
        MessagePopup("INFO", " ATTENTION! \n \n PARAMETER SHEET NOT PRINTED ");
}
