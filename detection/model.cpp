// The detection model.
#include "detection/model.h"

#include <algorithm>
#include <cmath>

// The cells of row (0..14) in column order.
static const unsigned char *RowCells(const unsigned char block[BLOCK_LENGTH], int row) {
    return &block[TeachCellOffset(row + 1, COL_X)];
}

void PrepareDetection(const unsigned char block[BLOCK_LENGTH], DetectionTable *table) {
    const int mode = block[OFFSET_EVALMODE];
    table->intensityLimit = block[OFFSET_INTLIM];
    table->contrastChannel = ContrastChannel(mode);
    table->upper = RowCells(block, 0)[COL_X - 1]; // "UL"
    table->lower = RowCells(block, 0)[COL_Y - 1]; // "LL"
    table->checkIntensity = mode != EVALMODE_XY_ONLY;
    table->rows = ActiveRows(block);
    for (int r = 0; r < TEACH_ROWS; ++r) {
        const unsigned char *cells = RowCells(block, r);
        DetectionRow *row = &table->row[r];
        row->x = cells[COL_X - 1];
        row->y = cells[COL_Y - 1];
        row->radius = cells[COL_CTO - 1];
        row->radiusSquared = row->radius * row->radius;
        row->band = RowIntensityBand(cells);
    }
}

static bool RowHolds(const DetectionRow *row, const unsigned char *values, int checkIntensity) {
    const int dx = values[M_X] - row->x;
    const int dy = values[M_Y] - row->y;
    if (dx * dx + dy * dy > row->radiusSquared)
        return false;
    return !checkIntensity || InBand(row->band, values[M_INT]);
}

unsigned char DetectWithTable(const DetectionTable *table, const unsigned char *values) {
    if (BelowIntensityLimit(values[M_INT], table->intensityLimit))
        return NO_COLOUR;
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
    margin->band = table->checkIntensity
                       ? std::min(values[M_INT] - row->band.low, row->band.high - values[M_INT])
                       : 0;
}
