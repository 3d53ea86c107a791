// The COLOR TEACH TABLE on the main panel: teaching the current measurement into a row and
// resetting every cell. The panel table is the master copy; these operations write only it.
#pragma once

// Rows of the table as the user counts them (0..14) and the auto-increment wrap.
enum { TEACH_FIRST_ROW = 0, TEACH_LAST_ROW = 14 };

// Writes the last received measurement into the table by EVALMODE: the colour vector into row
// No. (modes 0, 2, 6, 7), X, Y and CTO 2 into row No. (mode 1), or a reset table with the
// clamped 30-wide RED, GREEN or BLUE band in row 0 and No. 0 (contrast modes 3, 4, 5). Records
// PMOD and EVALMODE in the ParameterSet. With the auto-increment option on and a colour-vector
// mode, No. then moves on by one row; after row 14 it wraps to row 0.
void TeachDataTo(void);

// Writes cells[0 .. columns - 1] into columns 1 .. columns of teach row `row` (0..14), one cell
// at a time in column order.
void SetTeachRow(int row, const unsigned char *cells, int columns);
// With the auto-increment option on, sets No. to the row after `row` (row 0 after row 14).
void AdvanceNo(int row);

// Sets each of the 75 cells of the panel table to 1, each exactly once. Nothing else changes:
// not the ParameterSet, No., MAXCOL-No., the headers or the row colours.
void ResetTable(void);
