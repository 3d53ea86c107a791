// Teaching a row from many frames, and the samples that each teach row keeps for the session.
//
// TEACH MANY collects the frames of the running data transfer (a number of frames, or the
// frames of some seconds) for the row in No.; its X, Y and INT become the samples' means and
// its CTO and ITO what the teach rule proposes (detection/teach.h, with k and the margin from
// the panel). The frames stay with their row until the program ends or the row gets others:
// they can be saved as a recording, a recording can be loaded as a row's samples, and the
// tuning of the active rows reads them.
#pragma once

#include "detection/teach.h"
#include "detection/tune.h"
#include "sensor/wire.h"

#include <cstddef>
#include <vector>

// The values of the take-unit ring.
enum { TAKE_FRAMES = 0, TAKE_SECONDS = 1 };

// Forgets every row's samples and any collection, and shows the empty state and the teach rule.
void InitTeachSamples(void);

// TEACH MANY: starts collecting for row No. from the next frame on; the amount is read now.
// Pressed while a collection runs, it ends that collection and teaches from the frames taken so
// far. The contrast modes teach no colours: they are refused with an "INFO" pop-up.
void TeachManyFrames(void);
// Takes frame into a running collection (called for every frame of the transfer). The frame
// that completes the count, or the first frame after the time, ends the collection: the row is
// taught and, with the auto-increment option on, No. moves on as after TEACH DATA TO.
void CollectTeachFrame(const unsigned char frame[FRAME_LENGTH]);
// 1 while a collection runs.
int TeachCollectionRunning(void);

// The teach rule with the panel's k and margin.
TeachRule PanelTeachRule(void);
// Shows the teach rule with the panel's k and margin.
void ShowTeachRule(void);

// File pop-up, then writes row No.'s collected samples as a recording (the CSV form of Rec on).
// Samples loaded from a recording are not saved again: their file holds them.
void SaveRowSamples(void);
// File pop-up, then makes the frames of a recording row No.'s samples. A bad file is reported
// with its line in an "INFO" pop-up and changes nothing. The table does not change.
void LoadRowSamples(void);

// The number of samples row (0..14) keeps.
size_t RowSampleCount(int row);
// Replaces *samples with row's samples as the detection model reads them.
void GetRowSamples(int row, std::vector<ColourSample> *samples);
// Names a sample for the user (size bytes into text): its recording and line, or its row and
// frame number, with its X, Y and INT.
void DescribeSample(SampleRef ref, char *text, size_t size);
