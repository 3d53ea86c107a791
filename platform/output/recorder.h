// Recording of measurement frames to CSV files: one file per recording, named by the date and
// time it began, in a folder the user chooses once. Qt stays behind this header.
//
// A line per frame: local time (ISO 8601 with milliseconds and the offset from UTC), seconds
// since the recording began, the seven frame bytes as the sensor sent them, and the sensor's name.
// Lines collect in a fixed buffer and reach the file whole, at the latest half a second after
// they were recorded, so a crash loses at most the last half second and a frame costs no system
// call.
#pragma once

#include "recording/recordingfile.h"

// The recording file's limits and codes (recording/recordingfile.h), by the panel's names.
enum {
    RECORD_VALUES = RECFILE_VALUES,       // RED, GREEN, BLUE, X, Y, INT, C-No
    RECORD_LINE_MAX = RECFILE_LINE_MAX,   // longest line, newline included
    RECORD_TEXT_LEN = RECFILE_TEXT_LEN,   // file names and messages handed out
    RECORD_FAILED = RECFILE_FAILED,       // the file could not be made or written
    RECORD_NOT_RUNNING = RECFILE_NOT_OPEN // no recording is on
};

// The folder that recordings go to: the one the user chose, kept in the settings, else the
// user's documents folder. Copies it into folder (size bytes); returns 0 or RECORD_FAILED.
int GetRecordFolder(char *folder, int size);
// GetRecordFolder, with the documents folder made when it is the one and the desktop has not
// made it yet. Returns 0 or RECORD_FAILED.
int PrepareRecordFolder(char *folder, int size);
// Remembers folder as the recording folder for this and later sessions.
void SetRecordFolder(const char *folder);

// Starts a new file in folder with the header line; the name of the file (without the folder)
// goes into fileName (size bytes). Returns 0, or RECORD_FAILED with LastRecordingError set.
// A recording that is on is ended first.
int StartRecording(const char *folder, char *fileName, int size);
// As StartRecording, with tag behind the date and time in the name ("-COM3").
int StartTaggedRecording(const char *folder, const char *tag, char *fileName, int size);
// Starts a new recording in the file at path, which must not exist yet (a recording is never
// written over). Returns 0, or RECORD_FAILED with LastRecordingError set.
int StartRecordingFile(const char *path);
// Appends one frame of the sensor named. Returns 0, RECORD_NOT_RUNNING, or RECORD_FAILED when
// the file took no more lines: the recording has then ended, and the lines before stay in the
// file whole.
int RecordFrame(const unsigned char values[RECORD_VALUES], const char *sensor);
// Writes what is pending and closes the file. Returns 0, RECORD_NOT_RUNNING or RECORD_FAILED.
int StopRecording(void);
// 1 while a recording is on.
int RecordingOn(void);
// Frames recorded since the recording began (after its end: frames in the file).
long RecordedFrames(void);
// Why the last start or write failed, in words for the user.
const char *LastRecordingError(void);
// Called once when a write of the pending lines fails outside RecordFrame (the periodic
// write while no frame arrives); the recording has ended by then. Null: nobody is told.
typedef void (*RecordingFailedHook)(const char *why);
void SetRecordingFailedHook(RecordingFailedHook hook);
