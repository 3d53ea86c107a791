// The panel side of recording: the record button, the folder button and the recording display
// under them. Every frame of a data transfer goes to the file while the button is on.
#pragma once

#include "sensor/wire.h"

// The record button's commit: on starts a new file in the recording folder, off ends it. A file
// that cannot be made is reported in an "INFO" pop-up and leaves the button off.
void ToggleRecording(void);
// Asks for the recording folder, starting in the current one, and remembers the choice.
void ChooseRecordFolder(void);
// Appends frame to the recording, if one is on, and refreshes the display a few times a second.
// A write that fails ends the recording with its reason on the display; the transfer goes on.
void RecordMeasurement(const unsigned char frame[FRAME_LENGTH]);
// Ends a recording that is on (the program closes).
void EndRecording(void);
