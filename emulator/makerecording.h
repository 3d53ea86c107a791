// A made recording: the frames the emulator would hand out over --minutes of line time, written
// at once into a recording file, so that an hour of a drifting colour is there in a second.
#pragma once

// Writes the frames, their C-No by the EEPROM's set (--eeprom-file, as a sensor starts with it),
// to path. 0, or 1 after naming the fault on stderr.
int MakeRecording(const char *path);
