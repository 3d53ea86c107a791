// One recording of measurement frames to a CSV file (textforms/csv.h), free of Qt and of
// program-wide state: the panel's recorder holds one, a process that records many sensors holds
// one per sensor. Each object is used by one thread at a time; objects never share anything.
//
// A new file never replaces anything nor writes through a link. A header line, then one line
// per frame: local time (ISO 8601 with milliseconds and the offset from UTC), seconds since the
// recording began, the seven frame bytes as the sensor sent them, and the port's label. Lines
// collect in the object's fixed buffer and reach the file whole: when the buffer is full, and
// from the owner's loop at least every half second (WriteRecordingDue), so a crash loses at most
// the last half second and a frame costs no system call. A write that the disk does not take
// whole is cut back to the last whole line and ends the recording. POSIX, as files/.
#pragma once

#include "textforms/csv.h"

#include <chrono>

enum {
    RECFILE_VALUES = FRAME_LENGTH,    // RED, GREEN, BLUE, X, Y, INT, C-No
    RECFILE_LABEL_MAX = 64,           // longest port label
    RECFILE_LINE_MAX = 192,           // longest line, newline included
    RECFILE_PATH_LEN = 4096,          // longest path of a file, terminator included
    RECFILE_TEXT_LEN = 512,           // messages
    RECFILE_PENDING_SIZE = 64 * 1024, // lines waiting for the file
    RECFILE_WRITE_INTERVAL_MS = 500,  // pending lines reach the file at least this often
};

enum RecordingFileResult {
    RECFILE_OK = 0,
    RECFILE_FAILED = -1,    // the file could not be made or written: the recording has ended
    RECFILE_NOT_OPEN = -2,  // no recording is on in this object
    RECFILE_BAD_LABEL = -3, // the label cannot stand in a CSV field; the frame is not recorded
};

using RecordingClock = std::chrono::steady_clock;

// A recording. Zero-initialised or default-constructed it is closed; 64 KiB of buffer live
// inside, so keep it in static storage or on the heap rather than on a small stack.
struct RecordingFile {
    int fd = -1;
    char path[RECFILE_PATH_LEN] = ""; // as the system names it: bytes, not always UTF-8
    RecordingClock::time_point started{};
    RecordingClock::time_point lastWrite{};
    long framesInFile = 0;       // frames whose lines reached the file
    long framesPending = 0;      // frames whose lines wait in pending
    long long committedSize = 0; // bytes of whole lines in the file
    int pendingLength = 0;
    char error[RECFILE_TEXT_LEN] = "";
    char pending[RECFILE_PENDING_SIZE];
};

// Formats one line, newline included, into line (size bytes): localTime as given, seconds with
// three decimals, the values as decimal numbers, label. Returns the length, or -1 when the line
// does not fit.
int FormatRecordLine(char *line, int size, const char *localTime, double seconds,
                     const unsigned char values[RECFILE_VALUES], const char *label);

// Starts a new file in folder, named by the local date and time and tag
// ("2026-12-07_22-41-18-COM3.csv"; "..._2.csv", "..._3.csv" when the name is taken), with the
// header line. A recording still open in file is ended first. Returns RECFILE_OK, or
// RECFILE_FAILED with the reason in RecordingFileError ("The folder does not exist" ...).
int CreateRecordingFileIn(RecordingFile *file, const char *folder, const char *tag);
// As CreateRecordingFileIn, in the file at path, which must not exist yet ("The file exists
// already").
int CreateRecordingFileAt(RecordingFile *file, const char *path);
// Appends one frame with label (e.g. "COM3") as its port; writes the pending lines first when
// the buffer is full. Returns RECFILE_OK, RECFILE_NOT_OPEN, RECFILE_BAD_LABEL (longer than
// RECFILE_LABEL_MAX, or holding a comma, a quote or a control character), or RECFILE_FAILED
// when the file took no more lines: the recording has then ended, the lines before whole. The
// line's time stamp is stampMs (ms since the epoch) when given, else now.
int AppendRecordingFrame(RecordingFile *file, const unsigned char values[RECFILE_VALUES],
                         const char *label, long long stampMs = -1);
// Hands the pending lines to the file now. RECFILE_OK, RECFILE_NOT_OPEN or RECFILE_FAILED (as
// above).
int WriteRecordingPending(RecordingFile *file);
// WriteRecordingPending when the last write is RECFILE_WRITE_INTERVAL_MS or more before now;
// else RECFILE_OK (RECFILE_NOT_OPEN when closed). The owner calls it from its loop.
int WriteRecordingDue(RecordingFile *file, RecordingClock::time_point now);
// Writes what is pending and closes the file. RECFILE_OK, RECFILE_NOT_OPEN or RECFILE_FAILED.
int CloseRecordingFile(RecordingFile *file);

// True while the recording is on.
bool RecordingFileIsOpen(const RecordingFile *file);
// Frames recorded since the recording began (after its end: frames in the file).
long RecordingFileFrames(const RecordingFile *file);
// The file's path, and its name without the folder; "" before the first start.
const char *RecordingFilePath(const RecordingFile *file);
const char *RecordingFileName(const RecordingFile *file);
// Why the last start, append or write failed, in words for the user; "" after a good start.
const char *RecordingFileError(const RecordingFile *file);
