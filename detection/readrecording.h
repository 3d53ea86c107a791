// A recording read from its file for a check or a tuning: the file taken whole (only a regular
// file), its lines read by textforms/recording.h. Free of Qt.
#pragma once

#include "textforms/recording.h"

#include <vector>

// The largest recording read: some fifteen million frames.
inline constexpr size_t RECORDING_FILE_LIMIT = size_t(1) << 30;

// Appends the frames of the recording at path to frames and sets *firstLine to the line of its
// first frame. Returns 0, or -1 with error filled: line 0 when the file itself cannot be read
// (missing, not a regular file, larger than the limit), else the line at fault; frames are then
// as they were.
int ReadRecordingFile(const char *path, std::vector<RecordedFrame> *frames, RecordingError *error,
                      long *firstLine);
