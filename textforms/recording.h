// Reading a recording: the lines of the CSV form (csv.h) back into frames. The emulator's replay
// and the detection check of recorded data both read them here.
//
// The parser takes bytes and keeps no state, so that it can be fed any input (a fuzzer's too).
#pragma once

#include "sensor/wire.h"

#include <cstddef>
#include <vector>

struct RecordedFrame {
    double seconds;                     // since the recording began
    unsigned char values[FRAME_LENGTH]; // RED, GREEN, BLUE, X, Y, INT, C-No
    long long stamp = -1;               // ms since the epoch; -1 where the line has no stamp
};

struct RecordingError {
    long line;        // 1-based line of the fault (the last line for a file without frames)
    char reason[128]; // what is wrong with it
};

// Reads a recording from text (size bytes): an optional UTF-8 byte-order mark, an optional
// header line beginning "time,", then one line per frame: time, seconds, the seven values in
// 0..255, and optionally more fields (the port). Lines end in LF or CRLF; the last may lack its
// end. Appends the frames to frames and returns 0, with *firstLine (when given) the line of the
// first frame: the frame at index i of this text stands on line *firstLine + i. Returns -1 with
// error filled on the first bad line or when there is no frame.
int ParseRecording(const char *text, size_t size, std::vector<RecordedFrame> *frames,
                   RecordingError *error, long *firstLine = nullptr);
