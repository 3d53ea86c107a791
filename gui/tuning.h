// Tuning the active rows on the panel: CTO and ITO of rows 0 to MAXCOL-No. - 1 from the samples
// each row keeps (gui/teachsamples.h), by detection/tune.h. The proposal is shown before anything
// changes: the report (confusion table, coverage, margins, colliding samples) in the report text
// box, and in the zoom view each row's sample cloud in its circle colour with the proposed
// circles. Only Accept writes it, into the table on the panel; Send then takes it to the sensor.
#pragma once

// Forgets a waiting proposal and dims Accept and Discard.
void InitTuning(void);
// Tunes the active rows from their samples with the panel's EVALMODE, INTLIM and teach rule,
// reports, and shows the proposal in the zoom view at full range. Rows without samples, no
// active row or a contrast mode are reported instead. Accept is offered only when every row is
// told apart from the others; Discard whenever a proposal waits.
void TuneActiveRows(void);
// Writes the waiting proposal's rows into the table (X, Y and CTO in the X/Y-only mode; X, Y,
// CTO, INT and ITO otherwise) and shows the taught colours in the zoom view. Refused with an
// "INFO" pop-up when EVALMODE, INTLIM or MAXCOL-No. changed since the tuning.
void AcceptTuning(void);
// Drops the waiting proposal and shows the taught colours in the zoom view.
void DiscardTuning(void);
// 1 while a proposal waits for Accept or Discard.
int TuningPending(void);

// Draws the zoom view's plots: the waiting proposal, else the taught colours (PlotTaughtColours).
void PlotZoomView(void);
// The zoom cursor moved: as ZoomToCursor, over the waiting proposal when there is one.
void MoveZoomView(void);
