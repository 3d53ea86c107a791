// The detection model.
#include "detection/model.h"

#include <algorithm>
#include <cmath>

static int Cell(const unsigned char block[BLOCK_LENGTH], int row, int column) {
    return block[TeachCellOffset(row + 1, column)];
}

void PrepareDetection(const unsigned char block[BLOCK_LENGTH], DetectionTable *table) {
    const int mode = block[OFFSET_EVALMODE];
    table->intensityLimit = block[OFFSET_INTLIM];
    table->contrastChannel = mode >= EVALMODE_CONTRAST_R && mode <= EVALMODE_CONTRAST_B
                                 ? M_RED + (mode - EVALMODE_CONTRAST_R)
                                 : -1;
    table->upper = Cell(block, 0, COL_X); // "UL"
    table->lower = Cell(block, 0, COL_Y); // "LL"
    table->checkIntensity = mode != EVALMODE_XY_ONLY;
    const int active = block[OFFSET_MAXCOLNO];
    table->rows = active < TEACH_ROWS ? active : (int)TEACH_ROWS;
    for (int r = 0; r < TEACH_ROWS; ++r) {
        DetectionRow *row = &table->row[r];
        row->x = Cell(block, r, COL_X);
        row->y = Cell(block, r, COL_Y);
        row->radius = Cell(block, r, COL_CTO);
        row->radiusSquared = row->radius * row->radius;
        row->intensityLow = Cell(block, r, COL_INT) - Cell(block, r, COL_ITO);
        row->intensityHigh = Cell(block, r, COL_INT) + Cell(block, r, COL_ITO);
    }
}

static bool RowHolds(const DetectionRow *row, const unsigned char *values, int checkIntensity) {
    const int dx = values[M_X] - row->x;
    const int dy = values[M_Y] - row->y;
    if (dx * dx + dy * dy > row->radiusSquared)
        return false;
    return !checkIntensity ||
           (values[M_INT] >= row->intensityLow && values[M_INT] <= row->intensityHigh);
}

unsigned char DetectWithTable(const DetectionTable *table, const unsigned char *values) {
    if (values[M_INT] < table->intensityLimit)
        return NO_COLOUR; // error state: too little light to evaluate
    if (table->contrastChannel >= 0) {
        const int value = values[table->contrastChannel];
        return value >= table->lower && value <= table->upper ? 0 : NO_COLOUR;
    }
    for (int r = 0; r < table->rows; ++r) {
        if (RowHolds(&table->row[r], values, table->checkIntensity))
            return (unsigned char)r;
    }
    return NO_COLOUR;
}

unsigned char DetectColour(const unsigned char block[BLOCK_LENGTH], const unsigned char *values) {
    DetectionTable table;
    PrepareDetection(block, &table);
    return DetectWithTable(&table, values);
}

void DetectionMarginOf(const DetectionTable *table, int cno, const unsigned char *values,
                       DetectionMargin *margin) {
    if (table->contrastChannel >= 0) {
        const int value = values[table->contrastChannel];
        margin->circle = 0.0;
        margin->band = std::min(value - table->lower, table->upper - value);
        return;
    }
    const DetectionRow *row = &table->row[cno];
    margin->circle = row->radius - std::hypot(values[M_X] - row->x, values[M_Y] - row->y);
    margin->band = table->checkIntensity ? std::min(values[M_INT] - row->intensityLow,
                                                    row->intensityHigh - values[M_INT])
                                         : 0;
}
