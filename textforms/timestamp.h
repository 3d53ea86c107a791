// The time stamp of recordings and payloads: local ISO 8601 with milliseconds and the offset
// from UTC, "2026-12-08T09:15:02.125+01:00". Free of Qt; POSIX time calls.
#pragma once

#include <cstddef>

enum { TIME_STAMP_LEN = 40 };

// The stamp of msSinceEpoch into text (TIME_STAMP_LEN bytes suffice). The date and offset of a
// second are worked out once per second and thread: a stamp per frame costs little.
void FormatTimeStamp(long long msSinceEpoch, char *text, size_t size);
// The same for now.
void FormatTimeStampNow(char *text, size_t size);
// Now, in ms since the epoch.
long long TimeStampNowMs(void);
// A stamp of that form (exactly its length bytes of text) back into *msSinceEpoch; false for
// anything else.
bool ParseTimeStamp(const char *text, size_t length, long long *msSinceEpoch);
