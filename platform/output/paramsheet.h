// The printable parameter sheet: one A4 page with the time it was made, the program, the port,
// the parameter file, every parameter with its label and value, and the teach table with each
// row's circle colour. Qt stays behind this header.
#pragma once

#include "platform/engine/userint.h"
#include "sensor/wire.h"

enum {
    SHEET_TEXT_LEN = 64,
    SHEET_PARAMETERS = PARAMETER_COUNT,
    SHEET_ROWS = TEACH_ROWS,
    SHEET_COLUMNS = TEACH_COLUMNS,
};

struct ParameterSheet {
    char program[SHEET_TEXT_LEN];                    // name and version
    char port[SHEET_TEXT_LEN];                       // "COM1"
    char fileName[MAX_PATHNAME_LEN];                 // "" when the set did not come from a file
    char label[SHEET_PARAMETERS][SHEET_TEXT_LEN];    // as the panel labels the parameter
    char value[SHEET_PARAMETERS][SHEET_TEXT_LEN];    // as the panel shows it
    char columnLabel[SHEET_COLUMNS][SHEET_TEXT_LEN]; // teach-table headers
    int cell[SHEET_ROWS][SHEET_COLUMNS];             // teach rows 0..14
    int rowColour[SHEET_ROWS];                       // circle colours, 0xRRGGBB
};

// Writes the sheet as a one-page A4 PDF. Returns 0, or UIE_IO_ERROR when the file was not written.
int WriteSheetPdf(const ParameterSheet *sheet, const char *path);
// The system's print dialog for the sheet (a printer, or a PDF file where the system offers
// one). With a file-selection hook set (tests) the hook names a PDF file instead. Returns 1 when
// printed, 0 on cancel, or a negative code.
int PrintSheetPopup(const ParameterSheet *sheet);
