// Threads that may own serial ports: a port belongs to the thread that opened it, and its
// notifications need a thread the serial services can work with. Qt stays behind this header.
#pragma once

// Runs job(index, context) for every index 0 .. count-1 at once, each on a thread of its own,
// and returns when all have returned. A job opens, works and closes its own ports. Returns 0, or
// -1 when a thread did not start (the jobs that started have then run to their end).
int RunOnPortThreads(int count, void (*job)(int index, void *context), void *context);
