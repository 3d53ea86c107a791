// The panel's face by evaluation mode, signal source and view: forced and dimmed parameter
// controls, teach-table headers and row labels, graphs, traces and displays.
#pragma once

// Reads EVALMODE, forces and dims the restricted controls and sets the table headers for it,
// dims POWER by PMOD, warns about MAXCOL-No., colours the row labels, then ApplySource.
void ApplyEvalMode(void);
// Reads SOURCE into graphSource (and EVALMODE into the ParameterSet) and shows the matching
// graph, traces and displays. A SOURCE outside 0..6 changes nothing.
void ApplySource(void);
// Hides the teach-table group, then shows the parameter group.
void ShowParameterView(void);
// Hides the parameter group, then shows the teach-table group.
void ShowTeachTableView(void);
// Reads MAXCOL-No. and OUTMODE into the ParameterSet; shows the "INFO" warning when
// MAXCOL-No. is above 4 and OUTMODE is not BINARY. Corrects nothing.
void MaxcolWarning(void);
// Row labels of panel rows 1..MAXCOL-No. dark green, the rest up to row 15 red, by the
// MAXCOL-No. byte of the ParameterSet (values above 15 make all rows green).
void ColourRowLabels(void);
// Dims the POWER slider unless the PMOD byte of the ParameterSet is 0 (STAT).
void DimPowerByPmod(void);
