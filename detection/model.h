// The program's model of how the sensor detects a colour: a parameter block (the 84 bytes of the
// wire) and a frame's RED, GREEN, BLUE, X, Y, INT give the C-No. It is the model of the help
// texts, not the sensor; the emulator answers with it and the recordings check it. Free of Qt.
//
// What the model assumes:
// - INT below INTLIM is the error state, C-No 255, in every mode; INT equal to INTLIM is
//   evaluated.
// - EVALMODE 3, 4 and 5 (CONTRAST R, G, B) look only at row 0: its first cell is the upper limit
//   UL, its second the lower limit LL; RED, GREEN or BLUE within LL..UL (limits included) is C-No
//   0, anything else 255. MAXCOL-No. plays no part there.
// - Every other EVALMODE checks the active rows, 0 to MAXCOL-No. - 1 (at most the 15 rows), in
//   row order; the first row that holds the frame is the C-No, none gives 255.
// - A row holds the frame when (X, Y) lies in its circle of radius CTO around its (X, Y), the rim
//   included (distances are exact: dx*dx + dy*dy <= CTO*CTO), and, except in EVALMODE 1
//   (X/Y only), INT lies in its band INT - ITO .. INT + ITO, both ends included and not clamped
//   to 0..255.
#pragma once

#include "sensor/wire.h"

enum { NO_COLOUR = 255 };

// The active rows of a table: MAXCOL-No. (of a block, or of its first PARAMETER_COUNT bytes).
// A block from a sensor or a file may carry more than the table's 15 rows; the rows beyond them do
// not exist, so the count stops there.
inline int ActiveRows(const unsigned char *parameters) {
    const int maxcol = parameters[OFFSET_MAXCOLNO];
    return maxcol < TEACH_ROWS ? maxcol : (int)TEACH_ROWS;
}

// A row's INT band, INT - ITO .. INT + ITO, both ends included and not clamped to 0..255.
struct IntensityBand {
    int low, high;
};
// The band of a teach row's cells (X, Y, CTO, INT, ITO in column order).
inline IntensityBand RowIntensityBand(const unsigned char *cells) {
    const int intensity = cells[COL_INT - 1], tolerance = cells[COL_ITO - 1];
    return IntensityBand{intensity - tolerance, intensity + tolerance};
}
inline bool InBand(IntensityBand band, int intensity) {
    return intensity >= band.low && intensity <= band.high;
}
// INT below INTLIM is the error state, too little light to evaluate: never a colour.
inline bool BelowIntensityLimit(int intensity, int intensityLimit) {
    return intensity < intensityLimit;
}
// EVALMODE 3 to 5 (CONTRAST R, G, B) evaluate one channel between limits, not colours.
inline bool IsContrastMode(int evalMode) {
    return evalMode >= EVALMODE_CONTRAST_R && evalMode <= EVALMODE_CONTRAST_B;
}
// The frame value a contrast mode evaluates (M_RED, M_GREEN, M_BLUE); -1 in any other mode.
inline int ContrastChannel(int evalMode) {
    return IsContrastMode(evalMode) ? M_RED + (evalMode - EVALMODE_CONTRAST_R) : -1;
}
// The measured values of a frame that the model reads: RED, GREEN, BLUE, X, Y, INT (M_RED to
// M_INT); a whole frame may be passed, its C-No is not read.
enum { DETECTION_VALUES = M_INT + 1 };

// A row as the model checks it, worked out once from the block.
struct DetectionRow {
    int x, y;
    int radius;
    int radiusSquared;
    IntensityBand band;
};

// A block made ready for detection: the same answers as the block, without re-reading it.
struct DetectionTable {
    int intensityLimit;  // INTLIM
    int contrastChannel; // M_RED, M_GREEN or M_BLUE in the contrast modes, else -1
    int upper, lower;    // the contrast limits UL and LL of row 0
    int checkIntensity;  // 0 in the X/Y-only mode
    int rows;            // active rows
    DetectionRow row[TEACH_ROWS];
};

// How far inside a detection lies: from the rim of the circle in X/Y units and from the nearer
// end of the band (the INT band, or in the contrast modes the channel's LL..UL).
struct DetectionMargin {
    double circle; // 0 on the rim; 0 and meaningless in the contrast modes
    int band;      // 0 at an end; 0 and meaningless in the X/Y-only mode
};

// Fills table from block.
void PrepareDetection(const unsigned char block[BLOCK_LENGTH], DetectionTable *table);
// The C-No that the table gives the frame's values (DETECTION_VALUES bytes in frame order).
unsigned char DetectWithTable(const DetectionTable *table, const unsigned char *values);
// The C-No that block gives the frame's values (DETECTION_VALUES bytes in frame order).
unsigned char DetectColour(const unsigned char block[BLOCK_LENGTH], const unsigned char *values);
// The margins of a frame that the table detects as cno (not NO_COLOUR), in *margin.
void DetectionMarginOf(const DetectionTable *table, int cno, const unsigned char *values,
                       DetectionMargin *margin);
// 1 when the table's rows are circles (with or without bands), 0 in the contrast modes.
inline int DetectsByCircles(const DetectionTable *table) {
    return table->contrastChannel < 0;
}
// 1 when the table's detections have a band margin: not in the X/Y-only mode.
inline int DetectsByBands(const DetectionTable *table) {
    return table->contrastChannel >= 0 || table->checkIntensity;
}
