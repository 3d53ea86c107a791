// The watch over the line: a port whose device goes away (an adapter unplugged, a cable pulled
// with it) is closed and shown as "LINE LOST"; once the same device is back the line is opened
// again as a port change does. The same tick keeps the COM-port list in step with the hardware.
#pragma once

// How often the program's tick runs WatchLine.
enum { WATCH_INTERVAL_MS = 1000 };
// One tick: notices a lost line, reopens a returned one, refreshes the port list while no
// transfer runs.
void WatchLine(void);
// Stops waiting for a lost device: the user picked a port.
void EndLineWatch(void);
// 1 while a lost device is awaited.
int LineWatchWaiting(void);
