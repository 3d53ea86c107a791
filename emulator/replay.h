// Replay of a recording: the frames of a CSV file that the panel recorded, handed out in order
// as the answers to data requests.
//
// The parser takes bytes and keeps no state, so that it can be fed any input (a fuzzer's too).
#pragma once

#include "sensor/wire.h"

#include <cstddef>
#include <vector>

struct ReplayFrame {
    double seconds;                     // since the recording began
    unsigned char values[FRAME_LENGTH]; // RED, GREEN, BLUE, X, Y, INT, C-No
};

struct ReplayError {
    long line;        // 1-based line of the fault (the last line for a file without frames)
    char reason[128]; // what is wrong with it
};

// Reads a recording from text (size bytes): an optional header line beginning "time,", then
// one line per frame: time, seconds, the seven values in 0..255, and optionally more fields
// (the port). Lines end in LF or CRLF; the last may lack its end. Appends the frames to frames
// and returns 0; returns -1 with error filled on the first bad line or when there is no frame.
int ParseReplay(const char *text, size_t size, std::vector<ReplayFrame> *frames,
                ReplayError *error);

// Loads the file for replay. Returns 0, or -1 after naming the file, the line and the fault on
// stderr.
int LoadReplay(const char *path);
// 1 when a replay is loaded.
int ReplayLoaded(void);
// The next frame into frame, and in *delay how much later than the first frame of this pass it
// was recorded. Returns 0, or -1 after the last frame (with loop set, the first one follows it
// instead and a new pass begins).
int NextReplayFrame(unsigned char frame[FRAME_LENGTH], double *delay, int loop);
// 1 when the frame last handed out began a pass.
int ReplayPassBegan(void);
