// The parameter sheet from the panel: what the panel shows, printed on one A4 page.
#pragma once

#include "platform/output/paramsheet.h"

// The sheet of the panel as it stands: program, port, the parameter file the set came from,
// the nine parameters with their labels and shown values, the teach table and circle colours.
void FillParameterSheet(ParameterSheet *sheet);
// The print dialog for the sheet; a failure is reported in an "INFO" pop-up.
void PrintParameterSheet(void);
