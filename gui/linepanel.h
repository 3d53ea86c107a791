// The panel's side of the serial line: its sensor's session, the port opened and the sensor
// proved, with what the status display, the port note and the pop-up say of them.
#pragma once

#include "session/session.h"

// The panel's sensor: the session of portNumber, begun anew when the port changed, with the
// engine's Timer as its clock (it paints what changed before a callback begins to wait) and the
// panel's sync byte. Telemetry slot 0.
SensorSession *PanelSession(void);
// The session begins anew at its next use, on the device then behind portNumber.
void ForgetPanelSession(void);
// Another clock for the panel's reply waits; a test that scripts the line drives time with it.
// Null restores the engine's Timer.
void SetPanelLinkClock(double (*clock)(void));
// The sensor a line file gives the panel (--line FILE --sensor NAME): while the panel is on
// port, the sensor is name and its writes go to lineLog too; on any other port the device
// names it, as the commands do.
void SetPanelLineSensor(int port, const std::string &name, const std::string &lineLog);
// The line file of that sensor, as given, and the control socket of the line's service: a port
// that the service holds is then told as held by it, with the commands that borrow it.
void SetPanelLineService(const std::string &lineFile, const std::string &control);
// What the panel says of a sensor of a line while the line's service holds it: that it does, and
// the commands that borrow it and give it back. "" when no service holds it.
std::string ServedSensorNote(const std::string &control, const std::string &lineFile,
                             const std::string &sensor);

// Makes port the portNumber and opens it at 9600 8N1; shows an open failure in the status
// display, otherwise runs CheckLine (on portNumber, now port).
void OpenPort(int port);
// One line check on portNumber: "LINE OK" and afterLineOk, or the time-out report.
// afterLineOk is the program's reading of the parameters after a good check (GetParameters);
// it is a hook so that the line's own tests can count good checks without a sensor's block.
void CheckLine(void);
// Status text "TIMEOUT" and the modal "INFO" pop-up; the session has told the broker why.
void ReportTimeout(void);
// Writes a text into the status display (statusText is not changed).
void ShowStatus(const char *text);
// Writes the line beside the status texts that says why the port failed and what to do.
void ShowPortNote(const char *text);
