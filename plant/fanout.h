// Runs one job per port at once, each in a process of its own: the serial link keeps one port's
// state in the program's globals, so sensors in parallel need processes, not threads.
#pragma once

#include "plant/results.h"

// The work of port index, run in its own process with the engine started headless; fills
// result.
typedef void (*PortJob)(int index, PortResult *result);

// Runs job for ports 0 .. count-1 at once and waits for all; results[i] is port i's. SIGINT and
// SIGTERM reach every job (stop is called in each), so each ends with its files whole. A job
// that dies without a result is reported as such.
void RunJobsAtOnce(int count, PortJob job, void (*stop)(void), PortResult *results);
