// Automatic sizing of the circle tolerances (CTO) of the active teach-table rows.
#pragma once

struct ParameterSetRecord;

// Grows the CTO of every active row of set (rows 1..min(MAXCOL-No., 15) of its teach table)
// from its current value in passes j = 3..20: a row takes the value j unless its circle touches
// or overlaps the circle of another active row whose intensity band INT - ITO..INT + ITO shares
// a value with its own. Only CTO cells of active rows change.
void AdjustTolerances(ParameterSetRecord *set);

// Reads the panel, sets the CTO cell of each active row to 2, opens ZoomGraph at full range,
// draws it, runs AdjustTolerances on the ParameterSet, shows the result on the panel and draws
// ZoomGraph again. A running data transfer is stopped.
void AutoAdjustTolerances(void);
