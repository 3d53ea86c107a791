// The detection check on the panel: the table on the panel against a recording, the report text
// box that this check and the tuning (gui/tuning.h) write, and the recordings' file pop-up and
// reading that the check and the teach samples share. The reports' texts are detection/report.h's
// in its panel layout; every report opens with the note that its predictions are the program's
// model of the sensor, not the sensor.
#pragma once

#include "textforms/recording.h"

#include <string>
#include <vector>

// Shows report in the report text box.
void ShowDetectionReport(const std::string &report);

// The file pop-up for a recording (VAL_SAVE_BUTTON or VAL_LOAD_BUTTON), starting in the
// recording folder; path holds MAX_PATHNAME_LEN characters. Returns 1 when a path was chosen; a
// pop-up that failed is reported under failure in an "INFO" pop-up.
int SelectRecordingFile(int buttonLabel, const char *fileName, const char *title,
                        const char *failure, char *path);
// Reads the recording at path into *frames (replaced) and the line of its first frame. Returns 1,
// or 0 after an "INFO" pop-up under failure that names the file, the line and what is wrong.
int ReadRecordingOrReport(const char *path, const char *failure, std::vector<RecordedFrame> *frames,
                          long *firstLine);
// "INFO" pop-up: ATTENTION, what failed and why.
void ReportFileFailure(const char *what, const char *why);
// The last part of a path, for reports that have little room.
const char *FileNameOf(const char *path);

// File pop-up, then checks the chosen recording against the table on the panel (unsent edits
// included) and reports: the frames, how many the model gives the C-No that the sensor recorded
// (the share and the first that differ), the C-No distribution by the model, and per detecting
// row the margins of its detections with the frames near an edge. Nothing is sent or written.
void CheckRecordingAgainstTable(void);
