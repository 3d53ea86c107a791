// The sensor's side of the protocol: requests parsed byte by byte, replies shaped by the
// injected faults and paced at the line rate.
#pragma once

// Serves requests on the open line until SIGTERM/SIGINT. After a hang-up (--hangup-after) the
// line is closed and the emulator only waits for the stop. Returns the exit code: 0 after a
// stop, 1 when the line was lost.
int ServeRequests(void);
// Feeds bytes that arrived on the line at time arrival to the request parser, which answers
// each request as soon as it is whole; a request may end in a later call. Bytes after a hang-up
// are ignored.
void FeedRequestBytes(const unsigned char *bytes, int count, double arrival);
