// What the program remembers between runs: the port, the window's place, the folder of
// parameter files; and the choice of the port at start-up.
#pragma once

// The port to open at start-up: the --port option (a device path, COMn or n), else COM1 when
// NVMX_COM1 maps it, else the remembered port when that device is present, else COM1.
int ChooseStartPort(const char *portOption);
// Remembers the port in use by its device, so that a later run finds it under any number.
void RememberPort(void);
// Puts the panel where it was at the end of the last run.
void RestoreWindowPosition(void);
void RememberWindowPosition(void);
