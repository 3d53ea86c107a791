// The panel's side of the serial line: the port opened and the sensor proved, with what the
// status display, the port note and the pop-up say of it.
#pragma once

#include "com232/link.h"

// The link of portNumber for the panel's exchanges. Its clock is the engine's Timer, which paints
// what changed on the screen before a callback begins to wait.
SensorLink PanelLink(void);
// Another clock for the panel's reply waits; a test that scripts the line drives time with it.
// Null restores the engine's Timer.
void SetPanelLinkClock(double (*clock)(void));

// Makes port the portNumber and opens it at 9600 8N1; shows an open failure in the status
// display, otherwise runs CheckLine (on portNumber, now port).
void OpenPort(int port);
// One line check on portNumber: "LINE OK" and afterLineOk, or the time-out report.
// afterLineOk is the program's reading of the parameters after a good check (GetParameters);
// it is a hook so that the line's own tests can count good checks without a sensor's block.
void CheckLine(void);
// Status text "TIMEOUT" and the modal "INFO" pop-up.
void ReportTimeout(void);
// Writes a text into the status display (statusText is not changed).
void ShowStatus(const char *text);
// Writes the line beside the status texts that says why the port failed and what to do.
void ShowPortNote(const char *text);
