// Replay of a recording: the frames of a CSV file that the panel recorded
// (textforms/recording.h reads them), handed out in order as the answers to data requests.
#pragma once

#include "sensor/wire.h"

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
