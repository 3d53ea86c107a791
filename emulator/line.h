// The emulator's end of the serial line: a pseudo-terminal or a device in raw mode at 9600 8N1,
// the clock, and waits that end early on SIGTERM or SIGINT.
#pragma once

// One byte on the line: start bit, 8 data bits, stop bit at 9600 baud, in seconds.
#define BYTE_TIME (10.0 / 9600.0)

// Blocks SIGTERM and SIGINT outside the waits below and makes them request a stop.
void InstallStopSignals(void);
// Non-zero once SIGTERM or SIGINT arrived.
int StopRequested(void);
// Lets timed waits end within microseconds of their time rather than the system's default 50,
// so that paced bytes leave when their line time comes.
void SharpenWaits(void);
// Monotonic seconds.
double Now(void);
// Sleeps until the monotonic time t. Returns 0, or -1 when a stop was requested first.
int SleepUntil(double t);
// Blocks until a stop is requested.
void WaitForStop(void);

// Opens device, or a new pseudo-terminal when device is nullptr, raw at 9600 8N1. For a
// pseudo-terminal the emulator keeps its own slave open so that the line survives the program
// closing and reopening it. Returns 0, or -1 after reporting the failure on stderr.
int OpenLine(const char *device);
// Path that the program opens: the device, or the pseudo-terminal's slave.
const char *LinePath(void);
// Waits up to timeoutSeconds (negative: no limit) for bytes and reads at most size of them.
// Returns the count, 0 after a time-out or a stop request, -1 when the line is gone.
int LineRead(unsigned char *buffer, int size, double timeoutSeconds);
// Writes count bytes, waiting at most a second for room. Returns the count written.
int LineWrite(const unsigned char *buffer, int count);
// Closes the line for good: the program's end of it goes dead.
void CloseLine(void);
