// The serial line to the sensor: opening the port and the request and reply wait that every
// exchange shares. The panel's side of it (status display, pop-ups) is gui/linepanel.h.
#pragma once

enum { WAIT_ABORTED = -1000 };
#define REPLY_TIMEOUT 2.0

// Opens port at 9600 8N1 with the reply time-out, empty queues and no handshake; the panel's
// OpenPort and the headless commands open a sensor's port alike. Returns 0 or the open's code.
int OpenSensorPort(int port);
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
