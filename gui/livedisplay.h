// The live measurement display: the value displays, the contrast display, the history behind
// the signal chart and the cursor of the colour graph.
#pragma once

#include "sensor/wire.h"

enum { HISTORY_SAMPLES = 100, HISTORY_CHANNELS = 7, HISTORY_LENGTH = 700 };

// 100 samples of 7 interleaved channels (RED, GREEN, BLUE, INT, C-No, UL, LL), oldest first:
// element 7 * s + k - 1 is channel k of sample s. Never cleared while the program runs.
extern double signalHistory[HISTORY_LENGTH];
// The SOURCE selection 0..6 as last applied by ApplySource.
extern int graphSource;

// Writes frame into the seven displays (and the contrast display for sources 2..4), works out
// the limit lines UL and LL, and appends the sample to signalHistory.
void DisplayMeasurement(const unsigned char frame[FRAME_LENGTH]);
// Source 0: moves cursor 1 of the colour graph to frame's (X, Y). Otherwise replots the signal
// chart with the whole history at 101 points per screen.
void UpdateGraph(const unsigned char frame[FRAME_LENGTH]);
