#include "gui/autoadjust.h"

#include "detection/model.h"
#include "gui/colourgraph.h"
#include "gui/parameters.h"
#include "gui/records.h"
#include "state/globals.h"

#include <cmath>
#include <cstdlib>

enum { START_CTO = 2, FIRST_PASS_CTO = 3, LAST_PASS_CTO = 20 };

// The closed intensity bands of the two rows (indexed by column) share at least one value.
static bool BandsOverlap(const unsigned char *q, const unsigned char *p) {
    const IntensityBand bandQ = RowIntensityBand(&q[COL_X]), bandP = RowIntensityBand(&p[COL_X]);
    return (bandQ.low <= bandP.low && bandP.low <= bandQ.high) ||
           (bandP.low <= bandQ.low && bandQ.low <= bandP.high);
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
    int activeRows = ActiveRows(set->parameter);
    for (int j = FIRST_PASS_CTO; j <= LAST_PASS_CTO; j++)
        for (int q = 1; q <= activeRows; q++)
            if (!HasConflict(set, q, set->teachTable[q][COL_CTO], activeRows))
                set->teachTable[q][COL_CTO] = (unsigned char)j;
}

void AutoAdjustTolerances(void) {
    ReadPanelParameters();
    int activeRows = ActiveRows(ParameterSet.parameter);
    for (int row = 1; row <= activeRows; row++)
        SetTableCellVal(MainPanel, PANEL_TEACHTABLE, MakePoint(COL_CTO, row), START_CTO);
    ZoomFullRange();
    PlotTaughtColours(PANEL_ZOOMGRAPH);
    AdjustTolerances(&ParameterSet);
    ShowParameters();
    PlotTaughtColours(PANEL_ZOOMGRAPH);
}
