// A tick about once a second from the event loop, for work that watches the world outside the
// program (a serial port that went away, the system's list of ports). Free of Qt.
#pragma once

typedef void (*TickFunction)(void);

// Calls tick every intervalMilliseconds while the event loop or a ProcessSystemEvents runs. A
// tick that falls due while a modal pop-up is open is skipped, and a tick that is still running
// is not entered again. Replaces an earlier ticker.
void StartTicker(int intervalMilliseconds, TickFunction tick);
void StopTicker(void);
