// The serial services' one call upwards: a wait that met a silent line lets the engine draw
// what is due there (the engine installs its drawing; without it nothing is drawn). Free of Qt.
#pragma once

typedef void (*LineSilenceHook)(void);
void SetLineSilenceHook(LineSilenceHook hook);
