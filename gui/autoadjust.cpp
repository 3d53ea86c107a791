#include "gui/autoadjust.h"

#include "gui/colourgraph.h"
#include "gui/parameters.h"
#include "gui/records.h"
#include "state/globals.h"

#include <cmath>
#include <cstdlib>

enum { START_CTO = 2, FIRST_PASS_CTO = 3, LAST_PASS_CTO = 20 };

// MAXCOL-No. counts the active rows from the top. A block from the sensor or a file may carry
// more than the table has; the rows beyond 15 do not exist, so the count stops there.
static int ActiveRowCount(const ParameterSetRecord *set) {
    int count = set->parameter[OFFSET_MAXCOLNO];
    return count > TEACH_ROWS ? TEACH_ROWS : count;
}

static int BandLower(const unsigned char *row) {
    return row[COL_INT] - row[COL_ITO];
}
static int BandUpper(const unsigned char *row) {
    return row[COL_INT] + row[COL_ITO];
}

// The closed intensity bands share at least one value.
static bool BandsOverlap(const unsigned char *q, const unsigned char *p) {
    int lowerQ = BandLower(q), upperQ = BandUpper(q);
    int lowerP = BandLower(p), upperP = BandUpper(p);
    return (lowerQ <= lowerP && lowerP <= upperQ) || (lowerP <= lowerQ && lowerQ <= upperP);
}

// Euclidean distance of the two (X, Y) points, truncated toward zero.
static int TruncatedDistance(const unsigned char *q, const unsigned char *p) {
    double dx = std::abs(q[COL_X] - p[COL_X]);
    double dy = std::abs(q[COL_Y] - p[COL_Y]);
    return (int)std::sqrt(dx * dx + dy * dy);
}

// Row q's circle of radius rq touches or overlaps that of an active row whose band meets q's.
static bool HasConflict(const ParameterSetRecord *set, int q, int rq, int activeRows) {
    const unsigned char *rowQ = set->teachTable[q];
    for (int p = 1; p <= activeRows; p++) {
        if (p == q)
            continue;
        const unsigned char *rowP = set->teachTable[p];
        if (TruncatedDistance(rowQ, rowP) <= rq + rowP[COL_CTO] && BandsOverlap(rowQ, rowP))
            return true;
    }
    return false;
}

void AdjustTolerances(ParameterSetRecord *set) {
    int activeRows = ActiveRowCount(set);
    for (int j = FIRST_PASS_CTO; j <= LAST_PASS_CTO; j++)
        for (int q = 1; q <= activeRows; q++)
            if (!HasConflict(set, q, set->teachTable[q][COL_CTO], activeRows))
                set->teachTable[q][COL_CTO] = (unsigned char)j;
}

void AutoAdjustTolerances(void) {
    ReadPanelParameters();
    int activeRows = ActiveRowCount(&ParameterSet);
    for (int row = 1; row <= activeRows; row++)
        SetTableCellVal(MainPanel, PANEL_TEACHTABLE, MakePoint(COL_CTO, row), START_CTO);
    ZoomFullRange();
    PlotTaughtColours(PANEL_ZOOMGRAPH);
    AdjustTolerances(&ParameterSet);
    ShowParameters();
    PlotTaughtColours(PANEL_ZOOMGRAPH);
}
