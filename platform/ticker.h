// A tick about once a second from the event loop, for work that watches the world outside the
// program (a serial port that went away, the system's list of ports). Free of Qt.
#pragma once

typedef void (*TickFunction)(void);

// Calls tick every intervalMilliseconds while the event loop (or a ProcessSystemEvents, or a
// modal pop-up) runs, but not while a modal pop-up is open. A tick that is still running is
// not entered again. Replaces an earlier
// ticker.
void StartTicker(int intervalMilliseconds, TickFunction tick);
void StopTicker(void);
