// The serial line to the sensor: opening the port, the line check, the shared reply wait and
// the time-out report.
#pragma once

enum { WAIT_ABORTED = -1000 };
#define REPLY_TIMEOUT 2.0

// Makes port the portNumber and opens it at 9600 8N1; shows an open failure in the status
// display, otherwise runs CheckLine (on portNumber, now port).
void OpenPort(int port);
// Opens port at 9600 8N1 with the reply time-out, empty queues and no handshake; the panel's
// OpenPort and the headless commands open a sensor's port alike. Returns 0 or the open's code.
int OpenSensorPort(int port);
// One line check on portNumber: "LINE OK" and afterLineOk, or the time-out report.
void CheckLine(void);
// Status text "TIMEOUT" and the modal "INFO" pop-up.
void ReportTimeout(void);
// Writes a text into the status display (statusText is not changed).
void ShowStatus(const char *text);
// Writes the line beside the status texts that says why the port failed and what to do.
void ShowPortNote(const char *text);
// Text of an open failure code.
const char *OpenErrorText(int code);
// The request of the line check and the transactions that wait for a reply: empties both
// queues of portNumber when flushFirst is set, builds the request header of sensorCommand,
// writes its 2 bytes (the count written is not examined) and returns WaitForReply's result.
int SendRequest(int flushFirst, int expectedLength, int watchAcquisition);
// The shared reply wait, started right after a request was written: polls the input queue of
// portNumber until more than REPLY_TIMEOUT has passed (tested first) or at least
// expectedLength bytes wait. Returns the count of the last poll. With watchAcquisition set, it
// returns WAIT_ABORTED as soon as a poll finds acquisitionActive cleared.
int WaitForReply(int expectedLength, int watchAcquisition);
// Reads the reportedCount bytes of the last poll into the receive buffer, never more than the
// buffer holds; nothing when the count is zero or negative. Returns the count read.
int ReadReply(int reportedCount);
