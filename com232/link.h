// The serial line to one sensor as any caller holds it: the port context, the request, the
// reply wait and the read that every exchange shares. Free of Qt and of the panel: nothing here
// shows anything or touches program-wide state, so a process may hold many links and work them
// from as many threads at once, one thread per link.
#pragma once

#include "sensor/wire.h"

enum { WAIT_ABORTED = -1000 };
#define REPLY_TIMEOUT 2.0

// One sensor's open port and its timings.
struct SensorLink {
    int port;              // COM number of the port, opened by OpenSensorPort
    double replyTimeout;   // seconds a reply may take
    double (*clock)(void); // seconds; the panel's clock paints what is due before its waits
    unsigned char syncByte;
    // Seconds a byte takes on the line. With it set, a wait that holds part of a reply sleeps
    // until the rest can be there rather than waking at every byte: many links on one machine
    // then cost a few wake-ups a reply. 0: the wait polls again at once.
    double byteSeconds;
    // With it set, a wait ends as soon as the device went away (the line service tells a loss at
    // once); else it lasts its time-out, as the panel's waits do.
    bool endOnLoss;
};

// Seconds a byte takes at 9600 baud, 8N1: ten bits.
#define BYTE_SECONDS_9600 (10.0 / 9600.0)

// How the last exchange on a link ended and how much came back.
struct LinkReply {
    int outcome; // EXCHANGE_OK, EXCHANGE_NO_REPLY, ... (exchanges.h)
    int length;  // bytes read; 0 after a write or an aborted wait
};

// A link to port with REPLY_TIMEOUT, the given clock (MonotonicSeconds when null), SYNC_BYTE and
// polling at once.
SensorLink MakeSensorLink(int port, double (*clock)(void));
// Seconds on a steady clock that no one sets.
double MonotonicSeconds(void);

// Opens port at 9600 8N1 with the reply time-out, empty queues and no handshake; the panel and
// the headless commands open a sensor's port alike. Returns 0 or the open's code.
int OpenSensorPort(int port);
// Text of an open failure code.
const char *OpenErrorText(int code);

// The request for command into request: the sync byte and the command, and for the two write
// commands the block behind them. Returns the length to send: 2, or 86 for a write.
int BuildRequest(const SensorLink *link, int command, const unsigned char *block,
                 unsigned char request[HEADER_LENGTH + BLOCK_LENGTH]);
// Writes the request, after emptying both queues when flushFirst is set; returns the count the
// port took.
int SendRequest(const SensorLink *link, const unsigned char *request, int length, int flushFirst);
// The shared reply wait, started right after a request was written: polls the input queue until
// more than the reply time-out has passed (tested first) or at least expectedLength bytes wait;
// with byteSeconds set, part of a reply lets it sleep for the rest, never past the time-out.
// Returns the count of the last poll (negative once the device went away). With keepWaiting given,
// it returns WAIT_ABORTED as soon as a poll finds *keepWaiting cleared.
int WaitForReply(const SensorLink *link, int expectedLength, const volatile int *keepWaiting);
// Reads the reportedCount bytes of the last poll into receive, never more than BUFFER_LENGTH;
// nothing when the count is zero or negative. Returns the count read.
int ReadReply(const SensorLink *link, int reportedCount, unsigned char receive[BUFFER_LENGTH]);
